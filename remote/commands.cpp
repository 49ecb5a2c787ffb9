#include "remote/commands.h"

namespace omb::remote {

const char* CommandName(int code) {
  static const char* const names[] = {
      "unknown",           "list reports",  "report time",      "report text",
      "delete report",     "delete reports", "list servers",    "backup server",
      "restore",           "backup wizard done", "configuration done", "domino running",
      "reachability",      "compatibility 1", "compatibility 2", "close exchange",
  };
  if (code == kListSnapshots) return "list snapshots";
  if (code == kMachineStatus) return "machine status";
  if (code == kRestoreUntil) return "restore to a time";
  if (code == kPinSnapshot) return "pin snapshot";
  if (code == kUnpinSnapshot) return "unpin snapshot";
  if (code == kArchiveLogs) return "archive logs";
  if (code == kRestoreDatabase) return "restore database";
  if (code < 1 || code > 15) return names[0];
  return names[code];
}

}  // namespace omb::remote
