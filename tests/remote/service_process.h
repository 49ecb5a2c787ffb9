#pragma once
// ombsvc in a process of its own on a machine root of its own, listening
// on an ephemeral loopback port that it prints at start.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace omb::test {

class ServiceProcess {
 public:
  ServiceProcess() = default;
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  // Starts the built ombsvc with OMB_MACHINE=machine and `args` (by default
  // --listen 127.0.0.1:0) and waits for its "listening on" line. False
  // when it exited instead; exitCode() and log() then say why.
  bool Start(const std::filesystem::path& machine, const std::vector<std::string>& args = {},
             const std::vector<std::string>& extraEnv = {});
  uint16_t port() const { return port_; }
  // "127.0.0.1:<port>", as the client's machine name.
  std::string machineName() const { return "127.0.0.1:" + std::to_string(port_); }

  // Sends the signal and waits for the exit: the exit code, 128 + signal
  // when killed by it, -1 when it had to be killed after `seconds`.
  int Stop(int signal, int seconds = 60);
  int exitCode() const { return exitCode_; }
  // Everything it wrote to standard error.
  std::string log() const;
  // Waits until the log holds `text` (it logs an exchange after answering).
  bool WaitForLog(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  int exitCode_ = -1;
  std::filesystem::path logFile_;
};

}  // namespace omb::test
