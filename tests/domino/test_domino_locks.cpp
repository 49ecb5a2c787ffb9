#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "domino/locks.h"
#include "platform/eventlog.h"
#include "tests/support/machine_fixture.h"

namespace omb {
namespace {

class LocksTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ClearProgressText();
  }
  void TearDown() override {
    SetDominoRunningCheck(nullptr);
    ClearProgressText();
    MachineTest::TearDown();
  }
};

TEST_F(LocksTest, SecondRunLockIsRefusedWithAnErrorLine) {
  ProgressSink first;
  RunLock held = AcquireRunLock(first);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(first.accumulated, "");

  ProgressSink second;
  EXPECT_EQ(AcquireRunLock(second), nullptr);
  EXPECT_EQ(second.accumulated,
            "ERROR: OMB backup or restore in progress (probably a scheduled event).\r\n");
  EXPECT_EQ(ProgressText(), second.accumulated);

  held.reset();  // the run ended: the next one takes the lock at once
  EXPECT_NE(AcquireRunLock(second), nullptr);
}

TEST_F(LocksTest, CliLockIsSeparateFromTheRunLock) {
  ProgressSink sink;
  RunLock cli = AcquireCliLock(sink);
  ASSERT_NE(cli, nullptr);
  RunLock run = AcquireRunLock(sink);  // a command-line backup holds both
  EXPECT_NE(run, nullptr);
  EXPECT_EQ(AcquireCliLock(sink), nullptr);
  EXPECT_EQ(sink.accumulated, "ERROR: OMB CLI in progress (probably a scheduled event).\r\n");
}

TEST_F(LocksTest, LockHeldByAnotherProcessIsRefused) {
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  pid_t child = ::fork();
  if (child == 0) {
    ProgressSink sink;
    RunLock lock = AcquireCliLock(sink);
    char byte = lock ? '1' : '0';
    (void)!::write(ready[1], &byte, 1);
    (void)!::read(release[0], &byte, 1);
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_EQ(byte, '1');
  ProgressSink sink;
  EXPECT_EQ(AcquireCliLock(sink), nullptr);
  (void)!::write(release[1], "x", 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_NE(AcquireCliLock(sink), nullptr);  // released when the process ended
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

TEST_F(LocksTest, RunningCheckUsesTheSeam) {
  SetDominoRunningCheck([] { return true; });
  EXPECT_TRUE(IsDominoRunning());
  SetDominoRunningCheck([] { return false; });
  EXPECT_FALSE(IsDominoRunning());
}

// Copies /bin/sleep under another name and runs it, so that the process
// list shows a process of that name.
class NamedProcess {
 public:
  NamedProcess(const std::filesystem::path& folder, const std::string& name) {
    std::filesystem::path program = folder / name;
    std::filesystem::copy_file("/bin/sleep", program);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl(program.c_str(), name.c_str(), "30", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::usleep(100 * 1000);  // let exec finish so /proc names the new program
  }
  ~NamedProcess() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

TEST_F(LocksTest, DominoProcessesAreFoundByTheirWholeName) {
  EXPECT_FALSE(IsDominoRunning());
  {
    NamedProcess lookalike(root_, "nserverx");
    EXPECT_FALSE(IsDominoRunning());
  }
  {
    NamedProcess client(root_, "NLNOTES.EXE");
    EXPECT_TRUE(IsDominoRunning());
  }
  {
    NamedProcess server(root_, "nserver");
    EXPECT_TRUE(IsDominoRunning());
  }
}

TEST_F(LocksTest, RunEventsGoToTheApplicationLog) {
  ASSERT_EQ(ReportRunEvent(kEventInformation, kCategoryRestore, kEventRestoreFailed,
                           {"Mail1", "A current BACKUP/RESTORE is in progress."}),
            0);
  std::vector<platform::EventRecord> events = platform::ReadEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].source, "ombsvc");
  EXPECT_EQ(events[0].type, 4);
  EXPECT_EQ(events[0].category, 2);
  EXPECT_EQ(events[0].eventId, 0x4000006Du);
  EXPECT_EQ(events[0].strings,
            (std::vector<std::string>{"Mail1", "A current BACKUP/RESTORE is in progress."}));
  EXPECT_FALSE(events[0].time.empty());
}

TEST_F(LocksTest, UnwritableEventLogAnswersMinusOne) {
  std::filesystem::create_directories(root_ / "eventlog" / "Application.jsonl");
  EXPECT_EQ(ReportRunEvent(kEventInformation, kCategoryBackup, kEventSnapshotDone, {}), -1);
}

}  // namespace
}  // namespace omb
