// UTF-8 <-> UTF-16 conversion at the component boundary. Malformed input
// becomes U+FFFD so that a bad name never truncates or crashes a caller.
#include "platform/text.h"
#include "storage/storage.h"

namespace omb::storage {

std::u16string ToUtf16(const std::string& text) {
  return platform::Utf8ToUtf16(text, platform::InvalidUtf8::Replace);
}

std::string FromUtf16(const std::u16string& text) { return platform::Utf16ToUtf8(text); }

}  // namespace omb::storage
