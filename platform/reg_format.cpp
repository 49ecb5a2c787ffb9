#include "platform/reg_format.h"

#include <cstdint>
#include <cstdio>

#include "platform/paths.h"
#include "platform/text.h"

namespace omb::platform::detail {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";
constexpr size_t kHexBytesPerLine = 25;

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Reads a quoted text at the start of `text` (which begins with '"'),
// undoing the \\ and \" escapes. Returns the length consumed, 0 when the
// closing quote is missing.
size_t ReadQuoted(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '"') return i + 1;
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) ++i;
    out += text[i];
  }
  return 0;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool ParseHexBytes(std::string_view data, std::string& bytes) {
  bytes.clear();
  int digits = 0;
  unsigned value = 0;
  for (char c : data) {
    if (c == ',' || c == '\\' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (digits == 0) continue;
      if (c != ',') return false;
      bytes += static_cast<char>(value);
      digits = 0;
      value = 0;
      continue;
    }
    int nibble = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (nibble < 0 || ++digits > 2) return false;
    value = value * 16 + static_cast<unsigned>(nibble);
  }
  if (digits > 0) bytes += static_cast<char>(value);
  return true;
}

std::string FormatHexBytes(std::string_view prefix, std::string_view bytes) {
  std::string out(prefix);
  char hex[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[i]));
    out += hex;
    if (i + 1 == bytes.size()) break;
    out += ',';
    if ((i + 1) % kHexBytesPerLine == 0) out += "\\\r\n  ";
  }
  return out;
}

// Text of a REG_SZ or REG_EXPAND_SZ stored as UTF-16LE bytes, up to the
// first terminating zero.
std::string TextFromUtf16Bytes(std::string_view bytes) {
  std::string text = Utf16LeToUtf8(bytes);
  size_t zero = text.find('\0');
  return zero == std::string::npos ? text : text.substr(0, zero);
}

bool ParseDword(std::string_view digits, uint32_t& number) {
  digits = TrimRight(digits);
  if (digits.empty() || digits.size() > 8) return false;
  number = 0;
  for (char c : digits) {
    int nibble = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (nibble < 0) return false;
    number = number * 16 + static_cast<uint32_t>(nibble);
  }
  return true;
}

// Understands the data part of a value line; false for types kept verbatim.
bool ParseData(std::string_view data, RegValue& value) {
  if (!data.empty() && data.front() == '"') {
    std::string text;
    size_t used = ReadQuoted(data, text);
    if (used == 0 || !TrimLeft(data.substr(used)).empty()) return false;
    value = {RegType::String, text, 0};
    return true;
  }
  if (StartsWithNoCase(data, "dword:")) {
    uint32_t number = 0;
    if (!ParseDword(data.substr(6), number)) return false;
    value = {RegType::Dword, "", number};
    return true;
  }
  std::string bytes;
  for (auto [prefix, type] : {std::pair{std::string_view("hex(2):"), RegType::ExpandString},
                              std::pair{std::string_view("hex(1):"), RegType::String}}) {
    if (StartsWithNoCase(data, prefix)) {
      if (!ParseHexBytes(data.substr(prefix.size()), bytes) || bytes.size() % 2 != 0) return false;
      value = {type, TextFromUtf16Bytes(bytes), 0};
      return true;
    }
  }
  return false;
}

// A value line: "Name"=data or @=data. Lines that are not one are kept
// verbatim; a deletion ("Name"=-) yields nothing.
std::optional<RegEntry> ParseValueLine(std::string_view logical, std::string_view original) {
  RegEntry entry;
  entry.kind = RegEntry::Kind::Verbatim;
  entry.verbatim = std::string(original);
  size_t used = 0;
  if (!logical.empty() && logical.front() == '@') {
    used = 1;
  } else if (!logical.empty() && logical.front() == '"') {
    used = ReadQuoted(logical, entry.name);
    if (used == 0) return entry;
  } else {
    return entry;
  }
  std::string_view rest = TrimLeft(logical.substr(used));
  if (rest.empty() || rest.front() != '=') return entry;
  std::string_view data = TrimLeft(rest.substr(1));
  if (TrimRight(data) == "-") return std::nullopt;
  entry.named = true;
  if (ParseData(data, entry.value)) entry.kind = RegEntry::Kind::Value;
  return entry;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string DecodeFileText(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    return Utf16LeToUtf8(bytes.substr(2));
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
  return std::string(bytes);
}

std::string FormatEntry(const RegEntry& entry) {
  if (entry.kind == RegEntry::Kind::Verbatim) return entry.verbatim;
  std::string line = entry.name.empty() ? "@=" : Quote(entry.name) + "=";
  const RegValue& value = entry.value;
  if (value.type == RegType::Dword) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(value.number));
    return line + digits;
  }
  std::string utf16 = Utf8ToUtf16Le(value.text);
  utf16.append(2, '\0');
  if (value.type == RegType::ExpandString) return FormatHexBytes(line + "hex(2):", utf16);
  // Line breaks and zeros cannot stand inside a quoted .reg text.
  if (value.text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
    return FormatHexBytes(line + "hex(1):", utf16);
  }
  return line + Quote(value.text);
}

}  // namespace

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return Utf16ToUtf8(units);
}

// Text read from a file without a BOM may be ANSI rather than UTF-8; bytes
// that are not well-formed UTF-8 are kept as Latin-1 characters, not lost.
std::string Utf8ToUtf16Le(std::string_view text) {
  const std::u16string units = Utf8ToUtf16(text, InvalidUtf8::Latin1);
  std::string out;
  out.reserve(units.size() * 2);
  for (char16_t unit : units) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>((unit >> 8) & 0xFF);
  }
  return out;
}

std::string NormalizeKeyPath(std::string_view path) {
  std::string out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view piece = path.substr(start, end - start);
    if (!piece.empty()) {
      if (!out.empty()) out += '\\';
      out += piece;
    }
    start = end + 1;
  }
  return out;
}

RegHive ParseRegFile(std::string_view bytes) {
  std::string text = DecodeFileText(bytes);
  std::vector<std::string_view> lines = SplitLines(text);
  RegHive hive;
  RegSection* section = nullptr;
  bool skipping = false;  // inside a "[-key]" deletion section
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = TrimRight(lines[i]);
    std::string_view trimmed = TrimLeft(line);
    if (trimmed.empty() || trimmed == kHeader || trimmed == kOldHeader) continue;
    if (trimmed.front() == '[' && trimmed.back() == ']') {
      std::string_view inner = trimmed.substr(1, trimmed.size() - 2);
      skipping = !inner.empty() && inner.front() == '-';
      section = nullptr;
      if (!skipping) section = &hive.sections.emplace_back(RegSection{NormalizeKeyPath(inner), {}});
      continue;
    }
    // Long hex data continues on following lines after a trailing backslash.
    std::string logical(line);
    std::string original(lines[i]);
    while (!logical.empty() && logical.back() == '\\' && logical.find("=hex") != std::string::npos &&
           i + 1 < lines.size()) {
      ++i;
      logical.pop_back();
      logical += TrimLeft(TrimRight(lines[i]));
      original += "\r\n";
      original += lines[i];
    }
    if (section == nullptr) continue;
    std::optional<RegEntry> entry = ParseValueLine(logical, original);
    if (entry) section->entries.push_back(std::move(*entry));
  }
  return hive;
}

std::string FormatRegFile(const RegHive& hive) {
  std::string out(kHeader);
  out += "\r\n\r\n";
  for (const RegSection& section : hive.sections) {
    out += "[" + section.path + "]\r\n";
    for (const RegEntry& entry : section.entries) out += FormatEntry(entry) + "\r\n";
    out += "\r\n";
  }
  return out;
}

}  // namespace omb::platform::detail
