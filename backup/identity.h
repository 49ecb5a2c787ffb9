#pragma once
// Identity changes seen by a backup: each backup records the instance
// identifier of every logged database beside its change information and
// warns of each database whose identifier changed since the previous backup,
// because snapshots older than the change cannot roll that database forward
// past it.
#include <string>
#include <vector>

#include "backup/databases.h"
#include "domino/server_info.h"

namespace omb::backup {

// Writes instance_ids into the change-info directory and a "WARNING: " line
// per database whose identifier differs from the previous backup's record.
// Never fails the backup: a file that cannot be written is a warning too.
void RecordInstanceIds(PartitionInfo& server, const std::vector<DatabaseRecord>& list,
                       const std::string& changeInfoDirectory);

}  // namespace omb::backup
