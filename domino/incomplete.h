#pragma once
// The mark of a snapshot whose backup did not finish. A backup sets it in
// the snapshot's change-info directory before it takes the snapshot and
// clears it once the change information and hint files are saved, so a run
// that fails or dies in between leaves a snapshot that no restore may use:
// it is never numbered, listings show it as incomplete, a restore of it is
// refused, and the next backup deletes or renames it as incomplete.
#include <string>

#include "domino/server_info.h"

namespace omb {

// The snapshot of the server carries the incomplete mark.
bool IsSnapshotIncomplete(const PartitionInfo& server, const std::string& snapshotName);
// 0, or -1 when the mark could not be written (no Vaultinfo directory, a
// failing disk).
int MarkSnapshotIncomplete(const PartitionInfo& server, const std::string& snapshotName);
// 0 when the snapshot carries no mark afterwards, -1 otherwise.
int ClearIncompleteMark(const PartitionInfo& server, const std::string& snapshotName);

}  // namespace omb
