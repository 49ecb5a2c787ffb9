#pragma once
// The time source of runs and stores. Engines and the report store read the
// current time only through a Clock that is passed to them, so tests can
// move time forward instead of sleeping.
#include <chrono>
#include <cstdint>

#include "platform/system.h"

namespace omb::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Now as a FILETIME (100 ns units since 1601-01-01 UTC).
  virtual uint64_t NowFileTime() = 0;
  // Waits for the duration; a fake clock advances its time instead.
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
  // Now in local time (TZ), as GetLocalTime gives it.
  SystemTime LocalNow() { return FileTimeToSystemTime(FileTimeToLocalFileTime(NowFileTime())); }
};

// The machine's real clock.
Clock& SystemClock();

}  // namespace omb::platform
