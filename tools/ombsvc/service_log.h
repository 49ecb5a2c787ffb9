#pragma once
// The service's log: one line per exchange (peer, command, outcome) and
// per connection refused or dropped, each written whole to one descriptor
// (standard error), so lines of concurrent sessions never mix. Each line
// also goes to the system journal with its fields (OMB_PEER, OMB_COMMAND,
// OMB_COMMAND_NAME, OMB_OUTCOME); when the descriptor already is the
// journal's stream (a service under systemd) the line is sent only once,
// with its fields.
#include <string>
#include <string_view>

#include "platform/journal.h"
#include "platform/messagebox.h"

namespace omb::service {

class ServiceLog {
 public:
  explicit ServiceLog(int fd = 2) : fd_(fd) {}
  // "<UTC time> <text>\n"
  void Line(const std::string& text, int priority = platform::kJournalInfo);
  // "<UTC time> <peer> <code> <command name>: <outcome>\n"
  void Exchange(const std::string& peer, int command, const std::string& outcome);

 private:
  void Write(const std::string& text, int priority, platform::JournalEntry fields);

  int fd_;
};

// The service has no screen: a message box that a run would show (a report
// that cannot be saved, say) becomes one log line,
// "message: <caption>: <text>", its line breaks made blanks.
class LogMessageBox : public platform::MessageBoxPresenter {
 public:
  explicit LogMessageBox(ServiceLog& log) : log_(log) {}
  void Show(std::string_view text, std::string_view caption, platform::MessageIcon icon) override;

 private:
  ServiceLog& log_;
};

}  // namespace omb::service
