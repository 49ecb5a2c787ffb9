#include "storage/disk_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/durable.h"
#include "platform/paths.h"
#include "storage/filer.h"

namespace omb::storage {

namespace {

constexpr std::uintmax_t kMaxTableBytes = 1 << 20;
constexpr size_t kMaxNameLength = 200;

std::filesystem::path TablePath() { return StorageRoot() / "disks.ini"; }

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool IsComplete(const VirtualDisk& disk) {
  return disk.driveLetter != 0 && IsValidDiskName(disk.filer) && IsValidDiskName(disk.volume) &&
         IsValidDiskName(disk.diskFile);
}

// Applies one "Key=Value" line of a drive section to the disk.
void ApplyKey(VirtualDisk& disk, const std::string& line) {
  size_t equals = line.find('=');
  if (equals == std::string::npos) return;
  std::string key = platform::ToLower(Trim(line.substr(0, equals)));
  std::string value = Trim(line.substr(equals + 1));
  if (key == "filer") disk.filer = value;
  if (key == "volume") disk.volume = value;
  if (key == "file") disk.diskFile = value;
}

std::map<char, VirtualDisk> ParseTable(const std::string& text) {
  std::map<char, VirtualDisk> disks;
  std::istringstream lines(text);
  std::string line;
  VirtualDisk* current = nullptr;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[') {
      current = nullptr;
      bool letter = line.size() == 3 && line[2] == ']' && std::isalpha(static_cast<unsigned char>(line[1]));
      if (!letter) continue;
      char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(line[1])));
      current = &disks[drive];
      *current = VirtualDisk{drive, "", "", ""};
      continue;
    }
    if (current) ApplyKey(*current, line);
  }
  return disks;
}

std::string FormatTable(const std::map<char, VirtualDisk>& disks) {
  std::string text = "; Virtual disks served by the storage component\n";
  for (const auto& [letter, disk] : disks) {
    text += std::string("[") + letter + "]\n";
    text += "Filer=" + disk.filer + "\nVolume=" + disk.volume + "\nFile=" + disk.diskFile + "\n";
  }
  return text;
}

bool ReadBounded(const std::filesystem::path& path, std::string& text) {
  std::error_code error;
  std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > kMaxTableBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  text = bytes.str();
  return true;
}

// A reader sees either the old or the new table.
bool ReplaceTable(const std::string& text) { return platform::WriteFileAtomically(TablePath(), text) == 0; }

}  // namespace

std::filesystem::path StorageRoot() { return platform::MachineRoot() / "storage"; }

std::filesystem::path VolumeFolder(const VirtualDisk& disk) {
  return StorageRoot() / disk.filer / disk.volume;
}

bool DisksTableExists() {
  std::error_code error;
  return std::filesystem::is_regular_file(TablePath(), error);
}

bool IsValidDiskName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameLength || name[0] == '.') return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return c == '\\' || c == '/' || c == '[' || c == ']' || c == '=' || c == ';' ||
           static_cast<unsigned char>(c) < 0x20;
  });
}

std::vector<VirtualDisk> ReadDisksTable() {
  std::string text;
  std::vector<VirtualDisk> disks;
  if (!ReadBounded(TablePath(), text)) return disks;
  for (const auto& [letter, disk] : ParseTable(text)) {
    if (IsComplete(disk)) disks.push_back(disk);
  }
  return disks;
}

std::optional<VirtualDisk> FindDisk(char driveLetter) {
  char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(driveLetter)));
  for (const VirtualDisk& disk : ReadDisksTable()) {
    if (disk.driveLetter == wanted) return disk;
  }
  return std::nullopt;
}

std::vector<VirtualDisk> DisksOfVolume(const VirtualDisk& disk) {
  std::vector<VirtualDisk> members;
  for (const VirtualDisk& other : ReadDisksTable()) {
    if (other.filer == disk.filer && other.volume == disk.volume) members.push_back(other);
  }
  return members;
}

bool RegisterVirtualDisk(char driveLetter, const std::string& filer, const std::string& volume,
                         const std::string& diskFile) {
  if (!std::isalpha(static_cast<unsigned char>(driveLetter))) return false;
  VirtualDisk disk{static_cast<char>(std::toupper(static_cast<unsigned char>(driveLetter))), filer,
                   volume, diskFile};
  if (!IsComplete(disk)) return false;
  std::error_code error;
  std::filesystem::create_directories(VolumeFolder(disk), error);
  if (error) return false;
  // Writers of the table take turns on storage/.disks.lock.
  std::unique_ptr<platform::FileLock> lock = platform::FileLock::Acquire(StorageRoot() / ".disks.lock");
  if (lock == nullptr) return false;
  std::string text;
  std::map<char, VirtualDisk> disks;
  if (ReadBounded(TablePath(), text)) disks = ParseTable(text);
  disks[disk.driveLetter] = disk;
  return ReplaceTable(FormatTable(disks));
}

}  // namespace omb::storage
