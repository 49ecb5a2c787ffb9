#include <gtest/gtest.h>

#include <signal.h>

#include "platform/locks.h"
#include "tests/platform/child_process.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

using namespace std::chrono_literals;

constexpr const char* kRunLock = "\\\\.\\PIPE\\omb";
constexpr const char* kCliLock = "\\\\.\\PIPE\\ombcli";

class NamedLockTest : public test::MachineTest {};

TEST_F(NamedLockTest, SecondAcquireInTheSameProcessFails) {
  std::unique_ptr<NamedLock> first = NamedLock::TryAcquire(kRunLock);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(NamedLock::TryAcquire(kRunLock), nullptr);
  EXPECT_EQ(NamedLock::TryAcquire("\\\\.\\pipe\\OMB"), nullptr);
  std::unique_ptr<NamedLock> other = NamedLock::TryAcquire(kCliLock);
  EXPECT_NE(other, nullptr);
  first.reset();
  EXPECT_NE(NamedLock::TryAcquire(kRunLock), nullptr);
}

TEST_F(NamedLockTest, TwoProcessesAtOnceExactlyOneWins) {
  for (int round = 0; round < 5; ++round) {
    test::StartGate gate;
    auto contender = [&gate] {
      gate.Wait();
      std::unique_ptr<NamedLock> lock = NamedLock::TryAcquire(kRunLock);
      if (lock == nullptr) return 1;
      std::this_thread::sleep_for(300ms);  // hold it while the other one tries
      return 0;
    };
    pid_t a = test::ForkChild(contender);
    pid_t b = test::ForkChild(contender);
    gate.Release();
    int codeA = test::WaitChild(a, 30s);
    int codeB = test::WaitChild(b, 30s);
    EXPECT_EQ((codeA == 0) + (codeB == 0), 1) << "round " << round;
    EXPECT_EQ((codeA == 1) + (codeB == 1), 1) << "round " << round;
  }
}

// The child takes the lock, tells the parent, and waits to be killed.
pid_t StartHolder(int& ready) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  pid_t pid = test::ForkChild([&fds] {
    ::close(fds[0]);
    std::unique_ptr<NamedLock> lock = NamedLock::TryAcquire(kRunLock);
    char answer = lock ? 'y' : 'n';
    if (::write(fds[1], &answer, 1) != 1) return 2;
    ::pause();
    return 0;
  });
  ::close(fds[1]);
  ready = fds[0];
  return pid;
}

TEST_F(NamedLockTest, FreeAgainTheMomentTheHolderIsKilled) {
  int ready = -1;
  pid_t holder = StartHolder(ready);
  ASSERT_GT(holder, 0);
  char answer = 0;
  ASSERT_EQ(::read(ready, &answer, 1), 1);
  ::close(ready);
  ASSERT_EQ(answer, 'y');
  EXPECT_EQ(NamedLock::TryAcquire(kRunLock), nullptr);
  ::kill(holder, SIGKILL);
  EXPECT_EQ(test::WaitChild(holder, 30s), 128 + SIGKILL);
  EXPECT_NE(NamedLock::TryAcquire(kRunLock), nullptr);
}

TEST_F(NamedLockTest, FreeAgainWhenTheHolderExits) {
  pid_t holder = test::ForkChild([] { return NamedLock::TryAcquire(kCliLock) ? 0 : 1; });
  ASSERT_EQ(test::WaitChild(holder, 30s), 0);
  EXPECT_NE(NamedLock::TryAcquire(kCliLock), nullptr);
}

}  // namespace
}  // namespace omb::platform
