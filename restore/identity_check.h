#pragma once
// Databases that changed identity after the snapshot being restored. Their
// later changes are logged under a new instance identifier, so the copy in
// the snapshot cannot be rolled forward past the change: the restore names
// them before it touches the volume and counts them among the databases
// not brought to the requested point.
#include <string>
#include <vector>

#include "restore/restore.h"

namespace omb::restore {

struct IdentityChanges {
  std::vector<std::string> databases;  // paths, in the snapshot's order
};

// Compares the instance identifier recorded with the snapshot for each
// logged database against the one it has now (read from the volume, or from
// the latest later backup's record when the database cannot be read), and
// writes a "WARNING: " line for each that differs. A snapshot without a
// record yields none.
IdentityChanges WarnOfIdentityChanges(RestoreJob& job, const std::string& changeInfoDirectory);

// A restore that rolls forward cannot take these databases past the change:
// each becomes a shortfall. A point-in-time restore brings them to the
// snapshot's time like every other database, so it adds none.
void AddIdentityShortfalls(const RestoreJob& job, const IdentityChanges& changes, Shortfalls& shortfalls);

}  // namespace omb::restore
