#include "platform/text.h"

namespace omb::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point starting at text[pos] and advances pos past what
// it consumed.
char32_t DecodeUtf8(std::string_view text, size_t& pos, InvalidUtf8 invalid) {
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  // A malformed sequence: the lead byte alone is consumed in either mode,
  // except that a complete but invalid sequence is replaced as a whole.
  const auto malformed = [&](size_t length) -> char32_t {
    if (invalid == InvalidUtf8::Latin1) {
      ++pos;
      return lead;
    }
    pos += length;
    return kReplacement;
  };
  const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || pos + length > text.size()) return malformed(1);
  if (length == 1) {
    ++pos;
    return lead;
  }
  char32_t code = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return malformed(1);
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (code < kMinimum[length] || code > 0x10FFFF || surrogate) return malformed(length);
  pos += length;
  return code;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text, InvalidUtf8 invalid) {
  std::u16string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t code = DecodeUtf8(text, pos, invalid);
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (high || low) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

int SplitText(const std::string& text, const std::string& separator, std::vector<std::string>& pieces) {
  if (separator.empty()) return 0;
  std::vector<size_t> found;
  for (size_t at = text.find(separator); at != std::string::npos;
       at = at + 2 <= text.size() ? text.find(separator, at + 2) : std::string::npos)
    found.push_back(at);
  if (found.empty()) return 0;
  size_t start = 0;
  for (size_t at : found) {
    if (at > start) pieces.push_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  if (start < text.size()) pieces.push_back(text.substr(start));
  return static_cast<int>(found.size());
}

int ReplaceAll(std::string& text, const std::string& find, const std::string& replacement) {
  if (find.empty()) return 0;
  int count = 0;
  for (size_t at = text.find(find); at != std::string::npos; at = text.find(find, at + replacement.size())) {
    text.replace(at, find.size(), replacement);
    ++count;
  }
  return count;
}

}  // namespace omb::platform
