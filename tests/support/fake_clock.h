#pragma once
// A clock for tests: it stands still until told to move, and Sleep moves
// it instead of waiting, so runs that compare or name things by time need
// no real pause.
#include <chrono>
#include <cstdint>

#include "platform/clock.h"

namespace omb::test {

class FakeClock : public platform::Clock {
 public:
  // 2003-05-06 07:08:09 UTC unless told otherwise.
  explicit FakeClock(uint64_t start = platform::SystemTimeToFileTime({2003, 5, 0, 6, 7, 8, 9, 0}))
      : now_(start) {}

  uint64_t NowFileTime() override { return now_; }
  void Sleep(std::chrono::milliseconds duration) override { Advance(duration); }

  void Advance(std::chrono::milliseconds duration) { now_ += static_cast<uint64_t>(duration.count()) * 10000; }
  void Set(uint64_t fileTime) { now_ = fileTime; }

 private:
  uint64_t now_;
};

}  // namespace omb::test
