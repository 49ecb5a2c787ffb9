#pragma once
// The .reg export text format behind the registry file: parsing into keys
// and values, and writing back. Not for use outside platform/.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace omb::platform::detail {

// One line (with its continuation lines) of a key section.
struct RegEntry {
  enum class Kind { Value, Verbatim };
  Kind kind = Kind::Value;
  bool named = false;       // a value line, even when its type is not understood
  std::string name;         // "" is the default value, written "@"
  RegValue value;           // Kind::Value
  std::string verbatim;     // Kind::Verbatim: the original text, lines joined by "\r\n"
};

struct RegSection {
  std::string path;         // "HKEY_LOCAL_MACHINE\\SOFTWARE\\Lotus"
  std::vector<RegEntry> entries;
};

struct RegHive {
  std::vector<RegSection> sections;
};

// Accepts UTF-8 (with or without a BOM) and UTF-16LE with a BOM.
RegHive ParseRegFile(std::string_view bytes);
// UTF-8, CRLF line ends, the header of a "reg export" file.
std::string FormatRegFile(const RegHive& hive);

// Key path with single separators and no separator at either end.
std::string NormalizeKeyPath(std::string_view path);

std::string Utf16LeToUtf8(std::string_view bytes);
std::string Utf8ToUtf16Le(std::string_view text);

}  // namespace omb::platform::detail
