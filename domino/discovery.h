#pragma once
#include "domino/server_info.h"

namespace omb {

// Builds the list of Domino servers of this machine: 0, the failing
// registry read's result (1), or the Notes status of a refused notes.ini.
int DiscoverServers(ServerList& list);

// Loads a server's snapshot list from its hint file and the volume of its
// data disk: oldest first, the recent snapshot last.
void LoadSnapshotList(PartitionInfo& server);

}  // namespace omb
