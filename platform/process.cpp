#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/paths.h"

namespace omb::platform {

namespace {

bool IsProcessFolder(const char* name) {
  if (*name == '\0') return false;
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
  }
  return true;
}

// File name without folder and extension, as _splitpath leaves it.
std::string BaseName(std::string_view path) {
  size_t slash = path.find_last_of('/');
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  size_t dot = path.find_last_of('.');
  if (dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
  return std::string(path);
}

// The program file of a process; empty when it is not ours to read or the
// process is gone.
std::string ExecutableName(const std::string& folder) {
  char target[4096];
  ssize_t length = ::readlink((folder + "/exe").c_str(), target, sizeof target - 1);
  if (length <= 0) return "";
  std::string_view path(target, static_cast<size_t>(length));
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() && path.substr(path.size() - kDeleted.size()) == kDeleted) {
    path.remove_suffix(kDeleted.size());
  }
  return BaseName(path);
}

// The command name the kernel keeps (the program's file name, at most 15
// characters, or the name the process gave itself).
std::string CommandName(const std::string& folder) {
  int fd = ::open((folder + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  char buffer[64];
  ssize_t length = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (length <= 0) return "";
  std::string_view name(buffer, static_cast<size_t>(length));
  while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) name.remove_suffix(1);
  return BaseName(name);
}

// The machine root a process works on: the OMB_MACHINE of its environment,
// the default root when it has none. Empty when the environment cannot be
// read; such a process counts for every machine, so a server that cannot
// be checked is never overlooked.
std::string ProcessMachineRoot(const std::string& folder) {
  int fd = ::open((folder + "/environ").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  std::string environment;
  char buffer[4096];
  ssize_t length;
  while ((length = ::read(fd, buffer, sizeof buffer)) > 0 && environment.size() < (1u << 20)) {
    environment.append(buffer, static_cast<size_t>(length));
  }
  ::close(fd);
  constexpr std::string_view kKey = "OMB_MACHINE=";
  for (size_t start = 0; start < environment.size();) {
    size_t end = environment.find('\0', start);
    if (end == std::string::npos) end = environment.size();
    std::string_view entry(environment.data() + start, end - start);
    if (entry.substr(0, kKey.size()) == kKey && entry.size() > kKey.size()) {
      return std::string(entry.substr(kKey.size()));
    }
    start = end + 1;
  }
  return kDefaultMachineRoot;
}

// Two simulated machines are two machine roots: a server process of one
// does not run on the other.
bool RunsOnThisMachine(const std::string& folder, const std::filesystem::path& ours) {
  std::string root = ProcessMachineRoot(folder);
  if (root.empty()) return true;
  std::error_code ignored;
  return std::filesystem::weakly_canonical(root, ignored) == ours;
}

}  // namespace

bool ListProcessNames(std::vector<std::string>& names) {
  names.clear();
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return false;
  std::error_code ignored;
  const std::filesystem::path ours = std::filesystem::weakly_canonical(MachineRoot(), ignored);
  while (struct dirent* entry = ::readdir(proc)) {
    if (!IsProcessFolder(entry->d_name)) continue;
    std::string folder = std::string("/proc/") + entry->d_name;
    // This process works on this machine whatever environment it started with.
    const bool self = std::to_string(::getpid()) == entry->d_name;
    if (!self && !RunsOnThisMachine(folder, ours)) continue;
    // A process that ends during the scan simply yields no names.
    std::string executable = ExecutableName(folder);
    std::string command = CommandName(folder);
    if (!executable.empty()) names.push_back(executable);
    if (!command.empty() && command != executable) names.push_back(command);
  }
  ::closedir(proc);
  return true;
}

}  // namespace omb::platform
