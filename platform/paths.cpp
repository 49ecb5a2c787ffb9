#include "platform/paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

namespace omb::platform {

namespace fs = std::filesystem;

namespace {

std::mutex& RootMutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<fs::path>& RootOverride() {
  static std::optional<fs::path> root;
  return root;
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Splits the part after the drive into components; empty pieces (doubled
// separators) and "." vanish, ".." steps back but never above the drive
// root, so no Windows path can reach outside its drive folder.
std::vector<std::string> SplitComponents(std::string_view rest) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string_view piece = rest.substr(start, end - start);
    if (piece == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!piece.empty() && piece != ".") {
      parts.emplace_back(piece);
    }
    start = end + 1;
  }
  return parts;
}

bool EntryExists(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// The name in `folder` that equals `component` without regard to case; the
// smallest such name when several differ only in case, so the answer is
// stable. Empty when there is none.
std::string FindNoCase(const fs::path& folder, const std::string& component) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  std::string best;
  if (error) return best;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) break;
    std::string name = it->path().filename().string();
    if (EqualsNoCase(name, component) && (best.empty() || name < best)) best = name;
  }
  return best;
}

}  // namespace

fs::path MachineRoot() {
  {
    std::lock_guard<std::mutex> lock(RootMutex());
    if (RootOverride()) return *RootOverride();
  }
  const char* fromEnvironment = std::getenv("OMB_MACHINE");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fs::path(fromEnvironment);
  return fs::path(kDefaultMachineRoot);
}

void SetMachineRoot(const fs::path& root) {
  std::lock_guard<std::mutex> lock(RootMutex());
  RootOverride() = root;
}

fs::path DriveFolder(char driveLetter) {
  return MachineRoot() / "drives" / std::string(1, UpperAscii(driveLetter));
}

char DriveOf(std::string_view windowsPath) {
  if (windowsPath.size() >= 2 && IsLetter(windowsPath[0]) && windowsPath[1] == ':') {
    return UpperAscii(windowsPath[0]);
  }
  return 0;
}

fs::path HostPath(std::string_view windowsPath) {
  char drive = DriveOf(windowsPath);
  std::string_view rest = drive != 0 ? windowsPath.substr(2) : windowsPath;
  fs::path host = DriveFolder(drive != 0 ? drive : 'C');
  bool parentExists = true;
  for (const std::string& component : SplitComponents(rest)) {
    if (parentExists) {
      fs::path exact = host / component;
      if (EntryExists(exact)) {
        host = std::move(exact);
        continue;
      }
      std::string match = FindNoCase(host, component);
      if (!match.empty()) {
        host /= match;
        continue;
      }
      parentExists = false;
    }
    host /= component;
  }
  return host;
}

std::string WindowsPath(const fs::path& hostPath) {
  fs::path drives = (MachineRoot() / "drives").lexically_normal();
  fs::path relative = hostPath.lexically_normal().lexically_relative(drives);
  if (relative.empty()) return "";
  auto it = relative.begin();
  std::string letter = it->string();
  if (letter.size() != 1 || !IsLetter(letter[0])) return "";
  std::string result(1, UpperAscii(letter[0]));
  result += ":\\";
  bool first = true;
  for (++it; it != relative.end(); ++it) {
    std::string piece = it->string();
    if (piece.empty() || piece == ".") continue;
    if (piece == "..") return "";
    if (!first) result += '\\';
    result += piece;
    first = false;
  }
  return result;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (joined.empty() || joined.back() != '\\') joined += '\\';
  joined.append(name);
  return joined;
}

PathParts SplitPath(std::string_view path) {
  PathParts parts;
  if (path.size() >= 2 && path[1] == ':') {
    parts.drive = std::string(path.substr(0, 2));
    path.remove_prefix(2);
  }
  size_t lastSeparator = path.find_last_of("\\/");
  if (lastSeparator != std::string_view::npos) {
    parts.directory = std::string(path.substr(0, lastSeparator + 1));
    path.remove_prefix(lastSeparator + 1);
  }
  size_t dot = path.rfind('.');
  if (dot != std::string_view::npos) {
    parts.extension = std::string(path.substr(dot));
    path = path.substr(0, dot);
  }
  parts.fileName = std::string(path);
  return parts;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

std::string ToUpper(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), UpperAscii);
  return result;
}

std::string ToLower(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), LowerAscii);
  return result;
}

}  // namespace omb::platform
