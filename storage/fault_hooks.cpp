#include "storage/fault_hooks.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

#include "platform/paths.h"

extern char** environ;

namespace omb::storage {

namespace {

constexpr const char* kMethods[] = {
    "CreateSnapShot",  "RestoreSnapShot",         "DeleteSnapShot", "RenameSnapShot",
    "EnumSnapShots",   "QueryVirtualDisks",       "GetSnapshotFactory",
    "CreateSnapshotInterface", "GetDiskFactory", "CreateDiskInterface", "RestoreFileFromSnapShot"};

bool IsKnownMethod(const std::string& name) {
  for (const char* method : kMethods) {
    if (name == method) return true;
  }
  return false;
}

// "0x80004005", "2147500037" or "-2147467259"; any 32-bit pattern.
std::optional<HRESULT> ParseResult(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > UINT32_MAX) return std::nullopt;
  return static_cast<HRESULT>(static_cast<uint32_t>(value));
}

void WarnOnce(const std::string& entry) {
  static std::mutex mutex;
  static std::set<std::string> warned;
  std::lock_guard<std::mutex> lock(mutex);
  if (!warned.insert(entry).second) return;
  std::fprintf(stderr, "omb storage: ignoring malformed OMB_STORAGE_FAIL entry \"%s\"\n", entry.c_str());
}

std::optional<HRESULT> ResultOfEntry(const std::string& entry, const std::string& method) {
  size_t colon = entry.find(':');
  std::string name = entry.substr(0, colon);
  std::optional<HRESULT> result;
  if (colon != std::string::npos) result = ParseResult(entry.substr(colon + 1));
  if (!result || !IsKnownMethod(name)) {
    WarnOnce(entry);
    return std::nullopt;
  }
  if (name != method) return std::nullopt;
  return result;
}

}  // namespace

std::optional<HRESULT> InjectedResult(const std::string& method) {
  const char* setting = std::getenv("OMB_STORAGE_FAIL");
  if (!setting || !*setting) return std::nullopt;
  std::string text = setting;
  std::optional<HRESULT> found;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string entry = text.substr(start, comma - start);
    if (!entry.empty()) {
      std::optional<HRESULT> result = ResultOfEntry(entry, method);
      if (result && !found) found = result;
    }
    start = comma + 1;
  }
  return found;
}

void RunPreSnapshotHook() {
  const char* command = std::getenv("OMB_STORAGE_PRE_SNAPSHOT");
  if (!command || !*command) return;
  // The child's environment: ours, with OMB_MACHINE naming this machine.
  std::string machine = "OMB_MACHINE=" + platform::MachineRoot().string();
  std::vector<char*> environment;
  for (char** variable = environ; *variable; ++variable) {
    if (std::string_view(*variable).substr(0, 12) != "OMB_MACHINE=") environment.push_back(*variable);
  }
  environment.push_back(machine.data());
  environment.push_back(nullptr);
  std::string shell = "/bin/sh", flag = "-c", script = command;
  char* argv[] = {shell.data(), flag.data(), script.data(), nullptr};
  pid_t child = 0;
  if (::posix_spawn(&child, "/bin/sh", nullptr, nullptr, argv, environment.data()) != 0) {
    std::fprintf(stderr, "omb storage: could not run OMB_STORAGE_PRE_SNAPSHOT\n");
    return;
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace omb::storage
