// omb: the console without arguments, the command-line tool with any.
#include "cli/command_line.h"
#include "core/entry.h"
#include "platform/messagebox.h"

int main(int argc, char** argv) {
  static omb::platform::StderrMessageBox messageBox;
  omb::platform::SetMessageBoxPresenter(&messageBox);
  return omb::RunEntry(argc, argv, omb::CreateCommandLineApplication);
}
