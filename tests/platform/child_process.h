#pragma once
// Child processes for the tests that need several processes at once: the
// body runs in a forked child and its return value is the exit code. Bodies
// must not use gtest assertions; they report through exit codes and pipes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

namespace omb::test {

inline pid_t ForkChild(const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  return pid;
}

// The child's exit code; 128 + signal when it was killed; -1 when it had to
// be killed because it outlived the limit.
inline int WaitChild(pid_t pid, std::chrono::seconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  for (;;) {
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0) return -1;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Lets a group of children start together: each blocks in Wait() until the
// parent calls Release().
class StartGate {
 public:
  StartGate() {
    if (::pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~StartGate() {
    CloseEnd(0);
    CloseEnd(1);
  }
  // In a child: closes its copy of the write end and waits for the parent.
  void Wait() {
    CloseEnd(1);
    char byte;
    while (::read(fds_[0], &byte, 1) < 0 && errno == EINTR) {
    }
  }
  void Release() { CloseEnd(1); }

 private:
  void CloseEnd(int end) {
    if (fds_[end] >= 0) ::close(fds_[end]);
    fds_[end] = -1;
  }
  int fds_[2];
};

}  // namespace omb::test
