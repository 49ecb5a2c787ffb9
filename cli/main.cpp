// omb: the console without arguments, the command-line tool with any.
#include "cli/command_line.h"
#include "cli/console_program.h"
#include "core/entry.h"
#include "platform/messagebox.h"

int main(int argc, char** argv) {
  // Without arguments omb is the console: its own program takes over.
  if (argc < 2) omb::cli::ExecConsoleProgram();
  static omb::platform::StderrMessageBox messageBox;
  omb::platform::SetMessageBoxPresenter(&messageBox);
  return omb::RunEntry(argc, argv, omb::CreateCommandLineApplication);
}
