// The restore run: lock, refusal while Domino runs, Notes runtime, the
// driver, the event-log entry and the report.
#include <atomic>
#include <exception>

#include "backup/healing.h"
#include "domino/incomplete.h"
#include "domino/locks.h"
#include "domino/notes_runtime.h"
#include "platform/system.h"
#include "reports/reports.h"
#include "restore/messages.h"
#include "restore/restore.h"

namespace omb::restore {

namespace {

std::atomic<RestoreJob*> currentJob{nullptr};

constexpr const char* kReportCategory = "Restore";
constexpr const char* kLockHeld = "A current BACKUP/RESTORE is in progress.";
constexpr const char* kDominoRunning =
    "Domino is running. It needs to be shutdown before the restore process occurs.";
constexpr const char* kSnapshotIncomplete =
    "the backup that took it did not finish, and it cannot be restored.";
constexpr const char* kRuntimeFailed =
    "Could not initialize notes runtime. Restore snapshot failed.";

// Event insertion strings every restore entry starts with.
std::vector<std::string> EventStrings(const RestoreJob& job) {
  std::string mode = job.pointInTime != 0 ? "POINT IN TIME" : "UP TO THE MINUTE";
  if (job.recoverUntil) mode = "RECOVERY TO " + platform::LocalTimeText(*job.recoverUntil);
  return {mode, job.snapshot.name, job.server.serverName};
}

// Hands the run's progress text to the report saver, which shows a report
// that cannot be saved through the run's message presenter.
void SaveRunReport(const RestoreJob& job) {
  reports::SaveRunReport(job.services, kReportCategory, TakeProgressText());
  ClearProgressText();
}

// The event entry of a failed run; the reason is its last string.
void WriteFailureEvent(const RestoreJob& job, const std::string& reason) {
  std::vector<std::string> strings = EventStrings(job);
  strings.push_back(reason);
  ReportRunEvent(kEventInformation, kCategoryRestore, kEventRestoreFailed, strings);
}

void SetBusy(RestoreJob& job, bool busy) {
  if (job.owner != nullptr) job.owner->Busy(busy);
}

// A run refused before anything was touched.
int Refuse(RestoreJob& job, const char* reason, const std::string& message) {
  WriteFailureEvent(job, reason);
  Say(job, message);
  return -1;
}

// The run once the lock is held and the runtime started: the driver, its
// event entry and the report. Terminates the runtime on every way out.
int RestoreWithRuntime(RestoreJob& job) {
  NotesRuntimeScope runtime(job.services.notes);
  SetBusy(job, true);
  std::string errorText;
  int result = RestoreServer(job, errorText);
  if (result != 0) {
    Say(job, errorText);
    WriteFailureEvent(job, errorText);
  } else {
    ReportRunEvent(kEventInformation, kCategoryRestore, kEventRestoreDone, EventStrings(job));
  }
  SetBusy(job, false);
  SaveRunReport(job);
  return result;
}

int RunLocked(RestoreJob& job) {
  RunLock lock = AcquireRunLock(job.progress);
  if (!lock) {
    Refuse(job, kLockHeld, "ERROR: Restore aborted. A current BACKUP/RESTORE is in progress\r\n");
    SaveRunReport(job);
    return -1;
  }
  // Reverting the data disk under a running server or client would corrupt
  // the databases it holds open; refuse before anything is touched.
  if (IsDominoRunning()) {
    Refuse(job, kDominoRunning, std::string("ERROR: ") + kDominoRunning + "\r\n");
    SaveRunReport(job);
    return -1;
  }
  // The backup that took an incomplete snapshot did not finish: its change
  // information is missing or partial, so no restore of it can be right.
  if (IsSnapshotIncomplete(job.server, job.snapshot.name)) {
    Refuse(job, kSnapshotIncomplete, "ERROR: Snapshot " + job.snapshot.name + " is incomplete: " +
                                         kSnapshotIncomplete + "\r\nRestore aborted.\r\n");
    SaveRunReport(job);
    return -1;
  }
  int status = StartNotesRuntime(job.services.notes, job.server.notesIniPath) & 0xFFFF;
  if (status != 0) {
    Refuse(job, kRuntimeFailed, std::string("ERROR: ") + kRuntimeFailed + "\r\n");
    lock.reset();
    SaveRunReport(job);
    return status;
  }
  // Databases that a dead backup left in backup mode are ended first.
  backup::HealBackupMode(job.services.notes, job.server, job.progress);
  return RestoreWithRuntime(job);
}

// An unexpected exception (out of memory, a failing library) still ends the
// run in the usual way: unwinding has terminated the runtime and released
// the lock; the event entry and the report say what happened.
int EndAfterException(RestoreJob& job, const std::string& what) {
  const std::string text = "ERROR: " + what + "\r\nERROR: Restore aborted.\r\n";
  Say(job, text);
  WriteFailureEvent(job, text);
  SetBusy(job, false);
  SaveRunReport(job);
  return -1;
}

}  // namespace

RestoreJob* CurrentRestoreJob() { return currentJob.load(); }
void SetCurrentRestoreJob(RestoreJob* job) { currentJob.store(job); }

int RunRestore(RestoreJob& job) {
  ClearProgressText();
  int result = -1;
  try {
    result = RunLocked(job);
  } catch (const std::exception& error) {
    result = EndAfterException(job, error.what());
  } catch (...) {
    result = EndAfterException(job, "Unknown error.");
  }
  if (job.owner != nullptr) job.owner->Finished(result == 0);
  return result;
}

}  // namespace omb::restore
