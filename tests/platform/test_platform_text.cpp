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


TEST(TextHelpers, SplitTextCountsSeparatorsAndDropsEmptyPieces) {
  std::vector<std::string> pieces;
  EXPECT_EQ(SplitText("4-7-2003", "-", pieces), 2);
  EXPECT_EQ(pieces, (std::vector<std::string>{"4", "7", "2003"}));

  pieces.clear();
  EXPECT_EQ(SplitText("no separator", ",", pieces), 0);
  EXPECT_TRUE(pieces.empty());

  pieces.clear();
  EXPECT_EQ(SplitText(",a,b,", ",", pieces), 3);
  EXPECT_EQ(pieces, (std::vector<std::string>{"a", "b"}));

  // The search resumes two characters after a separator, so one right
  // behind it is not seen.
  pieces.clear();
  EXPECT_EQ(SplitText("a::b:c", ":", pieces), 2);
  EXPECT_EQ(pieces, (std::vector<std::string>{"a", ":b", "c"}));
  pieces.clear();
  EXPECT_EQ(SplitText("x,", ",", pieces), 1);
  EXPECT_EQ(pieces, (std::vector<std::string>{"x"}));
  EXPECT_EQ(SplitText("abc", "", pieces), 0);
}

TEST(TextHelpers, ReplaceAllLeftToRight) {
  std::string text = "a\\\\b\\\\c";
  EXPECT_EQ(ReplaceAll(text, "\\\\", "\\"), 2);
  EXPECT_EQ(text, "a\\b\\c");
  text = "aaa";
  EXPECT_EQ(ReplaceAll(text, "a", "aa"), 3);  // the replacement is not searched again
  EXPECT_EQ(text, "aaaaaa");
  EXPECT_EQ(ReplaceAll(text, "", "x"), 0);
  EXPECT_EQ(ReplaceAll(text, "b", "x"), 0);
}

}  // namespace
}  // namespace omb::platform
