#pragma once
// A progress observer that keeps every call, as the console's status dialog
// would receive them. Text may come from a capture's reader thread, so the
// text pieces are guarded.
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/observer.h"

namespace omb::test {

class RecordingObserver : public ProgressObserver {
 public:
  struct BarRange {
    int low, high, step;
  };

  void Text(std::string_view piece) override {
    std::lock_guard<std::mutex> lock(mutex_);
    pieces.emplace_back(piece);
  }
  void Range(int low, int high, int step) override { ranges.push_back({low, high, step}); }
  void Step() override { ++steps; }
  void Position(int position) override { positions.push_back(position); }
  void Busy(bool busy) override { busyChanges.push_back(busy); }
  void Finished(bool ok) override { finished.push_back(ok); }

  std::vector<std::string> pieces;
  std::vector<BarRange> ranges;
  int steps = 0;
  std::vector<int> positions;
  std::vector<bool> busyChanges;
  std::vector<bool> finished;

 private:
  std::mutex mutex_;
};

}  // namespace omb::test
