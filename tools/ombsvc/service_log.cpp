#include "tools/ombsvc/service_log.h"

#include <chrono>
#include <ctime>

#include "platform/posix_io.h"
#include "remote/commands.h"

namespace omb::service {

namespace {

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
  return text;
}

// Control characters of a peer's text never reach the log as such.
std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
  return out;
}

}  // namespace

void ServiceLog::Line(const std::string& text) {
  const std::string line = UtcNow() + " " + Printable(text) + "\n";
  platform::WriteAll(fd_, line.data(), line.size());
}

void ServiceLog::Exchange(const std::string& peer, int command, const std::string& outcome) {
  Line(peer + " " + std::to_string(command) + " " + remote::CommandName(command) + ": " + outcome);
}

void LogMessageBox::Show(std::string_view text, std::string_view caption, platform::MessageIcon) {
  std::string oneLine;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    oneLine += (text[i] == '\n' || text[i] == '\r') ? ' ' : text[i];
  }
  while (!oneLine.empty() && oneLine.back() == ' ') oneLine.pop_back();
  log_.Line("message: " + std::string(caption) + ": " + oneLine);
}

}  // namespace omb::service
