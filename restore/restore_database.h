#pragma once
// The restore of one database out of a snapshot while its server keeps
// running: the database file is copied out of the snapshot beside the
// original (or to a path of the caller's), the change information of that
// snapshot is applied to the copy, and the copy is rolled forward up to
// the minute, left at the snapshot's time, or rolled forward to a chosen
// time. The recovery reads a private copy of the server's transaction log,
// so neither the live log nor the live database is touched; the restored
// copy gets an instance id of its own. With `replace` the copy then takes
// the place of the original in one rename, but only while no server holds
// the original open.
#include <cstdint>
#include <string>

#include "backup/databases.h"
#include "component/snapshot_entry.h"
#include "core/observer.h"
#include "core/progress.h"
#include "core/services.h"
#include "domino/server_info.h"
#include "restore/restore.h"

namespace omb::restore {

enum class RecoveryPoint : uint8_t {
  UpToTheMinute = 0,  // every log record there is
  SnapshotTime = 1,   // no roll-forward: the database as the snapshot holds it
  UntilTime = 2,      // log records up to a chosen time
};

struct DatabaseRestoreJob {
  DatabaseRestoreJob() = default;
  explicit DatabaseRestoreJob(const RunServices& runServices) : services(runServices) {}

  ProgressSink progress;             // every message of the run goes here
  ProgressObserver* owner = nullptr;
  PartitionInfo server;              // the server whose data disk holds the database
  SnapshotEntry snapshot;            // the snapshot to take it from
  // The database: a full path on the server's data disk, or a path relative
  // to its data directory ("mail\user1.nsf").
  std::string database;
  // Where the restored database goes; it must not exist. Empty: beside the
  // original, named "<name>_restored<ext>" (or _restored2, ...).
  std::string target;
  bool replace = false;              // take the original's place instead
  RecoveryPoint point = RecoveryPoint::UpToTheMinute;
  uint64_t untilTime = 0;            // UTC FILETIME, for RecoveryPoint::UntilTime
  RunServices services = DefaultRunServices();

  std::string restoredPath;          // set by the run: where the database now is
};

// What a database restore ended with.
constexpr int kDatabaseRestoreDone = 0;
constexpr int kDatabaseRestoreRefused = 1;  // nothing was touched
constexpr int kDatabaseRestoreFailed = 2;   // nothing is left of the attempt

// Takes the run lock, starts the Notes runtime, restores and recovers, and
// saves the "Restore" report. A refusal or failure says why in "ERROR: "
// lines; a failed run leaves no restored copy behind and never changes
// the original.
int RunDatabaseRestore(DatabaseRestoreJob& job);

// The default target of a database: "<folder>\<name>_restored<ext>", or
// with a number after "restored" when that exists (up to 99); "" when all
// are taken.
std::string DefaultRestoredPath(const std::string& original);

// Replays the change information that the snapshot holds for `database`
// (its path as the snapshot holds it) into the copy at `restoredPath`.
// 0 or -1, as ApplyChangeInfo.
int ApplyChangeInfoToCopy(RestoreJob& job, backup::DatabaseRecord& database,
                          const std::string& changeInfoDirectory, const std::string& restoredPath,
                          Shortfalls* shortfalls);

}  // namespace omb::restore
