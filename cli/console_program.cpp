#include "cli/console_program.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace omb::cli {

namespace {

constexpr const char* kConsoleProgram = "omb-console";

}  // namespace

std::string ConsoleProgramPath() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "";
  return (self.parent_path() / kConsoleProgram).string();
}

void ExecConsoleProgram() {
  std::string path = ConsoleProgramPath();
  if (path.empty() || ::access(path.c_str(), X_OK) != 0) return;
  char* argv[] = {path.data(), nullptr};
  ::execv(path.c_str(), argv);
}

}  // namespace omb::cli
