// Every platform file operation of a backup failing in turn: the run ends
// with its error text or as a whole success, and leaves no database in
// backup mode, the lock free and no torn or half-written file behind.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/backup/fault_machine.h"

namespace omb::test {
namespace {

using platform::FileOperation;

constexpr const char* kRecent = "V:\\vaultinfo\\Mail1\\dominosnap__DOMSRV01__MAIL1__recent";

// A backup that says it succeeded saved the change information of every
// database of the server; one that failed says so.
void ExpectOutcomeSaid(const FaultOutcome& outcome, const std::string& what) {
  if (outcome.result != 0) {
    EXPECT_EQ(outcome.result, -1) << what;
    const bool said = outcome.text.find("ERROR: Backup of partition failed.\r\n") != std::string::npos ||
                      outcome.text.find("ERROR: Backup aborted.\r\n") != std::string::npos;
    EXPECT_TRUE(said) << what << "\n" << outcome.text;
    return;
  }
  EXPECT_NE(outcome.text.find("End time is: "), std::string::npos) << what;
  for (const char* database : {"names.nsf", "mail.ntf", "nolog.nsf", "mail\\user1.nsf", "mail\\user2.nsf"}) {
    EXPECT_TRUE(platform::IsFile(std::string(kRecent) + "\\Lotus\\Domino\\Data\\" + database + ".dat"))
        << what << ": no change information of " << database << "\n" << outcome.text;
  }
  EXPECT_TRUE(platform::IsFile(std::string(kRecent) + "\\disabled_databases")) << what;
}

class BackupFileFaultTest : public FaultMachineTest, public ::testing::WithParamInterface<FileOperation> {};

TEST_P(BackupFileFaultTest, EveryFailingOperationEndsSoundly) {
  FailEachInTurn(GetParam(), &FaultMachineTest::Backup, [this](const FaultOutcome& outcome, const std::string& what) {
    ExpectOutcomeSaid(outcome, what);
    ExpectReportOrBox("Backup", outcome, what);
    ExpectReportOrBox("Delete Snapshot", outcome, what);
  });
  // The clean run rotated, archived and deleted: every step was in the count.
  for (const char* step : {"Recent snapshot renamed to ", "Archiving F:\\logdir\\", "Removed snapshot sub directory: ",
                           ": Deleted 1 snapshots\r\n"}) {
    EXPECT_NE(clean_.text.find(step), std::string::npos) << step << "\n" << clean_.text;
  }
}

INSTANTIATE_TEST_SUITE_P(EachKind, BackupFileFaultTest,
                         ::testing::Values(FileOperation::Open, FileOperation::Write, FileOperation::Fsync,
                                           FileOperation::Rename, FileOperation::Remove, FileOperation::Mkdir),
                         [](const auto& info) { return std::string(KindName(info.param)); });

}  // namespace
}  // namespace omb::test
