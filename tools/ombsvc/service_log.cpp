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

void ServiceLog::Write(const std::string& text, int priority, platform::JournalEntry fields) {
  const std::string printable = Printable(text);
  if (!platform::IsJournalStream(fd_)) {
    const std::string line = UtcNow() + " " + printable + "\n";
    platform::WriteAll(fd_, line.data(), line.size());
  }
  platform::JournalEntry entry = platform::JournalMessage(printable, priority);
  entry.insert(entry.end(), fields.begin(), fields.end());
  platform::SendToJournal(entry);
}

void ServiceLog::Line(const std::string& text, int priority) { Write(text, priority, {}); }

void ServiceLog::Exchange(const std::string& peer, int command, const std::string& outcome) {
  const std::string name = remote::CommandName(command);
  Write(peer + " " + std::to_string(command) + " " + name + ": " + outcome, platform::kJournalInfo,
        {{"OMB_PEER", Printable(peer)},
         {"OMB_COMMAND", std::to_string(command)},
         {"OMB_COMMAND_NAME", name},
         {"OMB_OUTCOME", Printable(outcome)}});
}

void LogMessageBox::Show(std::string_view text, std::string_view caption, platform::MessageIcon icon) {
  std::string oneLine;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    oneLine += (text[i] == '\n' || text[i] == '\r') ? ' ' : text[i];
  }
  while (!oneLine.empty() && oneLine.back() == ' ') oneLine.pop_back();
  const int priority = icon == platform::MessageIcon::Error     ? platform::kJournalError
                       : icon == platform::MessageIcon::Warning ? platform::kJournalWarning
                                                                : platform::kJournalInfo;
  log_.Line("message: " + std::string(caption) + ": " + oneLine, priority);
}

}  // namespace omb::service
