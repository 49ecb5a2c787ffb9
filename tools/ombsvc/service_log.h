#pragma once
// The service's log: one line per exchange (peer, command, outcome) and
// per connection refused or dropped, each written whole to one descriptor
// (standard error), so lines of concurrent sessions never mix.
#include <string>
#include <string_view>

#include "platform/messagebox.h"

namespace omb::service {

class ServiceLog {
 public:
  explicit ServiceLog(int fd = 2) : fd_(fd) {}
  // "<UTC time> <text>\n"
  void Line(const std::string& text);
  // "<UTC time> <peer> <code> <command name>: <outcome>\n"
  void Exchange(const std::string& peer, int command, const std::string& outcome);

 private:
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
