#include "platform/ini.h"

#include <vector>

#include "platform/host_io.h"
#include "platform/paths.h"

namespace omb::platform {

namespace {

constexpr size_t kMaxIniBytes = 4u << 20;

struct IniLine {
  std::string text;    // without its line end
  std::string ending;  // "\r\n", "\n" or "" for a last line without one
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::vector<IniLine> SplitLines(std::string_view bytes) {
  std::vector<IniLine> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) {
      lines.push_back({std::string(bytes.substr(start)), ""});
      break;
    }
    bool crlf = end > start && bytes[end - 1] == '\r';
    lines.push_back({std::string(bytes.substr(start, end - start - (crlf ? 1 : 0))), crlf ? "\r\n" : "\n"});
    start = end + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<IniLine>& lines) {
  std::string out;
  for (const IniLine& line : lines) out += line.text + line.ending;
  return out;
}

// The section name of a "[name]" line, or nullopt for other lines.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// The key of a "key=value" line, or nullopt for comments and other lines.
std::optional<std::string_view> KeyName(std::string_view line) {
  std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return Trim(trimmed.substr(0, equals));
}

// The value as GetPrivateProfileString gives it: trimmed, and without a pair
// of enclosing quotes.
std::string ValueOf(std::string_view line) {
  std::string_view value = Trim(line.substr(line.find('=') + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

struct SectionSpan {
  size_t header;  // index of the "[name]" line
  size_t end;     // one past its last line
};

std::optional<SectionSpan> FindSection(const std::vector<IniLine>& lines, std::string_view section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    std::optional<std::string_view> name = SectionName(lines[i].text);
    if (!name || !EqualsNoCase(*name, section)) continue;
    size_t end = i + 1;
    while (end < lines.size() && !SectionName(lines[end].text)) ++end;
    return SectionSpan{i, end};
  }
  return std::nullopt;
}

std::optional<size_t> FindKey(const std::vector<IniLine>& lines, SectionSpan span, std::string_view key) {
  for (size_t i = span.header + 1; i < span.end; ++i) {
    std::optional<std::string_view> name = KeyName(lines[i].text);
    if (name && EqualsNoCase(*name, key)) return i;
  }
  return std::nullopt;
}

std::string DominantEnding(std::string_view bytes) {
  size_t newline = bytes.find('\n');
  if (newline == std::string_view::npos) return "\r\n";
  return newline > 0 && bytes[newline - 1] == '\r' ? "\r\n" : "\n";
}

// Line breaks, or a key or section that would read back as something else,
// would let a value rewrite other entries of the file.
bool SafeToWrite(std::string_view section, std::string_view key, std::string_view value) {
  auto hasBreak = [](std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; };
  if (hasBreak(section) || hasBreak(key) || hasBreak(value)) return false;
  if (section.find(']') != std::string_view::npos || Trim(key).empty()) return false;
  return key.find('=') == std::string_view::npos && Trim(key).front() != ';' && Trim(key).front() != '[';
}

// A byte-order mark left by a text editor must not hide the first section.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view WithoutBom(std::string_view bytes) {
  return bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom ? bytes.substr(kUtf8Bom.size()) : bytes;
}

void SetValue(std::string& file, std::string_view section, std::string_view key, std::string_view value) {
  std::string bytes(WithoutBom(file));
  std::string bom = file.substr(0, file.size() - bytes.size());
  std::string ending = DominantEnding(bytes);
  std::vector<IniLine> lines = SplitLines(bytes);
  if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = ending;
  std::optional<SectionSpan> span = FindSection(lines, section);
  if (!span) {
    if (!lines.empty() && !Trim(lines.back().text).empty()) lines.push_back({"", ending});
    std::string header = "[";
    header.append(section).append("]");
    lines.push_back({header, ending});
    lines.push_back({std::string(key) + "=" + std::string(value), ending});
  } else if (std::optional<size_t> at = FindKey(lines, *span, key)) {
    lines[*at].text = std::string(*KeyName(lines[*at].text)) + "=" + std::string(value);
  } else {
    // After the section's last entry, before the blank lines that part it
    // from the next section.
    size_t insertAt = span->end;
    while (insertAt > span->header + 1 && Trim(lines[insertAt - 1].text).empty()) --insertAt;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                 {std::string(key) + "=" + std::string(value), ending});
  }
  file = bom + JoinLines(lines);
}

}  // namespace

std::optional<std::string> ReadIniValue(std::string_view file, std::string_view section, std::string_view key) {
  std::string bytes;
  if (detail::ReadHostFile(HostPath(file), bytes) != 0 || bytes.size() > kMaxIniBytes) return std::nullopt;
  std::vector<IniLine> lines = SplitLines(WithoutBom(bytes));
  std::optional<SectionSpan> span = FindSection(lines, Trim(section));
  if (!span) return std::nullopt;
  std::optional<size_t> at = FindKey(lines, *span, Trim(key));
  if (!at) return std::nullopt;
  return ValueOf(lines[*at].text);
}

bool WriteIniValue(std::string_view file, std::string_view section, std::string_view key, std::string_view value) {
  if (!SafeToWrite(section, key, value)) return false;
  section = Trim(section);
  key = Trim(key);
  std::filesystem::path host = HostPath(file);
  std::error_code error;
  if (!std::filesystem::is_directory(host.parent_path(), error)) return false;
  return detail::UpdateHostFileLocked(host, kMaxIniBytes, [&](std::string& bytes) {
    SetValue(bytes, section, key, value);
    return detail::Update::Write;
  });
}

}  // namespace omb::platform
