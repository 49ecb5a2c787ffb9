#pragma once
// Deletion of a server's snapshots beyond a keep count, keeping the
// archived logs that newer snapshots of the same server still need.
#include <cstdint>
#include <string>
#include <vector>

#include "core/services.h"
#include "domino/server_info.h"

namespace omb::snapshot {

// The most snapshots a deletion keeps: one place of the volume's 31 stays
// free for the next backup.
constexpr int kMaxKeptSnapshots = 30;

// A snapshot directory of the server's Vaultinfo tree that holds a log_hint.
struct SnapshotDirectory {
  std::string hintPath;   // ...\<snapshot name>\log_hint
  std::string directory;  // ...\<snapshot name>\  (with the trailing backslash)
  uint32_t firstLog = 0;  // line 1 of log_hint
  std::string series;     // line 2 of log_hint
  bool pinned = false;    // excess deletion keeps it (domino/pins.h)
};

// 0 or -1; deleted counts every snapshot whose deletion was requested and
// done. Pinned snapshots are never deleted and take none of the keepCount
// places; each one kept is named. The deletion report is saved with the
// run's services.
int DeleteExcessSnapshots(const RunServices& services, PartitionInfo& server, char driveLetter, int keepCount,
                          int& deleted);

// Moves each archived log of a snapshot directory that a newer snapshot of
// the list needs into that snapshot's logs folder; a log that no newer one
// needs but an older pinned one does goes into the pinned one's folder.
// Always 0.
int SaveSnapshotLogs(ProgressSink& output, const std::vector<SnapshotDirectory>& directories,
                     const std::string& changeInfoDirectory);

}  // namespace omb::snapshot
