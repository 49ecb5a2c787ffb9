#pragma once
// Shows a run's progress text on an output stream as it comes, for the
// subcommands that run an engine.
#include <ostream>
#include <string_view>

#include "core/observer.h"

namespace omb::ctl {

class StreamObserver : public ProgressObserver {
 public:
  // plainLineEnds: "\r\n" of the run's text becomes "\n".
  explicit StreamObserver(std::ostream& out, bool plainLineEnds = false) : out_(out), plain_(plainLineEnds) {}
  void Text(std::string_view piece) override {
    for (char c : piece) {
      if (!plain_ || c != '\r') out_ << c;
    }
    out_.flush();
  }
  void Range(int, int, int) override {}
  void Step() override {}
  void Position(int) override {}
  void Busy(bool) override {}
  void Finished(bool) override {}

 private:
  std::ostream& out_;
  bool plain_;
};

}  // namespace omb::ctl
