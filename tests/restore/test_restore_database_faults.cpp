// Every platform file operation of a single-database restore failing in
// turn: the run either gives a whole restored copy with every document of
// the original, or fails with an "ERROR: " line and leaves no copy, no
// private log and no temporary file behind; the original and every other
// database are never changed.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/backup/fault_machine.h"

namespace omb::test {
namespace {

using platform::FileOperation;

constexpr const char* kOriginal = "E:\\Lotus\\Domino\\Data\\mail\\user1.nsf";
constexpr const char* kRestored = "E:\\Lotus\\Domino\\Data\\mail\\user1_restored.nsf";

// The oldest of two snapshots: its roll-forward needs the extents that the
// second backup archived.
class DatabaseRestoreFileFaultTest : public FaultMachineTest, public ::testing::WithParamInterface<FileOperation> {
 protected:
  void SetUp() override {
    FaultMachineTest::SetUp();
    if (!HasFatalFailure()) AddSecondBackup();
  }
};

TEST_P(DatabaseRestoreFileFaultTest, EveryFailingOperationLeavesTheOriginalAndAWholeCopyOrNone) {
  UseFreshCopy("expected");
  const std::map<std::string, std::string> documents = Documents();
  ASSERT_EQ(documents.count(kRestored), 0u);
  const auto check = [&](const FaultOutcome& outcome, const std::string& what) {
    std::map<std::string, std::string> now = Documents();
    if (outcome.result == restore::kDatabaseRestoreDone) {
      EXPECT_EQ(now[kRestored], documents.at(kOriginal)) << what << "\n" << outcome.text;
      now.erase(kRestored);
    } else {
      EXPECT_NE(outcome.text.find("ERROR: "), std::string::npos) << what << "\n" << outcome.text;
      EXPECT_EQ(now.count(kRestored), 0u) << what << ": a failed restore left its copy\n" << outcome.text;
    }
    EXPECT_EQ(now, documents) << what;
    EXPECT_FALSE(platform::PathExists(std::string(kRestored) + ".omb-restoring")) << what;
    ExpectReportOrBox("Restore", outcome, what);
  };
  FailEachInTurn(GetParam(), &FaultMachineTest::RestoreDatabase, check);
  EXPECT_NE(clean_.text.find("Copying log file : "), std::string::npos) << clean_.text;
  EXPECT_EQ(clean_.result, restore::kDatabaseRestoreDone) << clean_.text;
}

INSTANTIATE_TEST_SUITE_P(EachKind, DatabaseRestoreFileFaultTest,
                         ::testing::Values(FileOperation::Open, FileOperation::Write, FileOperation::Fsync,
                                           FileOperation::Rename, FileOperation::Remove, FileOperation::Mkdir),
                         [](const auto& info) { return std::string(KindName(info.param)); });

}  // namespace
}  // namespace omb::test
