#include "platform/reg_format.h"

#include <cstdint>
#include <cstdio>

#include "platform/paths.h"

namespace omb::platform::detail {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";
constexpr size_t kHexBytesPerLine = 25;

void AppendUtf8(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

void AppendUtf16Le(std::string& out, uint32_t codePoint) {
  auto unit = [&out](uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
  };
  if (codePoint < 0x10000) {
    unit(codePoint);
  } else {
    codePoint -= 0x10000;
    unit(0xD800 + (codePoint >> 10));
    unit(0xDC00 + (codePoint & 0x3FF));
  }
}

// Decodes one UTF-8 sequence at `i`; a byte that does not start a valid
// sequence stands for itself (as Latin-1), so narrow ANSI text survives.
uint32_t NextCodePoint(std::string_view text, size_t& i) {
  auto byte = [&text](size_t at) { return static_cast<unsigned char>(text[at]); };
  unsigned char lead = byte(i);
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  if (length <= 1 || i + length > text.size()) {
    ++i;
    return lead;
  }
  uint32_t codePoint = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return lead;
    }
    codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
  }
  i += length;
  return codePoint;
}

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
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unitAt = [&bytes](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
  };
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t unit = unitAt(i);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      uint32_t low = unitAt(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, (unit >= 0xD800 && unit < 0xE000) ? 0xFFFD : unit);
  }
  return out;
}

std::string Utf8ToUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size();) AppendUtf16Le(out, NextCodePoint(text, i));
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
