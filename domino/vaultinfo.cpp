#include "domino/vaultinfo.h"

#include <cstdio>
#include <limits>
#include <set>

#include "platform/files.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace omb {

namespace {

constexpr const char* kIniSection = "NOTES";
constexpr size_t kIniValueLimit = 255;      // a 256-byte buffer with its zero
constexpr size_t kRegistryValueLimit = 254; // a 255-byte buffer with its zero
constexpr size_t kNameLimit = 1023;

bool EndsWithBackslash(const std::string& text) {
  return !text.empty() && text.back() == '\\';
}

std::string WithBackslash(const std::string& text) {
  return EndsWithBackslash(text) ? text : text + "\\";
}

std::string RegistryText(const platform::RegValue& value) {
  if (value.type == platform::RegType::Dword) return std::to_string(value.number);
  return value.text;
}

// Where the folders below the root begin: after "X:\", after the server
// and share of "\\server\share\", after a leading "\", or at the start.
size_t FirstCreatablePosition(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':') return 3;
  if (path.rfind("\\\\", 0) == 0) {
    size_t server = path.find('\\', 2);
    if (server == std::string::npos) return path.size();
    size_t share = path.find('\\', server + 1);
    return share == std::string::npos ? path.size() : share + 1;
  }
  if (!path.empty() && path[0] == '\\') return 1;
  return 0;
}

std::string ProgramDirectoryOfDomino() {
  std::string path;
  if (ReadRegistryValue("SOFTWARE\\Lotus\\Domino\\5.0", "Path", path) == 0) return path;
  if (ReadRegistryValue("SOFTWARE\\Lotus\\Domino", "Path", path) == 0) return path;
  return "";
}

}  // namespace

// ---- Vaultinfo paths ------------------------------------------------------

std::string GetIniPath() { return platform::JoinPath(platform::WindowsDirectory(), "omb.ini"); }

std::string GetVaultinfoRoot() {
  std::string root;
  ReadNotesIniValue("CHANGE_INFO_DIR", root, GetIniPath());
  return root.empty() ? root : WithBackslash(root);
}

int GetServerVaultinfoDir(const PartitionInfo& server, const std::string& subdirectory,
                          std::string& out) {
  std::string root = GetVaultinfoRoot();
  if (root.empty()) return -1;
  out = root + server.shortName + "\\" + subdirectory;
  return 0;
}

std::string MissingChangeInfoDirText() {
  return "ERROR: " + GetIniPath() +
         " has no CHANGE_INFO_DIR: the configuration must run before backups and restores.\r\n";
}

int GetHintPath(const PartitionInfo& server, std::string& out) {
  std::string directory;
  if (GetServerVaultinfoDir(server, "", directory) != 0) return -1;
  out = directory + "\\hint";
  return 0;
}

bool IsConfigured() {
  std::string value;
  return ReadNotesIniValue("CONFIGWIZ", value, GetIniPath()) > 0;
}

// ---- ini files ------------------------------------------------------------

int ReadNotesIniValue(const std::string& key, std::string& value, const std::string& file) {
  value = platform::ReadIniValue(file, kIniSection, key).value_or("");
  if (value.size() > kIniValueLimit) value.resize(kIniValueLimit);
  return static_cast<int>(value.size());
}

int WriteNotesIniValue(const std::string& key, const std::string& value, const std::string& file) {
  return platform::WriteIniValue(file, kIniSection, key, value) ? 1 : 0;
}

// ---- registry -------------------------------------------------------------

int ReadRegistryValue(const std::string& subkey, const std::string& valueName, std::string& value) {
  std::optional<platform::RegValue> read = platform::ReadRegistry(subkey, valueName);
  if (!read) return 1;
  std::string text = RegistryText(*read);
  // A value that does not fit the buffer cannot be read, as with the system.
  if (text.size() > kRegistryValueLimit) return 1;
  value = text;
  return 0;
}

int WriteRegistryValue(const std::string& subkey, const std::string& valueName,
                       const std::string& text) {
  if (!platform::RegistryKeyExists(subkey)) return 1;
  platform::RegValue value;
  value.type = platform::RegType::ExpandString;
  value.text = text;
  return platform::WriteRegistry(subkey, valueName, value, false) ? 0 : 1;
}

// ---- files and folders ----------------------------------------------------

int DirectoryExists(const std::string& path) {
  if (path.empty()) return -1;
  // Any folder holds at least "." and "..", so only a missing one is empty.
  return platform::IsDirectory(path) ? 0 : 1;
}

int CreateDirectoryPath(const std::string& path) {
  if (path.empty()) return -1;
  const std::string full = WithBackslash(path);
  size_t start = FirstCreatablePosition(full);
  for (size_t end = full.find('\\', start); end != std::string::npos;
       end = full.find('\\', end + 1)) {
    if (end == start || full[end - 1] == '\\') continue;  // a doubled backslash
    std::string folder = full.substr(0, end);
    if (platform::PathExists(folder)) continue;
    int result = platform::CreateOneDirectory(folder);
    if (result != 0 && result != 183) return 0;
  }
  return 1;
}

int DeleteDirectoryTree(const std::string& path) {
  if (path.empty()) return -1;
  return platform::RemoveDirectoryTree(path);
}

uint32_t GetFreeMegabytes(char driveLetter) {
  uint64_t freeBytes = 0;
  if (!platform::FreeBytes(driveLetter, freeBytes)) return 0;
  uint64_t megabytes = freeBytes >> 20;
  constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(megabytes > kMax ? kMax : megabytes);
}

int IsProgramDrive(char driveLetter) {
  std::string programDirectory = ProgramDirectoryOfDomino();
  if (programDirectory.empty()) return 0;
  return platform::EqualsNoCase(std::string(1, driveLetter), programDirectory.substr(0, 1)) ? -1
                                                                                           : 0;
}

int WriteNameList(const std::string& file, const std::vector<SnapshotEntry>& snapshots) {
  std::vector<std::string> names;
  names.reserve(snapshots.size());
  for (const SnapshotEntry& snapshot : snapshots) names.push_back(snapshot.name);
  return WriteNameList(file, names);
}

int WriteNameList(const std::string& file, const std::vector<std::string>& names) {
  std::set<std::string> written;
  std::string content;
  for (const std::string& name : names) {
    if (name.empty()) continue;
    std::string upper = platform::ToUpper(name.substr(0, kNameLimit));
    if (!written.insert(upper).second) continue;
    content += upper + "\n";
  }
  // The new list replaces the old one in a single rename, so a crash leaves
  // either list whole.
  return platform::WriteTextFile(file, content) == 0 ? 0 : -1;
}

// ---- paths and texts --------------------------------------------------------

std::string ResolveLogPath(const std::string& dataPath, const std::string& logPath) {
  if (dataPath.empty()) return "";
  return platform::JoinPath(dataPath, logPath);
}

std::string FormatTimestamp(platform::Clock& clock) {
  platform::SystemTime now = clock.LocalNow();
  char text[64];
  std::snprintf(text, sizeof text, "%d/%d/%d %02d:%02d:%02d:%02d", now.month, now.day, now.year,
                now.hour, now.minute, now.second, now.milliseconds);
  return text;
}

}  // namespace omb
