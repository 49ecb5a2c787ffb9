#include "tools/ombsvc/service_main.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
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

  // As every program of the machine does at start: the report folder and
  // its category folders exist before any report command is answered.
  reports::EnsureReportFolder();
  // The runs' messages, and anything else that would show a box, go to
  // the log: nobody sits in front of a service.
  LogMessageBox messages(log);
  platform::MessageBoxPresenter* previous = platform::SetMessageBoxPresenter(&messages);
  const RunServices defaults = DefaultRunServices();
  const RunServices services{defaults.notes, defaults.storage, defaults.clock, messages};
  ops::LocalOperations operations(services);
  Service service(options, operations, log, services);
  if (!service.Start(error)) {
    platform::SetMessageBoxPresenter(previous);
    PrintLine(2, "ombsvc: " + error);
    return 1;
  }
  PrintLine(1, "listening on " + platform::FormatIpv4(options.listenAddress) + ":" + std::to_string(service.port()));

  std::thread stopper([&] {
    int received = 0;
    sigwait(&signals, &received);
    log.Line(std::string("received ") + (received == SIGTERM ? "SIGTERM" : received == SIGINT ? "SIGINT" : "SIGHUP"));
    service.Stop();
  });
  service.Run();
  // Run ended on a signal: the stopper has done its work.
  stopper.join();
  platform::SetMessageBoxPresenter(previous);
  return 0;
}

}  // namespace omb::service
