#include "core/entry.h"

#include <cstdio>
#include <exception>

#include "core/errors.h"
#include "platform/locks.h"
#include "platform/messagebox.h"

namespace omb {

namespace {

void ShowError(const std::string& text) {
  platform::ShowMessageBox(text, "OMB Error", platform::MessageIcon::Error);
}

void PrepareReportFolder(const EntryPoints& entry) {
  if (entry.prepareReportFolder) entry.prepareReportFolder();
}

// Makes the report folder ready, builds the application and runs it. A
// failure of the machinery is shown, never left to end the process.
int BuildAndRun(int argc, char** argv, const EntryPoints& entry, const AppFactory& factory) {
  try {
    PrepareReportFolder(entry);
    std::unique_ptr<Application> app = factory(argc, argv);
    if (app == nullptr) return 1;
    return app->Run(1);
  } catch (const std::exception& error) {
    ShowError(error.what());
  }
  return 1;
}

int NoConsole() {
  std::fputs("omb: the management console is not available in this build; "
             "use the command-line options (omb -h).\n",
             stderr);
  return 1;
}

}  // namespace

int RunEntry(int argc, char** argv, const EntryPoints& entry) {
  if (argc >= 2) return BuildAndRun(argc, argv, entry, entry.commandLine);
  // Only the console keeps itself single; the lock lives as long as the run.
  std::unique_ptr<platform::NamedLock> guard = platform::NamedLock::TryAcquire(kConsoleMutexName);
  if (guard == nullptr) {
    platform::ShowMessageBox("Another instance of Ombrel for Lotus Domino already running.",
                             "ERROR", platform::MessageIcon::Error);
    return 0;
  }
  if (!entry.console) {
    try {
      PrepareReportFolder(entry);
    } catch (const std::exception& error) {
      ShowError(error.what());
    }
    return NoConsole();
  }
  return BuildAndRun(argc, argv, entry, entry.console);
}

}  // namespace omb
