#include "platform/shell_link.h"

#include <array>
#include <utility>

#include "platform/files.h"
#include "platform/paths.h"

namespace omb::platform {

namespace {

constexpr std::string_view kHeader = "[Shell Link]";
// Header, four keys with their longest values and line ends, and room to spare.
constexpr int64_t kMaxLinkFileBytes = 8 * 1024;

struct Field {
  std::string_view key;
  std::string ShellLink::*member;
};

constexpr std::array<Field, 4> kFields{{
    {"Target", &ShellLink::target},
    {"Arguments", &ShellLink::arguments},
    {"WorkingDirectory", &ShellLink::workingDirectory},
    {"Description", &ShellLink::description},
}};

uint32_t FromWin32(int code) { return code == 0 ? 0u : 0x80070000u | static_cast<uint32_t>(code); }

// Splits the next line off `rest`, without its "\r\n" or "\n".
std::string_view NextLine(std::string_view& rest) {
  size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Sets the field that `line` names; false when the line is not "Key=value"
// for a known key with a value of allowed length.
bool ParseLine(std::string_view line, ShellLink& link) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  std::string_view key = line.substr(0, equals);
  std::string_view value = line.substr(equals + 1);
  if (value.size() > kMaxShellLinkValue) return false;
  for (const Field& field : kFields) {
    if (EqualsNoCase(field.key, key)) {
      link.*field.member = std::string(value);
      return true;
    }
  }
  return false;
}

uint32_t Parse(std::string_view bytes, ShellLink& link) {
  if (NextLine(bytes) != kHeader) return kLinkInvalid;
  ShellLink parsed;
  while (!bytes.empty()) {
    std::string_view line = NextLine(bytes);
    if (line.empty()) continue;
    if (!ParseLine(line, parsed)) return kLinkInvalid;
  }
  link = std::move(parsed);
  return 0;
}

bool Storable(std::string_view value) {
  return value.size() <= kMaxShellLinkValue && value.find_first_of("\r\n") == std::string_view::npos;
}

}  // namespace

uint32_t LoadShellLink(std::string_view windowsPath, ShellLink& link) {
  if (IsDirectory(windowsPath)) return kLinkInvalid;
  const int64_t size = FileSize(windowsPath);
  if (size > kMaxLinkFileBytes) return kLinkInvalid;
  std::string bytes;
  if (int error = ReadWholeFile(windowsPath, bytes)) return FromWin32(error);
  if (static_cast<int64_t>(bytes.size()) > kMaxLinkFileBytes) return kLinkInvalid;
  return Parse(bytes, link);
}

uint32_t SaveShellLink(std::string_view windowsPath, const ShellLink& link) {
  std::string bytes = std::string(kHeader) + "\r\n";
  for (const Field& field : kFields) {
    const std::string& value = link.*field.member;
    if (!Storable(value)) return kLinkBadValue;
    bytes += std::string(field.key) + "=" + value + "\r\n";
  }
  return FromWin32(WriteFileAtomic(windowsPath, bytes));
}

std::string AllUsersProgramsFolder() {
  return "C:\\Documents and Settings\\All Users\\Start Menu\\Programs";
}

}  // namespace omb::platform
