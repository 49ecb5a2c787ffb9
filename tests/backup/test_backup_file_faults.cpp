// Every platform file operation of a backup failing in turn: the run ends
// with its error text or as a whole success, and leaves no database in
// backup mode, the lock free and no torn or half-written file behind.
#include <gtest/gtest.h>

#include <iostream>

#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "tests/backup/fault_machine.h"

namespace omb::test {
namespace {

using platform::FileOperation;

constexpr const char* kRecent = "V:\\vaultinfo\\Mail1\\dominosnap__DOMSRV01__MAIL1__recent";

class BackupFileFaultTest : public FaultMachineTest, public ::testing::WithParamInterface<FileOperation> {
 protected:
  // A backup that says it succeeded saved the change information of every
  // database of the server.
  void ExpectWholeBackup(const std::string& what) {
    for (const char* database : {"names.nsf", "mail.ntf", "nolog.nsf", "mail\\user1.nsf", "mail\\user2.nsf"}) {
      EXPECT_TRUE(platform::IsFile(std::string(kRecent) + "\\Lotus\\Domino\\Data\\" + database + ".dat"))
          << what << ": no change information of " << database;
    }
    EXPECT_TRUE(platform::IsFile(std::string(kRecent) + "\\disabled_databases")) << what;
  }
};

TEST_P(BackupFileFaultTest, EveryFailingOperationEndsSoundly) {
  const FileOperation kind = GetParam();
  const uint64_t count = OperationsOf(kind, &FaultMachineTest::Backup);
  // The clean run rotates, archives and deletes: every step is in the count.
  for (const char* step : {"Recent snapshot renamed to ", "Archiving F:\\logdir\\",
                           "Removed snapshot sub directory: ", ": Deleted 1 snapshots\r\n"}) {
    EXPECT_NE(clean_.text.find(step), std::string::npos) << step << "\n" << clean_.text;
  }
  ASSERT_GT(count, 0u);
  for (uint64_t nth = 1; nth <= count; ++nth) {
    const std::string what = std::string(KindName(kind)) + " " + std::to_string(nth) + " of " +
                             std::to_string(count);
    UseFreshCopy("run");
    arm_ = [kind, nth] { platform::FailFileOperation(nth, ErrorFor(kind), kind); };
    const FaultOutcome outcome = Backup();
    arm_ = nullptr;
    EXPECT_TRUE(outcome.faultFired) << what;
    if (outcome.result == 0) {
      EXPECT_NE(outcome.text.find("End time is: "), std::string::npos) << what;
      ExpectWholeBackup(what);
      if (HasFailure()) std::cerr << outcome.text;
    } else {
      EXPECT_EQ(outcome.result, -1) << what;
      const bool said = outcome.text.find("ERROR: Backup of partition failed.\r\n") != std::string::npos ||
                        outcome.text.find("ERROR: Backup aborted.\r\n") != std::string::npos;
      EXPECT_TRUE(said) << what << "\n" << outcome.text;
    }
    ExpectNoDatabaseInBackupMode(what);
    ExpectRunLockFree(what);
    ExpectNoTemporaryFiles(what);
    ExpectWholeVaultinfoFiles(what);
    ExpectWholeDatabases(what);
    ExpectReportOrBox("Backup", outcome, what);
    ExpectReportOrBox("Delete Snapshot", outcome, what);
    if (HasFailure()) break;  // the first broken case says enough
  }
}

INSTANTIATE_TEST_SUITE_P(EachKind, BackupFileFaultTest,
                         ::testing::Values(FileOperation::Open, FileOperation::Write, FileOperation::Fsync,
                                           FileOperation::Rename, FileOperation::Remove, FileOperation::Mkdir),
                         [](const auto& info) { return std::string(KindName(info.param)); });

}  // namespace
}  // namespace omb::test
