// omb: the console without arguments, the command-line tool with any.
#include <cstdio>

#include "cli/command_line.h"
#include "cli/console_program.h"
#include "core/entry.h"
#include "reports/reports.h"

int main(int argc, char** argv) {
  // Without arguments omb is the console: its own program takes over.
  if (argc < 2) omb::cli::ExecConsoleProgram();
  std::fputs(omb::MachineRootNotice().c_str(), stderr);
  omb::EntryPoints entry;
  entry.commandLine = omb::CreateCommandLineApplication;
  entry.prepareReportFolder = omb::reports::EnsureReportFolder;
  return omb::RunEntry(argc, argv, entry);
}
