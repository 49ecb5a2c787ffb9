#include "platform/clock.h"

#include <thread>

namespace omb::platform {

namespace {

class RealClock : public Clock {
 public:
  uint64_t NowFileTime() override { return platform::NowFileTime(); }
  void Sleep(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace omb::platform
