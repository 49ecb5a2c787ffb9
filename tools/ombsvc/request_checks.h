#pragma once
// What a backup or restore request must meet before the service runs it:
// the server it names is one of the service's own discovery, the snapshot
// one of that server's, the keep count one the command line accepts. The
// run then works on the service's own records, never on paths from the
// wire.
#include <string>

#include "domino/server_info.h"

namespace omb::service {

// The service's own server that `requested` names: every travelling field
// but the snapshots and the selected flag must be equal. nullptr if none.
const PartitionInfo* MatchOwnServer(const ServerList& own, const PartitionInfo& requested);

// The server's own snapshot of that name, or nullptr.
const SnapshotEntry* MatchOwnSnapshot(const PartitionInfo& own, const SnapshotEntry& requested);

// A keep count the command line would accept (1 to 31) when excess
// snapshots are to be deleted.
bool AcceptableKeepCount(bool deleteExcess, int keepCount);

}  // namespace omb::service
