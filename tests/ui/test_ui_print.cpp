// The printing routine: the "Printed" line, one line per "\r\n" piece at one
// line height apart from the left edge, and page breaks for long texts.
#include <QPrinter>
#include <cstdio>
#include <regex>

#include "tests/ui/ui_fixture.h"
#include "ui/print_text.h"

namespace omb {
namespace {

struct Word {
  std::string text;
  double x;
  double y;
};

// The words of a PDF with their top-left corners (pdftotext -bbox).
std::vector<Word> Words(const std::string& pdf) {
  std::string command = "pdftotext -bbox '" + pdf + "' - 2>/dev/null";
  std::string html;
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) html.append(buffer, n);
  ::pclose(pipe);
  std::vector<Word> words;
  std::regex word(R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)"[^>]*>([^<]*)</word>)re");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator();
       ++it) {
    words.push_back({(*it)[3].str(), std::stod((*it)[1].str()), std::stod((*it)[2].str())});
  }
  return words;
}

const Word* FindWord(const std::vector<Word>& words, const std::string& text) {
  for (const Word& word : words) {
    if (word.text == text) return &word;
  }
  return nullptr;
}

class PrintTest : public test::UiTest {
 protected:
  platform::SystemTime Time(int year, int month, int day, int dayOfWeek) {
    platform::SystemTime time;
    time.year = year;
    time.month = month;
    time.day = day;
    time.dayOfWeek = dayOfWeek;
    time.hour = 13;
    time.minute = 5;
    time.second = 9;
    return time;
  }
  std::string PrintOne(const std::string& text) {
    EXPECT_TRUE(ui::PrintText(services_, nullptr, text));
    return printers_.printed.back();
  }
};

TEST_F(PrintTest, PrintedLineHasTheTwentyFourCharacterTime) {
  EXPECT_EQ(ui::PrintedLine(Time(2003, 4, 7, 1)), "Printed Mon Apr  7 13:05:09 2003");
  EXPECT_EQ(ui::PrintedLine(Time(2026, 12, 24, 4)), "Printed Thu Dec 24 13:05:09 2026");
  EXPECT_EQ(ui::PrintedLine(Time(2003, 4, 7, 1)).size(), std::string("Printed ").size() + 24);
}

TEST_F(PrintTest, ThreeLinesFollowThePrintedLineOneLineHeightApartAtTheLeftEdge) {
  std::string pdf = PrintOne("alpha\r\nbeta\r\ngamma");
  std::vector<Word> words = Words(pdf);
  const Word* printed = FindWord(words, "Printed");
  const Word* alpha = FindWord(words, "alpha");
  const Word* beta = FindWord(words, "beta");
  const Word* gamma = FindWord(words, "gamma");
  ASSERT_TRUE(printed && alpha && beta && gamma) << PdfText(pdf);
  EXPECT_NE(PdfText(pdf).find("Printed Mon Apr 7 13:05:09 2003"), std::string::npos);
  double step = alpha->y - printed->y;
  EXPECT_GT(step, 0);
  EXPECT_NEAR(beta->y - alpha->y, step, 0.5);
  EXPECT_NEAR(gamma->y - beta->y, step, 0.5);
  EXPECT_NEAR(alpha->x, printed->x, 0.5);
  EXPECT_NEAR(gamma->x, printed->x, 0.5);
  EXPECT_EQ(PdfPages(pdf), 1);
}

TEST_F(PrintTest, TextWithoutLineEndsPrintsAsOneLine) {
  std::string pdf = PrintOne("one single line");
  std::vector<Word> words = Words(pdf);
  const Word* printed = FindWord(words, "Printed");
  const Word* one = FindWord(words, "one");
  const Word* line = FindWord(words, "line");
  ASSERT_TRUE(printed && one && line);
  EXPECT_GT(one->y, printed->y);
  EXPECT_NEAR(line->y, one->y, 0.5);
}

TEST_F(PrintTest, LongTextGoesOnToFurtherPagesAndKeepsEveryLine) {
  std::string text;
  for (int i = 1; i <= 300; ++i) text += "line-" + std::to_string(i) + "\r\n";
  std::string pdf = PrintOne(text);
  EXPECT_GT(PdfPages(pdf), 2);
  std::string printed = PdfText(pdf);
  for (int i = 1; i <= 300; ++i) {
    EXPECT_NE(printed.find("line-" + std::to_string(i) + "\n"), std::string::npos) << i;
  }
  // Only the text goes on: the "Printed" line is not repeated.
  EXPECT_EQ(printed.find("Printed", printed.find("Printed") + 1), std::string::npos);
}

TEST_F(PrintTest, CancelledPrinterDialogPrintsNothing) {
  printers_.cancel = true;
  EXPECT_FALSE(ui::PrintText(services_, nullptr, "text"));
  EXPECT_TRUE(printers_.printed.empty());
}

}  // namespace
}  // namespace omb
