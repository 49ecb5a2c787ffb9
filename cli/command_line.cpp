#include "cli/command_line.h"

#include <cstdio>
#include <cstdlib>

#include "domino/locks.h"
#include "platform/messagebox.h"

namespace omb {

namespace {

// The lock is held until the process ends, however it ends.
RunLock& CliLock() {
  static RunLock lock;
  return lock;
}

void TakeCliLockOrExit() {
  ProgressSink sink;
  sink.toFile = 1;
  sink.toConsole = true;
  CliLock() = AcquireCliLock(sink);
  if (CliLock() != nullptr) return;
  platform::ShowMessageBox("OMB CLI already running", "OMB CLI Error",
                           platform::MessageIcon::Error);
  std::exit(-1);
}

}  // namespace

CommandLineApplication::CommandLineApplication(const CliOptions& options) : options_(options) {}

int CommandLineApplication::Run(int /*showCommand*/) {
  if (options_.invalid) return 1;
  if (options_.backupRequested || options_.restoreRequested)
    std::fputs("omb: backup and restore runs are not available in this build\n", stderr);
  return 0;
}

std::unique_ptr<Application> CreateCommandLineApplication(int argc, char** argv) {
  TakeCliLockOrExit();
  CliOptions options = ParseCommandLine(argc, argv);
  return std::make_unique<CommandLineApplication>(options);
}

}  // namespace omb
