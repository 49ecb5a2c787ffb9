#pragma once
// Server and partition discovery: the registry layout, each server's
// notes.ini and identity through the Notes runtime, the virtual disks and
// the snapshot lists through the storage component.
#include "core/services.h"
#include "domino/server_info.h"

namespace omb {

// Builds the list of Domino servers of this machine through the run's
// Notes runtime and storage component: 0, the failing registry read's
// result (1), or the Notes status of a refused notes.ini.
int DiscoverServers(ServerList& list, const RunServices& services);

// Loads a server's snapshot list from its hint file and the volume of its
// data disk: oldest first, the recent snapshot last.
void LoadSnapshotList(PartitionInfo& server, storage::Component& component);

// The same list reconciled with the volume, which is the truth: names of the
// hint file that the volume no longer holds are dropped, snapshots of the
// server that the file does not name are entered again, each with a
// "WARNING: " line through server.progress, and the file is rewritten when
// it changed. Entries carry their incomplete mark. -1, with the message
// written, when the hint file cannot be read or made or the volume cannot
// be listed; the hint file is then left as it is.
int ReconcileSnapshotList(PartitionInfo& server, storage::Component& component);

}  // namespace omb
