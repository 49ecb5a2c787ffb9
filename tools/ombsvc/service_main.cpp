#include "tools/ombsvc/service_main.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <thread>

#include "core/services.h"
#include "operations/operations.h"
#include "platform/messagebox.h"
#include "platform/posix_io.h"
#include "reports/reports.h"
#include "tools/ombsvc/service.h"

namespace omb::service {

namespace {

// Settings through which a test makes the engines fail or run commands;
// a service answering the network never honours them.
constexpr const char* kTestHookVariables[] = {"OMB_STORAGE_FAIL", "OMB_STORAGE_PRE_SNAPSHOT",
                                              "OMB_DISK_FREE_MB"};

void DisableTestHooks(ServiceLog& log) {
  for (const char* name : kTestHookVariables) {
    if (std::getenv(name) == nullptr) continue;
    log.Line(std::string("ignoring test hook ") + name);
    ::unsetenv(name);
  }
}

// Blocks the stop signals in every thread; one thread waits for them.
sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  return signals;
}

void PrintLine(int fd, const std::string& text) {
  const std::string line = text + "\n";
  platform::WriteAll(fd, line.data(), line.size());
}

// The runs' messages, and anything else that would show a box, go to the
// log while the service runs: nobody sits in front of a service.
class LogPresenterInstalled {
 public:
  explicit LogPresenterInstalled(ServiceLog& log)
      : messages_(log), previous_(platform::SetMessageBoxPresenter(&messages_)) {}
  ~LogPresenterInstalled() { platform::SetMessageBoxPresenter(previous_); }
  LogPresenterInstalled(const LogPresenterInstalled&) = delete;
  LogPresenterInstalled& operator=(const LogPresenterInstalled&) = delete;
  platform::MessageBoxPresenter& messages() { return messages_; }

 private:
  LogMessageBox messages_;
  platform::MessageBoxPresenter* previous_;
};

int Serve(const ServiceOptions& options, sigset_t signals, ServiceLog& log) {
  // As every program of the machine does at start: the report folder and
  // its category folders exist before any report command is answered.
  reports::EnsureReportFolder();
  LogPresenterInstalled presenter(log);
  const RunServices defaults = DefaultRunServices();
  const RunServices services{defaults.notes, defaults.storage, defaults.clock, presenter.messages()};
  ops::LocalOperations operations(services);
  Service service(options, operations, log, services);
  std::string error;
  if (!service.Start(error)) {
    PrintLine(2, "ombsvc: " + error);
    return 1;
  }
  PrintLine(1, "listening on " + platform::FormatIpv4(options.listenAddress) + ":" + std::to_string(service.port()));

  std::atomic<bool> signalled{false};
  std::thread stopper([&] {
    int received = 0;
    sigwait(&signals, &received);
    signalled = true;
    log.Line(std::string("received ") + (received == SIGTERM ? "SIGTERM" : received == SIGINT ? "SIGINT" : "SIGHUP"));
    service.Stop();
  });
  service.Run();
  // Run ends on a signal, or when the listener fails; then the stopper is
  // still waiting and is woken with the signal it waits for.
  if (!signalled) pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  return 0;
}

}  // namespace

int ServiceMain(const std::vector<std::string>& args) {
  ServiceLog log(2);
  ServiceOptions options;
  std::string error;
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") {
      PrintLine(1, kUsage);
      return 0;
    }
  }
  if (!ParseServiceOptions(args, options, error)) {
    PrintLine(2, "ombsvc: " + error);
    PrintLine(2, kUsage);
    return 1;
  }
  DisableTestHooks(log);
  // Whoever started the service may stop reading its standard output
  // after the "listening on" line, and the engines print to it (the log
  // archive, the recovery). A write there must fail quietly instead of
  // killing the service in the middle of a run that holds databases in
  // backup mode. Sockets send without the signal anyway.
  ::signal(SIGPIPE, SIG_IGN);
  sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    return Serve(options, signals, log);
  } catch (const std::exception& failure) {
    // A failure of the machinery at start (the report folder, say) ends
    // the service with a message, not with an escaped exception.
    PrintLine(2, std::string("ombsvc: ") + failure.what());
    return 1;
  }
}

}  // namespace omb::service
