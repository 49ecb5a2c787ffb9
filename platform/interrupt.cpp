#include "platform/interrupt.h"

#include <csignal>
#include <initializer_list>

namespace omb::platform {

namespace {

volatile std::sig_atomic_t recordedSignal = 0;

// Async-signal-safe: one store of a sig_atomic_t, the first signal wins.
extern "C" void RecordSignal(int signal) {
  if (recordedSignal == 0) recordedSignal = signal;
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = RecordSignal;
  sigemptyset(&action.sa_mask);
  // Restarted system calls: a file operation in progress is not cut short.
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

int InterruptSignal() { return recordedSignal; }

const char* InterruptSignalName(int signal) {
  switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

void ResetInterrupt() { recordedSignal = 0; }

}  // namespace omb::platform
