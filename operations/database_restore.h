#pragma once
// The request of a single-database restore as ombctl and the remote
// service pass it: plain values that the machine holding the server
// resolves (its partition, its numbered snapshot) before the run.
#include <cstdint>
#include <string>

#include "core/progress.h"
#include "core/services.h"
#include "restore/restore_database.h"

namespace omb::ops {

struct DatabaseRestoreRequest {
  int partition = 0;       // 1..8
  int snapshotNumber = 0;  // N of omb --snapshot=N: 1 the newest complete snapshot
  std::string database;    // full path, or relative to the data directory
  std::string target;      // empty: beside the original
  bool replace = false;
  restore::RecoveryPoint point = restore::RecoveryPoint::UpToTheMinute;
  uint64_t untilTime = 0;  // UTC FILETIME
};

// Finds the partition and its snapshot N on this machine and runs the
// restore (restore::RunDatabaseRestore) with its messages going to
// `output`: restore::kDatabaseRestoreDone, Refused or Failed.
int RestoreDatabaseHere(const RunServices& services, const DatabaseRestoreRequest& request,
                        ProgressSink& output);

}  // namespace omb::ops
