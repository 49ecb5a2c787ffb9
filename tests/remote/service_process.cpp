#include "tests/remote/service_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/platform/child_process.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {

namespace {

// Reads one line from `fd` within the limit ("" at end or time-out).
std::string ReadLine(int fd, std::chrono::milliseconds limit) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 50) <= 0) continue;
    char c = 0;
    if (::read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line += c;
  }
  return line;
}

}  // namespace

ServiceProcess::~ServiceProcess() {
  if (pid_ > 0) Stop(SIGKILL, 10);
  std::error_code ignored;
  if (!logFile_.empty()) std::filesystem::remove(logFile_, ignored);
}

bool ServiceProcess::Start(const std::filesystem::path& machine, const std::vector<std::string>& args,
                           const std::vector<std::string>& extraEnv) {
  int out[2];
  if (::pipe(out) != 0) return false;
  char logName[] = "/tmp/omb-svc-log-XXXXXX";
  const int logFd = ::mkstemp(logName);
  logFile_ = logName;
  const std::string program = BuiltProgram("tools/ombsvc/ombsvc").string();
  std::vector<std::string> arguments = args.empty() ? std::vector<std::string>{"--listen", "127.0.0.1:0"} : args;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], 1);
    ::dup2(logFd, 2);
    ::close(out[0]);
    ::setenv("OMB_MACHINE", machine.c_str(), 1);
    ::setenv("TZ", "UTC", 1);
    for (const std::string& assignment : extraEnv) ::putenv(const_cast<char*>(assignment.c_str()));
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& arg : arguments) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(logFd);
  const std::string line = ReadLine(out[0], std::chrono::seconds(20));
  // Like a launcher that only waits for the port, nobody reads the rest:
  // the service must live with a standard output that is gone.
  ::close(out[0]);
  const size_t colon = line.rfind(':');
  if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
    exitCode_ = WaitChild(pid_, std::chrono::seconds(10));
    pid_ = -1;
    return false;
  }
  port_ = static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
  return true;
}

int ServiceProcess::Stop(int signal, int seconds) {
  if (pid_ <= 0) return exitCode_;
  ::kill(pid_, signal);
  exitCode_ = WaitChild(pid_, std::chrono::seconds(seconds));
  pid_ = -1;
  return exitCode_;
}

std::string ServiceProcess::log() const {
  std::ifstream in(logFile_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ServiceProcess::WaitForLog(const std::string& text, std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (log().find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace omb::test
