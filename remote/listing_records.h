#pragma once
// The replies of the listing commands (100 and up): the snapshot details
// and the machine status of ops/listings.h. Get* check every length and
// count against remote/limits.h, as the records of remote/records.h do.
#include <vector>

#include "operations/listings.h"
#include "remote/wire.h"

namespace omb::remote {

void PutSnapshotDetailsList(WireWriter& out, const std::vector<ops::SnapshotDetails>& list);
std::vector<ops::SnapshotDetails> GetSnapshotDetailsList(WireReader& in);

void PutMachineStatus(WireWriter& out, const ops::MachineStatus& status);
ops::MachineStatus GetMachineStatus(WireReader& in);

}  // namespace omb::remote
