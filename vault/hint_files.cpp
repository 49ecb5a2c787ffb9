#include "vault/hint_files.h"

#include <cctype>
#include <limits>

#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace omb::backup {

namespace {

constexpr const char* kLogHint = "log_hint";
constexpr const char* kDisabledDatabases = "disabled_databases";
constexpr const char* kSnapshotTimeDate = "snapshot_time_date";

// Hint files are a few lines; anything larger is not one of ours.
constexpr int64_t kMaxHintFileSize = 1 << 20;
// Length of "logs\" plus an archived log name ("S0000123.TXN").
constexpr size_t kLogsFolderAndName = 17;

// Reads a hint file in text mode; false when it cannot be opened or is
// implausibly large.
bool ReadHintFile(const std::string& path, std::string& text) {
  int64_t size = platform::FileSize(path);
  if (size < 0 || size > kMaxHintFileSize) return false;
  return platform::ReadTextFile(path, text) == 0;
}

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The whitespace-separated tokens of a text, at most `limit` of them.
std::vector<std::string> Tokens(const std::string& text, size_t limit) {
  std::vector<std::string> tokens;
  size_t position = 0;
  while (tokens.size() < limit) {
    while (position < text.size() && IsBlank(text[position])) ++position;
    if (position >= text.size()) break;
    size_t end = position;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    tokens.push_back(text.substr(position, end - position));
    position = end;
  }
  return tokens;
}

bool ParseUnsigned(const std::string& token, uint32_t& value) {
  if (token.empty() || token.size() > 10) return false;
  uint64_t number = 0;
  for (char c : token) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number > std::numeric_limits<uint32_t>::max()) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

}  // namespace

// Every writer below goes through platform::WriteTextFile, which writes a
// temporary file and renames it over the old one: a crash leaves the old
// hint file or the new one, never a torn one.

int WriteLogHint(const std::string& directory, uint32_t logExtent, const notes::LogId& logId,
                 std::string& filePath) {
  filePath = platform::JoinPath(directory, kLogHint);
  std::string text = std::to_string(logExtent) + "\n" + notes::LogSeriesText(logId);
  return platform::WriteTextFile(filePath, text) == 0 ? 0 : -1;
}

int ReadLogHint(const std::string& directory, uint32_t& firstLog, std::string& series,
                std::string& filePath) {
  filePath = platform::JoinPath(directory, kLogHint);
  std::string text;
  if (!ReadHintFile(filePath, text)) return platform::FileSize(filePath) > kMaxHintFileSize ? kLogHintDamaged : -1;
  std::vector<std::string> tokens = Tokens(text, 2);
  uint32_t number = 0;
  // A file whose first token is not a log number cannot guide a recovery.
  if (tokens.empty() || !ParseUnsigned(tokens[0], number)) return kLogHintDamaged;
  firstLog = number;
  series = tokens.size() > 1 ? tokens[1] : std::string();
  return 0;
}

int ArchivedLogMatchesSeries(const std::string& archivedLogPath, const std::string& series) {
  if (archivedLogPath.size() < kLogsFolderAndName) return -1;
  std::string snapshotDirectory = archivedLogPath.substr(0, archivedLogPath.size() - kLogsFolderAndName);
  uint32_t firstLog = 0;
  std::string hintSeries;
  std::string hintPath;
  if (ReadLogHint(snapshotDirectory, firstLog, hintSeries, hintPath) != 0) return -1;
  return hintSeries == series ? 0 : -1;
}

int WriteDisabledList(const std::string& directory, const std::vector<std::string>& paths,
                      std::string& filePath) {
  filePath = platform::JoinPath(directory, kDisabledDatabases);
  std::string text;
  for (const std::string& path : paths) text += path + "\n";
  return platform::WriteTextFile(filePath, text) == 0 ? 0 : -1;
}

int ReadDisabledList(const std::string& directory, std::vector<std::string>& paths) {
  std::string text;
  if (!ReadHintFile(platform::JoinPath(directory, kDisabledDatabases), text)) return -1;
  for (std::string& line : NonEmptyLines(text)) paths.push_back(std::move(line));
  return 0;
}

std::vector<std::string> NonEmptyLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool IsDisabled(const std::vector<std::string>& paths, const std::string& dbPath) {
  for (const std::string& path : paths)
    if (platform::EqualsNoCase(path, dbPath)) return true;
  return false;
}

int WriteSnapshotTimeDate(const std::string& directory, const std::string& timeDateName) {
  return platform::WriteTextFile(platform::JoinPath(directory, kSnapshotTimeDate), timeDateName) == 0 ? 0 : -1;
}

int ReadSnapshotTimeDate(const std::string& directory, std::string& timeDateName) {
  std::string text;
  if (!ReadHintFile(platform::JoinPath(directory, kSnapshotTimeDate), text)) return -1;
  std::vector<std::string> tokens = Tokens(text, 1);
  timeDateName = tokens.empty() ? std::string() : tokens[0];
  return 0;
}

}  // namespace omb::backup
