// Durable replaces, appends and file locks, and the file fault hook that
// the fail-every-operation tests of the engines rely on.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/durable.h"
#include "platform/file_faults.h"
#include "platform/posix_io.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

namespace fs = std::filesystem;

class DurableTest : public test::MachineTest {
 protected:
  void TearDown() override {
    ClearFileFault();
    MachineTest::TearDown();
  }
  fs::path File(const std::string& name) { return root_ / name; }
  // The names in the test's folder other than the machine's own.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_)) {
      if (entry.path().filename() != "drives") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(DurableTest, ReplaceWritesTheWholeFileAndLeavesNoTemporary) {
  WriteHostFile(File("hint"), "old text");
  EXPECT_EQ(WriteFileAtomically(File("hint"), "new"), 0);
  EXPECT_EQ(ReadHostFile(File("hint")), "new");
  EXPECT_EQ(WriteFileAtomically(File("fresh"), "", Flush::ToCache), 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"fresh", "hint"}));
}

TEST_F(DurableTest, EveryFailingStepLeavesTheOldFileAndNoTemporary) {
  for (FileOperation step : {FileOperation::Open, FileOperation::Write, FileOperation::Fsync, FileOperation::Rename}) {
    WriteHostFile(File("hint"), "old");
    FailFileOperation(1, ENOSPC, step);
    EXPECT_EQ(WriteFileAtomically(File("hint"), "new text"), ENOSPC) << static_cast<int>(step);
    EXPECT_TRUE(FileFaultFired());
    ClearFileFault();
    EXPECT_EQ(ReadHostFile(File("hint")), "old") << static_cast<int>(step);
    EXPECT_EQ(Names(), std::vector<std::string>{"hint"}) << static_cast<int>(step);
  }
}

TEST_F(DurableTest, FixedTemporaryIsReusedAfterAWriterDied) {
  WriteHostFile(File(".hint.tmp"), "left by a killed writer, longer than the new text");
  EXPECT_EQ(WriteFileAtomically(File("hint"), "new", Flush::ToDisk, File(".hint.tmp")), 0);
  EXPECT_EQ(ReadHostFile(File("hint")), "new");
  EXPECT_EQ(Names(), std::vector<std::string>{"hint"});
}

TEST_F(DurableTest, FolderInThePlaceOfTheFileIsRefused) {
  fs::create_directories(File("hint"));
  EXPECT_EQ(WriteFileAtomically(File("hint"), "x"), EISDIR);
  EXPECT_TRUE(fs::is_directory(File("hint")));
}

TEST_F(DurableTest, StreamedFileAppearsOnlyWhenCommitted) {
  WriteHostFile(File("a.dat"), "old");
  {
    AtomicFile file;
    ASSERT_EQ(file.Open(File("a.dat")), 0);
    ASSERT_EQ(file.Write("half"), 0);
    EXPECT_EQ(ReadHostFile(File("a.dat")), "old");
  }  // abandoned
  EXPECT_EQ(ReadHostFile(File("a.dat")), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"a.dat"});

  AtomicFile file;
  ASSERT_EQ(file.Open(File("a.dat")), 0);
  ASSERT_EQ(file.Write("who"), 0);
  ASSERT_EQ(file.Write("le"), 0);
  ASSERT_EQ(file.Close(), 0);
  EXPECT_EQ(file.Write("more"), EBADF);
  ASSERT_EQ(file.Rename(), 0);
  EXPECT_EQ(ReadHostFile(File("a.dat")), "whole");
  EXPECT_EQ(Names(), std::vector<std::string>{"a.dat"});
}

TEST_F(DurableTest, AppendAddsOnePieceOrNothing) {
  EXPECT_EQ(AppendToFile(File("journal"), "one\n", Flush::ToDisk), 0);
  EXPECT_EQ(AppendToFile(File("journal"), "two\n", Flush::ToCache), 0);
  FailFileOperation(1, EIO, FileOperation::Write);
  EXPECT_EQ(AppendToFile(File("journal"), "three\n", Flush::ToCache), EIO);
  EXPECT_EQ(ReadHostFile(File("journal")), "one\ntwo\n");
}

// ---- the fault hook ------------------------------------------------------------

TEST_F(DurableTest, FaultHookCountsEveryOperationAndFailsOnlyTheNth) {
  FailFileOperation(0, EIO);  // count only
  ASSERT_EQ(WriteFileAtomically(File("a"), "x"), 0);
  const uint64_t perReplace = FileOperationCount();
  EXPECT_GE(perReplace, 5u);  // open, write, fsync, rename, folder open and fsync

  FailFileOperation(perReplace + 2, EACCES);
  EXPECT_EQ(WriteFileAtomically(File("a"), "y"), 0);
  EXPECT_FALSE(FileFaultFired());
  EXPECT_EQ(WriteFileAtomically(File("a"), "z"), EACCES);  // its write, the second operation
  EXPECT_TRUE(FileFaultFired());
  EXPECT_EQ(WriteFileAtomically(File("a"), "w"), 0);  // only once
  ClearFileFault();
  EXPECT_EQ(ReadHostFile(File("a")), "w");
}

TEST_F(DurableTest, FaultHookFailsEachKindOfCall) {
  FailFileOperation(1, EROFS, FileOperation::Mkdir);
  EXPECT_NE(MakeDirectory(File("d")), 0);
  EXPECT_EQ(errno, EROFS);
  EXPECT_FALSE(fs::exists(File("d")));
  WriteHostFile(File("f"), "x");
  FailFileOperation(1, EBUSY, FileOperation::Remove);
  EXPECT_NE(RemoveFile(File("f")), 0);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_TRUE(fs::exists(File("f")));
  ClearFileFault();
  EXPECT_EQ(RemoveFile(File("f")), 0);
}

// ---- file locks -----------------------------------------------------------------

TEST_F(DurableTest, ExclusiveLockKeepsOutEveryOtherHolderUntilReleased) {
  auto held = FileLock::TryAcquire(File("lock"));
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(FileLock::TryAcquire(File("lock")), nullptr);
  EXPECT_EQ(FileLock::TryAcquire(File("lock"), FileLock::Mode::Shared), nullptr);
  held.reset();
  EXPECT_NE(FileLock::TryAcquire(File("lock")), nullptr);
}

TEST_F(DurableTest, SharedLocksGoTogetherButNotWithAnExclusiveOne) {
  auto first = FileLock::TryAcquire(File("lock"), FileLock::Mode::Shared);
  auto second = FileLock::TryAcquire(File("lock"), FileLock::Mode::Shared);
  ASSERT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(FileLock::TryAcquire(File("lock")), nullptr);
}

TEST_F(DurableTest, LockInAFolderThatIsMissingFails) {
  EXPECT_EQ(FileLock::Acquire(File("missing") / "lock"), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

void Interrupted(int) {}

TEST_F(DurableTest, BlockingAcquireWaitsThroughSignalsUntilTheHolderLetsGo) {
  struct sigaction action {};
  action.sa_handler = Interrupted;  // no SA_RESTART: flock returns EINTR
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
  auto held = FileLock::Acquire(File("lock"));
  ASSERT_NE(held, nullptr);
  std::atomic<bool> got{false};
  std::thread waiter([&] { got = FileLock::Acquire(File("lock")) != nullptr; });
  for (int i = 0; i < 5; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::pthread_kill(waiter.native_handle(), SIGUSR1);
  }
  EXPECT_FALSE(got);
  held.reset();
  waiter.join();
  EXPECT_TRUE(got);
  ::sigaction(SIGUSR1, &previous, nullptr);
}

TEST_F(DurableTest, LockOnAReplacedFileNoLongerGuardsIt) {
  WriteHostFile(File("HKLM.reg"), "old");
  auto lock = FileLock::Acquire(File("HKLM.reg"));
  ASSERT_NE(lock, nullptr);
  EXPECT_TRUE(lock->Guards(File("HKLM.reg")));
  ASSERT_EQ(WriteFileAtomically(File("HKLM.reg"), "new"), 0);
  EXPECT_FALSE(lock->Guards(File("HKLM.reg")));
}

}  // namespace
}  // namespace omb::platform
