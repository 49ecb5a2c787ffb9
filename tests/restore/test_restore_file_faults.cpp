// Every platform file operation of an up-to-the-minute restore failing in
// turn: the run ends with its error text or gives back every document, and
// leaves no database in backup mode, the lock free and no torn or
// half-written file behind.
#include <gtest/gtest.h>

#include "tests/backup/fault_machine.h"

namespace omb::test {
namespace {

using platform::FileOperation;

// The oldest of two snapshots is restored: the logs it needs were archived
// by the second backup and are copied back, and removed again after.
class RestoreFileFaultTest : public FaultMachineTest, public ::testing::WithParamInterface<FileOperation> {
 protected:
  void SetUp() override {
    FaultMachineTest::SetUp();
    if (!HasFatalFailure()) AddSecondBackup();
  }
};

TEST_P(RestoreFileFaultTest, EveryFailingOperationEndsSoundly) {
  UseFreshCopy("expected");
  const std::map<std::string, std::string> documents = Documents();
  FailEachInTurn(GetParam(), &FaultMachineTest::Restore, [&](const FaultOutcome& outcome, const std::string& what) {
    if (outcome.result == 0) {
      EXPECT_NE(outcome.text.find("SNAPSHOT RESTORE AND RECOVERY COMPLETE."), std::string::npos) << what;
      EXPECT_EQ(Documents(), documents) << what << ": a restore that succeeded lost documents\n" << outcome.text;
    } else {
      EXPECT_NE(outcome.text.find("ERROR: "), std::string::npos) << what << "\n" << outcome.text;
    }
    ExpectReportOrBox("Restore", outcome, what);
  });
  EXPECT_NE(clean_.text.find("Copying log file : "), std::string::npos) << clean_.text;
  UseFreshCopy("clean");
  (void)Restore();
  EXPECT_EQ(Documents(), documents);  // a clean restore gives every document back
}

INSTANTIATE_TEST_SUITE_P(EachKind, RestoreFileFaultTest,
                         // a restore makes no folders of its own
                         ::testing::Values(FileOperation::Open, FileOperation::Write, FileOperation::Fsync,
                                           FileOperation::Rename, FileOperation::Remove),
                         [](const auto& info) { return std::string(KindName(info.param)); });

}  // namespace
}  // namespace omb::test
