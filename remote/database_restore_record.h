#pragma once
// The request of command 103, the single-database restore: partition,
// snapshot number, database, target, replace flag, recovery point and the
// time to recover to. The reply is the run's progress stream, "done", and
// the run's result as an int32 (restore::kDatabaseRestoreDone, Refused or
// Failed).
#include "operations/database_restore.h"
#include "remote/wire.h"

namespace omb::remote {

void PutDatabaseRestoreRequest(WireWriter& out, const ops::DatabaseRestoreRequest& request);
// Checks every field (lengths before allocation, the partition, the point);
// a violation throws SocketFailure "recv failed".
ops::DatabaseRestoreRequest GetDatabaseRestoreRequest(WireReader& in);

}  // namespace omb::remote
