#pragma once
// A request from outside (SIGTERM, SIGINT, SIGHUP) to stop the run. The
// handler only records the signal; the runs look at it between their steps
// and end in their usual way: backup mode ended, locks released, report
// saved. Nothing but the recording happens inside the handler.
namespace omb::platform {

// Installs the recording handler for SIGTERM, SIGINT and SIGHUP.
void InstallInterruptHandlers();
// The first signal received since the start (or the last reset), 0 if none.
int InterruptSignal();
// "SIGTERM", "SIGINT", "SIGHUP" or "signal <n>".
const char* InterruptSignalName(int signal);
// Forgets a recorded signal (tests, and a program that runs several runs).
void ResetInterrupt();

}  // namespace omb::platform
