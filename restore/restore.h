#pragma once
// The restore engine: the restore request, the run wrapper, the driver that
// reverts a server's data disk to a snapshot and applies the change
// information saved at backup time, and the point-in-time or up-to-the-
// minute recovery that follows it.
//
// Engines never throw: every step returns a code and says why in "ERROR: "
// lines written through the request's progress channel.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/databases.h"
#include "component/snapshot_entry.h"
#include "core/observer.h"
#include "core/progress.h"
#include "core/services.h"
#include "domino/server_info.h"
#include "notes/notes.h"

namespace omb::restore {

// The request of one restore run. The command line and the console fill
// it; the remote client sends it over the wire, reserved values included.
struct RestoreJob {
  RestoreJob() = default;
  explicit RestoreJob(const RunServices& runServices) : services(runServices) {}

  void* instance = nullptr;         // the program's module instance
  ProgressSink progress;            // every message of the restore goes here
  // Who watches the run's progress bar, wait cursor and end (the console's
  // "Restore Status" dialog); none on the command line.
  ProgressObserver* owner = nullptr;
  PartitionInfo server;             // the server to restore
  SnapshotEntry snapshot;           // the snapshot to restore
  uint8_t pointInTime = 0;          // 0 = UP TO THE MINUTE, 1 (any non-zero) = POINT IN TIME
  uint8_t reserved1 = 1;            // carried unchanged; never read here
  uint8_t reserved2 = 0;
  uint32_t reservedValue = 0;
  // Set: the roll-forward stops at this time (a UTC FILETIME, inclusive)
  // instead of going up to the minute; pointInTime must then be 0.
  std::optional<uint64_t> recoverUntil;
  RunServices services = DefaultRunServices();  // everything the run reaches outside itself
};

// The request of the restore that is running (it stays set after the run,
// for whoever asks which restore ran last; the archived-log callback gets
// its request through its context instead).
RestoreJob* CurrentRestoreJob();
void SetCurrentRestoreJob(RestoreJob* job);

// ---- the run and the driver -----------------------------------------------

// Takes the run lock, refuses while Domino runs, starts the Notes runtime,
// restores, writes the event entry and the "Restore" report, releases
// everything. 0 on success; -1 when refused or failed; the Notes status
// when the runtime could not be started.
int RunRestore(RestoreJob& job);

// 0 on success, -1 on any failure; every ending failure message is
// appended to errorText.
int RestoreServer(RestoreJob& job, std::string& errorText);

// The logged databases that a restore did not bring to the requested
// point, each once with why, in the order they were met. A restore with
// any of them ends as failed and names each in an "ERROR: " line.
struct Shortfalls {
  struct Entry {
    std::string database;
    std::string why;
  };
  // The first reason given for a database is the one kept.
  void Add(const std::string& database, const std::string& why);
  bool empty() const { return entries.empty(); }
  // "ERROR: Database <path> <why>.\r\n" for each.
  std::string ErrorLines() const;
  std::vector<Entry> entries;
};

// Replays each database's change-info file into the restored database.
// dataDrive is "X:" for the data disk. 0, or -1 on the first failure. A
// logged database without a change-info file is skipped and, when
// shortfalls is given, recorded there.
int ApplyChangeInfo(RestoreJob& job, std::vector<backup::DatabaseRecord>& databases,
                    const std::string& changeInfoDirectory, const std::string& dataDrive,
                    Shortfalls* shortfalls = nullptr);

// ---- recovery -------------------------------------------------------------

// Checks the log series, finds every extent the roll-forward needs and
// copies the archived ones into the active log directory (their paths go
// to copiedLogs). 0, or -1 with the message appended to errorText.
int PrepareUpToMinuteLogs(RestoreJob& job, std::vector<std::string>& copiedLogs,
                          std::string& errorText);

// POINT IN TIME (pointInTimeText given): touches each restored database and
// returns 0. UP TO THE MINUTE: runs the Notes recovery, dropping a failing
// database and retrying; every logged database that it dropped or left
// unrecovered goes to shortfalls when given. Answers the Notes status, 0
// when every database of the recovery list was recovered.
notes::Status RecoverDatabases(RestoreJob& job, const std::vector<backup::DatabaseRecord>& databases,
                               const std::optional<std::string>& pointInTimeText,
                               const std::vector<std::string>& disabledDatabases,
                               Shortfalls* shortfalls = nullptr);

// The recovery's name buffer: each path followed by one NUL, then one more
// NUL. Sized from the list, however long it is.
std::string BuildNameBuffer(const std::vector<std::string>& paths);

// One Notes recovery with its printed output captured into the job's
// progress. failingIndex is 1-based (0 = none).
notes::Status RunNotesRecovery(RestoreJob& job, std::string_view nameBuffer,
                               uint32_t& failingIndex);

// Called by the Notes recovery for archived extent firstExtent, to be placed
// in the folder of requestedPath: copies it and every following archived
// extent up to the first gap. 0 when at least one was copied, else 0xFFFF.
// context is the RestoreJob of the recovery (nullptr supplies nothing).
notes::Status ArchivedLogCallback(void* context, uint32_t firstExtent,
                                  const std::string& requestedPath);

// The times a restore of a snapshot can recover to, as UTC FILETIMEs: from
// the start of the second in which the snapshot was made to the end of the
// second of the newest log record, and never ending before it starts (a
// log with no newer record still reaches the snapshot's own second).
struct RecoveryRange {
  uint64_t from = 0;
  uint64_t to = 0;
};
RecoveryRange ValidRecoveryRange(uint64_t snapshotCreated, uint64_t newestLogRecord);

// For a job with a recovery time: refuses, naming the valid range, a time
// outside it or a job that also asks for POINT IN TIME; the runtime must be
// started. 0, or -1 with the message appended to errorText.
int CheckRecoveryTime(RestoreJob& job, std::string& errorText);

// "recovery to <local time>": how the messages of a run name its mode.
std::string RecoveryToTimeText(uint64_t fileTime);

// Deletes the extents that PrepareUpToMinuteLogs copied. Always 0.
int RemoveCopiedLogs(RestoreJob& job, const std::vector<std::string>& copiedLogs);

// Test seam: replaces the free-space query of the active log drive
// (megabytes free on a drive letter); nullptr restores the real one.
// Returns the previous replacement.
using FreeMegabytesQuery = uint32_t (*)(char driveLetter);
FreeMegabytesQuery SetFreeMegabytesQuery(FreeMegabytesQuery query);

}  // namespace omb::restore
