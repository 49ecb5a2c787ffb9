#pragma once
// What ombctl's listings and its health check show about a machine beyond
// the server list: each snapshot with the logs a roll-forward from it
// needs, and the state of each server (databases in backup mode, extents
// waiting to be archived, free space). Operations::ListSnapshots and
// Operations::MachineStatus fill these, locally or through the service.
#include <cstdint>
#include <string>
#include <vector>

#include "core/services.h"
#include "domino/server_info.h"

namespace omb::ops {

// At most this many missing log extents are named per snapshot, and as
// many databases in backup mode per server; the counts are always whole.
inline constexpr size_t kMaxListedItems = 64;

struct SnapshotDetails {
  int partition = 0;
  std::string server;         // "Mail1/Sales/Acme"
  std::string name;           // as the hint list names it
  // N of omb --snapshot=N: 1 the newest complete snapshot of the server,
  // counting back over complete ones; 0 for an incomplete one, which no
  // number restores.
  int number = 0;
  uint64_t creationTime = 0;  // UTC FILETIME
  bool complete = false;      // the backup that took it finished (no incomplete mark)
  bool pinned = false;        // excess deletion keeps it
  // The log_hint of the snapshot could be read: the extents from firstLog
  // up to, not including, the live extent lastLog roll it forward.
  bool logHint = false;
  uint32_t firstLog = 0;
  uint32_t lastLog = 0;
  std::string logSeries;      // of the snapshot, "%08x"
  bool seriesCurrent = false; // the server still writes that series
  uint32_t missingCount = 0;  // needed extents found nowhere
  std::vector<uint32_t> missingLogs;  // the first kMaxListedItems of them
  // Every needed extent is in the active log folder or archived in the
  // series: an up-to-the-minute restore can find its logs.
  bool logsPresent = false;
  // When its logs are all there: the times a restore can recover it to
  // (restore::ValidRecoveryRange), UTC FILETIMEs; both 0 otherwise.
  uint64_t recoverFrom = 0;
  uint64_t recoverTo = 0;
};

struct ServerStatus {
  int partition = 0;
  std::string server;
  std::string logStyle;
  int snapshots = 0;
  int incompleteSnapshots = 0;
  std::string newestComplete;      // name; empty when there is none
  uint64_t newestCompleteTime = 0; // UTC FILETIME; 0 when there is none
  // Databases of the data folder that are in backup mode; -1 when the
  // Notes runtime refused the server.
  int databasesInBackup = 0;
  std::vector<std::string> backupModeDatabases;  // their paths, bounded as names are
  int extentsWaiting = -1;         // ready to archive; -1 without archive logging
  char logDrive = 0;
  int64_t logFreeMegabytes = -1;   // -1 when unknown
  int64_t logSizeMegabytes = -1;   // of the log drive; -1 when unknown
  // UTC FILETIME of the last write of the oldest extent waiting to be
  // archived (when it filled up); 0 when none waits or it is unknown.
  uint64_t oldestWaitingTime = 0;
};

struct MachineStatus {
  std::string machineName;
  uint64_t now = 0;                // the machine's clock, UTC FILETIME
  int discoveryResult = 0;         // 0, or discovery's failure code
  char vaultinfoDrive = 0;         // 0 when no Vaultinfo root is set
  int64_t vaultinfoFreeMegabytes = -1;
  std::vector<ServerStatus> servers;
};

// The numbers of omb --snapshot=N for a server's list (oldest first), as
// the command line counts them: complete snapshots only, the newest 1.
std::vector<int> SnapshotNumbers(const std::vector<SnapshotEntry>& snapshots);

// The local computations behind LocalOperations.
int ListSnapshotDetails(const RunServices& services, std::vector<SnapshotDetails>& list);
int CollectMachineStatus(const RunServices& services, MachineStatus& status);

}  // namespace omb::ops
