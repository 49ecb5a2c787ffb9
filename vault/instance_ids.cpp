#include "vault/instance_ids.h"

#include <cctype>

#include "platform/files.h"
#include "platform/paths.h"
#include "vault/hint_files.h"

namespace omb::backup {

namespace {

constexpr const char* kInstanceIds = "instance_ids";
constexpr const char* kHeader = "OMB-INSTANCE-IDS 1";
// A line per logged database; a server with a hundred thousand of them
// stays far below this.
constexpr int64_t kMaxFileSize = 16 << 20;
constexpr size_t kIdDigits = 32;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseId(const std::string& text, notes::LogId& id) {
  if (text.size() != kIdDigits) return false;
  for (size_t i = 0; i < id.size(); ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    id[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return true;
}

bool ParseSequence(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

// "<32 hex digits> <path>": the path is the rest of the line, blanks and all.
bool ParseDatabaseLine(const std::string& line, std::pair<std::string, notes::LogId>& entry) {
  if (line.size() < kIdDigits + 2 || line[kIdDigits] != ' ') return false;
  entry.first = line.substr(kIdDigits + 1);
  return ParseId(line.substr(0, kIdDigits), entry.second);
}

}  // namespace

const notes::LogId* InstanceIds::Find(const std::string& path) const {
  for (const auto& [database, id] : databases) {
    if (platform::EqualsNoCase(database, path)) return &id;
  }
  return nullptr;
}

std::string InstanceIdText(const notes::LogId& id) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : id) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

int WriteInstanceIds(const std::string& directory, const InstanceIds& ids) {
  std::string text = std::string(kHeader) + "\nsequence " + std::to_string(ids.sequence) + "\n";
  for (const auto& [path, id] : ids.databases) text += InstanceIdText(id) + " " + path + "\n";
  return platform::WriteTextFile(platform::JoinPath(directory, kInstanceIds), text) == 0 ? 0 : -1;
}

int ReadInstanceIds(const std::string& directory, InstanceIds& ids) {
  const std::string path = platform::JoinPath(directory, kInstanceIds);
  const int64_t size = platform::FileSize(path);
  std::string text;
  if (size < 0 || size > kMaxFileSize || platform::ReadTextFile(path, text) != 0) return -1;
  const std::vector<std::string> lines = NonEmptyLines(text);
  constexpr const char* kSequence = "sequence ";
  if (lines.size() < 2 || lines[0] != kHeader || lines[1].rfind(kSequence, 0) != 0) return -1;
  InstanceIds read;
  if (!ParseSequence(lines[1].substr(std::string(kSequence).size()), read.sequence)) return -1;
  for (size_t i = 2; i < lines.size(); ++i) {
    std::pair<std::string, notes::LogId> entry;
    if (!ParseDatabaseLine(lines[i], entry)) return -1;
    read.databases.push_back(std::move(entry));
  }
  ids = std::move(read);
  return 0;
}

std::vector<SnapshotInstanceIds> ReadServerInstanceIds(const std::string& serverDirectory) {
  std::vector<SnapshotInstanceIds> found;
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(serverDirectory, entries) != 0) return found;
  for (const platform::DirEntry& entry : entries) {
    if (!entry.isDirectory) continue;
    SnapshotInstanceIds snapshot;
    snapshot.name = entry.name;
    snapshot.directory = platform::JoinPath(serverDirectory, entry.name);
    if (ReadInstanceIds(snapshot.directory, snapshot.ids) == 0) found.push_back(std::move(snapshot));
  }
  return found;
}

}  // namespace omb::backup
