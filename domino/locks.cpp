#include "domino/locks.h"

#include <atomic>

#include "platform/eventlog.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace omb {

namespace {

constexpr const char* kRunLockName = "\\\\.\\PIPE\\omb";
constexpr const char* kCliLockName = "\\\\.\\PIPE\\ombcli";
constexpr const char* kEventSource = "ombsvc";

std::atomic<bool (*)()> gDominoRunningCheck{nullptr};

// Creating the lock is the atomic test-and-set; there is no waiting.
RunLock Acquire(const char* name, ProgressSink& sink, const char* refusal) {
  RunLock lock = platform::NamedLock::TryAcquire(name);
  if (lock == nullptr) Emit(sink, refusal);
  return lock;
}

bool IsDominoProgram(const std::string& baseName) {
  return platform::EqualsNoCase(baseName, "nserver") ||
         platform::EqualsNoCase(baseName, "nlnotes");
}

bool ScanProcesses() {
  std::vector<std::string> names;
  if (!platform::ListProcessNames(names)) return false;
  for (const std::string& name : names)
    if (IsDominoProgram(name)) return true;
  return false;
}

}  // namespace

RunLock AcquireRunLock(ProgressSink& sink) {
  return Acquire(kRunLockName, sink,
                 "ERROR: OMB backup or restore in progress (probably a scheduled event).\r\n");
}

RunLock AcquireCliLock(ProgressSink& sink) {
  return Acquire(kCliLockName, sink,
                 "ERROR: OMB CLI in progress (probably a scheduled event).\r\n");
}

bool IsDominoRunning() {
  bool (*check)() = gDominoRunningCheck.load();
  return check != nullptr ? check() : ScanProcesses();
}

void SetDominoRunningCheck(bool (*check)()) { gDominoRunningCheck = check; }

int ReportRunEvent(int type, int category, uint32_t eventId,
                   const std::vector<std::string>& strings) {
  platform::EventRecord record;
  // The event log stamps the entry with the current time.
  record.source = kEventSource;
  record.type = type;
  record.category = category;
  record.eventId = eventId;
  record.strings = strings;
  return platform::AppendEvent(record) ? 0 : -1;
}

}  // namespace omb
