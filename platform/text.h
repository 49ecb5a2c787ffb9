#pragma once
// UTF-8 <-> UTF-16 conversion shared by the registry file format and the
// storage component boundary, and the small text helpers of the engines.
#include <string>
#include <string_view>
#include <vector>

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

// Appends the non-empty pieces between separators to `pieces` and returns
// how many separators were found (0 when there is none or `separator` is
// empty). The search resumes two characters after each separator found.
int SplitText(const std::string& text, const std::string& separator, std::vector<std::string>& pieces);
// Replaces every occurrence from left to right, never searching a
// replacement again; returns the number of replacements.
int ReplaceAll(std::string& text, const std::string& find, const std::string& replacement);

}  // namespace omb::platform
