// The restore run: lock, refusal while Domino runs, Notes runtime, the
// driver, the event-log entry and the report.
#include <atomic>
#include <exception>

#include "core/errors.h"
#include "domino/locks.h"
#include "domino/notes_runtime.h"
#include "platform/messagebox.h"
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
constexpr const char* kRuntimeFailed =
    "Could not initialize notes runtime. Restore snapshot failed.";

// Event insertion strings every restore entry starts with.
std::vector<std::string> EventStrings(const RestoreJob& job) {
  return {job.pointInTime != 0 ? "POINT IN TIME" : "UP TO THE MINUTE", job.snapshot.name,
          job.server.serverName};
}

// Hands the run's progress text to the report store. A report folder that
// cannot be read must not escape the engine; it is shown like the store's
// own save failures.
void SaveRunReport() {
  std::string text = TakeProgressText();
  try {
    reports::SaveReport(kReportCategory, text);
  } catch (const OMBError& error) {
    platform::ShowMessageBox(error.message(), "Unable to save Restore report.",
                             platform::MessageIcon::Error);
  } catch (const std::exception& error) {
    platform::ShowMessageBox(error.what(), "Unable to save Restore report.",
                             platform::MessageIcon::Error);
  }
  ClearProgressText();
}

// The event entry of a run that could not start; the reason is its last string.
void WriteRefusalEvent(const RestoreJob& job, const char* reason) {
  std::vector<std::string> strings = EventStrings(job);
  strings.push_back(reason);
  ReportRunEvent(kEventInformation, kCategoryRestore, kEventRestoreFailed, strings);
}

void SetBusy(RestoreJob& job, bool busy) {
  if (job.owner != nullptr) job.owner->SetBusyCursor(busy);
}

}  // namespace

RestoreJob* CurrentRestoreJob() { return currentJob.load(); }
void SetCurrentRestoreJob(RestoreJob* job) { currentJob.store(job); }

int RunRestore(RestoreJob& job) {
  ClearProgressText();
  RunLock lock = AcquireRunLock(job.progress);
  if (!lock) {
    WriteRefusalEvent(job, kLockHeld);
    Say(job, "ERROR: Restore aborted. A current BACKUP/RESTORE is in progress\r\n");
    SaveRunReport();
    return -1;
  }
  // Reverting the data disk under a running server or client would corrupt
  // the databases it holds open; refuse before anything is touched.
  if (IsDominoRunning()) {
    WriteRefusalEvent(job, kDominoRunning);
    Say(job, std::string("ERROR: ") + kDominoRunning + "\r\n");
    SaveRunReport();
    return -1;
  }
  int status = StartNotesRuntime(notes::Api(), job.server.notesIniPath) & 0xFFFF;
  if (status != 0) {
    WriteRefusalEvent(job, kRuntimeFailed);
    Say(job, std::string("ERROR: ") + kRuntimeFailed + "\r\n");
    lock.reset();
    SaveRunReport();
    return status;
  }

  SetBusy(job, true);
  std::string errorText;
  int result = RestoreServer(job, errorText);
  std::vector<std::string> strings = EventStrings(job);
  uint32_t eventId = kEventRestoreDone;
  if (result != 0) {
    Say(job, errorText);
    strings.push_back(errorText);
    eventId = kEventRestoreFailed;
  }
  ReportRunEvent(kEventInformation, kCategoryRestore, eventId, strings);

  SetBusy(job, false);
  SaveRunReport();
  notes::Api().TermRuntime();
  if (job.owner != nullptr) job.owner->EnableControl(kPrintInfoControl, true);
  return result;
}

}  // namespace omb::restore
