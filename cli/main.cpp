// omb: the console without arguments, the command-line tool with any.
#include <cstdio>

#include "cli/command_line.h"
#include "core/entry.h"
#include "reports/reports.h"

int main(int argc, char** argv) {
  std::fputs(omb::MachineRootNotice().c_str(), stderr);
  omb::EntryPoints entry;
  entry.commandLine = omb::CreateCommandLineApplication;
  entry.prepareReportFolder = omb::reports::EnsureReportFolder;
  return omb::RunEntry(argc, argv, entry);
}
