#pragma once
// The pin of a snapshot: a mark in the snapshot's change-info directory
// that excess deletion honours, so a snapshot kept for an audit or a hold
// outlives the rotation. The mark travels with the directory when the
// recent snapshot is renamed and goes with it when the snapshot is deleted.
#include <string>

#include "domino/server_info.h"

namespace omb {

// The snapshot of the server carries a pin.
bool IsSnapshotPinned(const PartitionInfo& server, const std::string& snapshotName);
// The change-info directory (as deletion walks the Vaultinfo tree) holds a pin.
bool IsChangeInfoDirectoryPinned(const std::string& directory);

enum class PinResult {
  Done,        // the snapshot carries the pin (it may have before)
  Incomplete,  // its backup did not finish: nothing to keep
  Failed,      // no Vaultinfo directory, or the mark could not be written
};
PinResult PinSnapshot(const PartitionInfo& server, const std::string& snapshotName);
// 0 when the snapshot carries no pin afterwards, -1 otherwise.
int UnpinSnapshot(const PartitionInfo& server, const std::string& snapshotName);

}  // namespace omb
