#pragma once
// omb without arguments is the management console, a program of its own
// ("omb-console") beside omb: omb itself links no toolkit and runs where no
// display and no Qt libraries exist.

#include <string>

namespace omb::cli {

// Path of the console program beside the running omb ("" when unknown).
std::string ConsoleProgramPath();

// Replaces this process with the console program. Returns only when the
// program is absent or cannot be started; omb then says so itself.
void ExecConsoleProgram();

}  // namespace omb::cli
