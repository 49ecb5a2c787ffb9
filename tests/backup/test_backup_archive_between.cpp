// Every platform file operation of a log archiving run between backups
// failing in turn: the run says how it ended (a warning for a copy that
// failed), no extent leaves the log folder without a whole copy in the
// Vaultinfo tree, and the next run archives what was left.
#include <gtest/gtest.h>

#include "backup/archive_between.h"
#include "platform/files.h"
#include "tests/backup/fault_machine.h"

namespace omb::test {
namespace {

using platform::FileOperation;

constexpr const char* kRecentLogs = "V:\\vaultinfo\\Mail1\\dominosnap__DOMSRV01__MAIL1__recent\\logs\\";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ArchiveBetweenFaultTest : public FaultMachineTest, public ::testing::WithParamInterface<FileOperation> {
 public:
  FaultOutcome Archive() {
    FaultRunServices services(clock_);
    RecordingObserver observer;
    backup::ArchiveLogsJob job(services.services());
    job.partition = 1;
    job.output.window = &observer;
    if (arm_) arm_();
    testing::internal::CaptureStdout();  // the archiving line
    const int result = backup::RunArchiveLogs(job);
    testing::internal::GetCapturedStdout();
    FaultOutcome outcome;
    outcome.faultFired = platform::FileFaultFired();
    platform::ClearFileFault();
    outcome.result = result;
    for (const std::string& piece : observer.pieces) outcome.text += piece;
    for (const auto& shown : messages(services)) outcome.boxes.push_back(shown.caption);
    return outcome;
  }

 protected:
  static const std::vector<RecordingMessageBox::Shown>& messages(FaultRunServices& services) {
    return services.messages.shown;
  }

  // The extents that the template's log folder holds ready.
  std::vector<std::string> ReadyExtents() {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : knownExtents_) {
      if (platform::IsFile("F:\\logdir\\" + name)) names.push_back(name);
    }
    return names;
  }
};

void ExpectOutcomeSaid(const FaultOutcome& outcome, const std::string& what) {
  if (outcome.result == backup::kArchiveCopyFailed) {
    EXPECT_TRUE(Has(outcome.text, "WARNING: ")) << what << "\n" << outcome.text;
  } else if (outcome.result != 0) {
    EXPECT_EQ(outcome.result, -1) << what;
    EXPECT_TRUE(Has(outcome.text, "ERROR: Log archiving aborted.\r\n")) << what << "\n" << outcome.text;
  }
}

TEST_P(ArchiveBetweenFaultTest, EveryFailingOperationEndsSoundlyAndTheNextRunCatchesUp) {
  const auto run = static_cast<FaultOutcome (FaultMachineTest::*)()>(&ArchiveBetweenFaultTest::Archive);
  // The first run on a machine root of the process opens one file more
  // than later ones: a run on each copy's root first keeps the count of
  // the clean run the count of every faulted run.
  for (const char* copy : {"count", "run"}) {
    UseFreshCopy(copy);
    Archive();
  }
  FailEachInTurn(GetParam(), run, [this](const FaultOutcome& outcome, const std::string& what) {
    ExpectOutcomeSaid(outcome, what);
    // An extent gone from the log folder was marked archived: its copy
    // must be whole under its final name.
    for (const auto& [name, bytes] : knownExtents_) {
      if (platform::IsFile("F:\\logdir\\" + name)) continue;
      EXPECT_TRUE(platform::IsFile(kRecentLogs + name)) << what << ": " << name << " lost\n" << outcome.text;
    }
    // The next run archives what this one left: only the live extent
    // has no copy then (a marked extent whose file Domino could not
    // remove stays in the log folder, archived).
    const FaultOutcome again = Archive();
    EXPECT_EQ(again.result, 0) << what << "\n" << again.text;
    std::vector<std::string> unarchived;
    for (const auto& [name, bytes] : knownExtents_) {
      if (platform::IsFile("F:\\logdir\\" + name) && !platform::IsFile(kRecentLogs + name)) unarchived.push_back(name);
    }
    EXPECT_LE(unarchived.size(), 1u) << what << "\n" << again.text;
  });
  EXPECT_TRUE(Has(clean_.text, "Archiving F:\\logdir\\")) << clean_.text;
}

INSTANTIATE_TEST_SUITE_P(EachKind, ArchiveBetweenFaultTest,
                         ::testing::Values(FileOperation::Open, FileOperation::Write, FileOperation::Fsync,
                                           FileOperation::Rename, FileOperation::Remove, FileOperation::Mkdir),
                         [](const auto& info) { return std::string(KindName(info.param)); });

}  // namespace
}  // namespace omb::test
