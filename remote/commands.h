#pragma once
// The command codes of the remote service: the first byte of every
// exchange. A status byte of 1 means the command was accepted.
#include <cstdint>

namespace omb::remote {

enum Command : uint8_t {
  kListReportNames = 1,
  kReportLastWriteTime = 2,
  kReportText = 3,
  kDeleteReport = 4,
  kDeleteAllReports = 5,
  kListServers = 6,
  kBackupServer = 7,
  kRestore = 8,
  kBackupWizardDone = 9,
  kConfigurationDone = 10,
  kDominoRunning = 11,
  kReachable = 12,
  kCompatibilityFirst = 13,
  kCompatibilitySecond = 14,
  kCloseExchange = 15,
  // Beyond the console's table, for ombctl; a service that does not know
  // them refuses them with status 0.
  kListSnapshots = 100,
  kMachineStatus = 101,
  // The restore request of command 8 followed by the recovery time (a UTC
  // FILETIME, low then high 32 bits): the restore recovers to that time.
  kRestoreUntil = 102,
  kPinSnapshot = 104,
  kUnpinSnapshot = 105,
  // Log archiving between backups: partition and free-space percentage
  // out, the streamed progress, "done" and the run's result back.
  kArchiveLogs = 106,
  kRestoreDatabase = 103,
};

inline constexpr uint8_t kStatusAccepted = 1;
inline constexpr uint8_t kStatusRefused = 0;

// The strings that end the streamed replies of commands 6, 7 and 8.
inline constexpr const char* kStreamContinue = "cont";
inline constexpr const char* kStreamDone = "done";

// A short name for logs ("list servers"); "unknown" for other codes.
const char* CommandName(int code);

}  // namespace omb::remote
