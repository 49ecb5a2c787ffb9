#pragma once
// UTF-8 <-> UTF-16 conversion shared by the registry file format and the
// storage component boundary.
#include <string>
#include <string_view>

namespace omb::platform {

// What a byte sequence that is not well-formed UTF-8 becomes. Overlong
// forms, encoded surrogates and values beyond U+10FFFF count as malformed.
enum class InvalidUtf8 {
  Replace,  // one U+FFFD per malformed sequence
  Latin1,   // each offending byte stands for itself, so narrow ANSI text survives
};

std::u16string Utf8ToUtf16(std::string_view text, InvalidUtf8 invalid = InvalidUtf8::Replace);

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace omb::platform
