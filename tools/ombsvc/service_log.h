#pragma once
// The service's log: one line per exchange (peer, command, outcome) and
// per connection refused or dropped, each written whole to one descriptor
// (standard error), so lines of concurrent sessions never mix.
#include <string>

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

}  // namespace omb::service
