#include "ui/print_text.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <cstdio>

namespace omb::ui {

namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* Name(const char* const* names, int index, int count) {
  return index >= 0 && index < count ? names[index] : "???";
}

// The pieces between "\r\n" separators; a text without one is one piece.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

QFont PrintFont(QPrinter& printer) {
  QFont font(QStringLiteral("Courier"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setWeight(QFont::Normal);
  // 10 points at the printer's own resolution.
  font.setPixelSize(10 * printer.resolution() / 72);
  return font;
}

}  // namespace

std::string PrintedLine(const platform::SystemTime& t) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%s %s %2d %02d:%02d:%02d %4d", Name(kDays, t.dayOfWeek, 7),
                Name(kMonths, t.month - 1, 12), t.day, t.hour, t.minute, t.second, t.year);
  return std::string("Printed ") + stamp;
}

bool PrintOnPrinter(QPrinter& printer, const std::string& text,
                    const platform::SystemTime& localTime) {
  printer.setDocName(QStringLiteral("printer_test"));
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  QFont font = PrintFont(printer);
  painter.setFont(font);
  QFontMetrics metrics(font, &printer);
  const int lineHeight = metrics.height() + metrics.leading();
  const int pageHeight = painter.viewport().height();
  std::vector<std::string> lines = SplitLines(text);
  lines.insert(lines.begin(), PrintedLine(localTime));
  int y = 0;
  for (const std::string& line : lines) {
    if (y > 0 && y + lineHeight > pageHeight) {
      printer.newPage();
      y = 0;
    }
    painter.drawText(0, y + metrics.ascent(), QString::fromUtf8(line.data(),
                                                                static_cast<qsizetype>(line.size())));
    y += lineHeight;
  }
  return painter.end();
}

bool PrintText(ConsoleServices& services, QWidget* owner, const std::string& text) {
  std::unique_ptr<QPrinter> printer = services.printers.Choose(owner);
  if (printer == nullptr) return false;
  return PrintOnPrinter(*printer, text, services.clock.LocalNow());
}

}  // namespace omb::ui
