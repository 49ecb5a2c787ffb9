#include <gtest/gtest.h>

#include "platform/text.h"

namespace omb::platform {
namespace {

TEST(TextTest, WellFormedTextRoundTripsInBothModes) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A, e-acute, euro, emoji
  const std::u16string wide = u"A\u00E9\u20AC\U0001F600";
  EXPECT_EQ(Utf8ToUtf16(text), wide);
  EXPECT_EQ(Utf8ToUtf16(text, InvalidUtf8::Latin1), wide);
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

// Latin-1 mode keeps every byte of malformed input as its own character:
// stray bytes, truncated sequences, and complete sequences that decode to
// something UTF-8 forbids (an overlong NUL would otherwise cut a value
// short; an encoded surrogate or a value above U+10FFFF would give broken
// UTF-16).
TEST(TextTest, Latin1ModeKeepsEveryMalformedByte) {
  EXPECT_EQ(Utf8ToUtf16("M\xFCller", InvalidUtf8::Latin1), u"M\u00FCller");
  EXPECT_EQ(Utf8ToUtf16("x\xE2\x82", InvalidUtf8::Latin1), u"x\u00E2\u0082");
  EXPECT_EQ(Utf8ToUtf16("\xC0\x80", InvalidUtf8::Latin1), u"\u00C0\u0080");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80", InvalidUtf8::Latin1), u"\u00ED\u00A0\u0080");
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80", InvalidUtf8::Latin1), u"\u00F4\u0090\u0080\u0080");
}

TEST(TextTest, ReplaceModeGivesOneReplacementPerMalformedSequence) {
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80z"), u"\uFFFDz");
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xE2(\x82"), u"\uFFFD(\uFFFD");
}

TEST(TextTest, UnpairedSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00)) + u"a"), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(Utf16ToUtf8(u"b" + std::u16string(1, char16_t(0xD83D))), "b\xEF\xBF\xBD");
}

}  // namespace
}  // namespace omb::platform
