// The single-database restore: refusals, the copy out of the snapshot, the
// change information, the recovery on a private copy of the log, the new
// instance id and the placing of the restored database.
#include "restore/restore_database.h"

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <optional>
#include <vector>

#include "backup/healing.h"
#include "component/component.h"
#include "domino/incomplete.h"
#include "domino/locks.h"
#include "domino/notes_runtime.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix_io.h"
#include "platform/system.h"
#include "reports/reports.h"
#include "restore/messages.h"
#include "vault/hint_files.h"

namespace omb::restore {

namespace {

constexpr const char* kReportCategory = "Restore";
constexpr const char* kWorkSuffix = ".omb-restoring";
constexpr const char* kPrivateLogPrefix = "~omb-restoredb-";

// The database restore's own messages go through a RestoreJob, so that the
// steps it shares with the whole-volume restore (change information, log
// preparation, recovery) work unchanged on it.
RestoreJob BaseJob(const DatabaseRestoreJob& job) {
  RestoreJob base(job.services);
  base.progress = job.progress;
  base.owner = job.owner;
  base.server = job.server;
  base.snapshot = job.snapshot;
  base.pointInTime = job.point == RecoveryPoint::SnapshotTime ? 1 : 0;
  return base;
}


// A UTC FILETIME as local "YYYY-MM-DD HH:MM:SS", as ombctl takes times.
std::string LocalText(uint64_t fileTime) {
  const platform::SystemTime local = platform::FileTimeToSystemTime(platform::FileTimeToLocalFileTime(fileTime));
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.year, local.month, local.day, local.hour,
                local.minute, local.second);
  return text;
}

// Recovers the copy to the job's time, the recovery's output captured into
// its progress as the whole-volume recovery does.
notes::Status RecoverUntil(RestoreJob& recovery, const std::string& path, uint64_t untilTime, uint32_t& failing) {
  notes::ArchivedLogCallback callback = [&recovery](uint32_t firstExtent, const std::string& requested) {
    return ArchivedLogCallback(&recovery, firstExtent, requested);
  };
  CRedirectStdout capture;
  capture.SetSink(&recovery.progress);
  return recovery.services.notes.RecoverUntil(BuildNameBuffer({path}), callback, 1, untilTime, failing);
}

std::string HexText(const notes::LogId& id) {
  std::string text;
  char pair[3];
  for (uint8_t byte : id) {
    std::snprintf(pair, sizeof pair, "%02X", byte);
    text += pair;
  }
  return text;
}

std::string PointText(const DatabaseRestoreJob& job) {
  switch (job.point) {
    case RecoveryPoint::SnapshotTime: return "the snapshot's time";
    case RecoveryPoint::UntilTime: return LocalText(job.untilTime);
    case RecoveryPoint::UpToTheMinute: break;
  }
  return "the last log record (up to the minute)";
}

// What the run works on once its request is checked.
struct Plan {
  std::string original;   // the database as a full path
  std::string onDrive;    // the same without its drive ("\Lotus\...\a.nsf")
  std::string target;     // where the restored database ends up
  std::string work;       // the copy being restored, beside the target
  std::string changeInfoDirectory;
};

class DatabaseRestore {
 public:
  explicit DatabaseRestore(DatabaseRestoreJob& job) : job_(job), base_(BaseJob(job)) {}

  // kDatabaseRestoreDone, Refused or Failed; errorText gathers the lines
  // that end the run.
  int Run(std::string& errorText);

 private:
  int Refuse(std::string& errorText, const std::string& why) {
    Fail(base_, errorText, "ERROR: " + why + "\r\nDatabase restore aborted. Nothing was changed.\r\n");
    return kDatabaseRestoreRefused;
  }
  int Failed(std::string& errorText, const std::string& why);
  int CheckRequest(std::string& errorText);
  int ChooseTarget(std::string& errorText);
  int CheckReplace(std::string& errorText);
  int CheckRecoveryTime(std::string& errorText);
  int CopyOut(std::string& errorText);
  int ApplyChangeInformation(std::string& errorText);
  int Recover(std::string& errorText);
  int RollForward(std::string& errorText);
  int RecoverOnLogCopy(const std::string& logCopy, std::string& errorText);
  int RecoverToTheMinute(RestoreJob& recovery, std::string& errorText);
  int RecoverToTime(RestoreJob& recovery, std::string& errorText);
  int CheckLogged(std::string& errorText);
  int GiveNewInstanceId(std::string& errorText);
  int Place(std::string& errorText);
  void RemoveWork();

  DatabaseRestoreJob& job_;
  RestoreJob base_;
  Plan plan_;
  bool logged_ = true;
};

int DatabaseRestore::Failed(std::string& errorText, const std::string& why) {
  RemoveWork();
  Fail(base_, errorText,
       why + "ERROR: Database restore of " + plan_.original +
           " failed. The restored copy was removed; the original is unchanged.\r\n");
  return kDatabaseRestoreFailed;
}

void DatabaseRestore::RemoveWork() {
  if (!plan_.work.empty()) platform::DeleteOneFile(plan_.work);
}

int DatabaseRestore::CheckRequest(std::string& errorText) {
  const char dataDrive = job_.server.dataDisk.driveLetter;
  if (dataDrive == 0) return Refuse(errorText, "The server's data directory is not on a virtual disk.");
  std::string database = job_.database;
  if (database.empty()) return Refuse(errorText, "No database was named.");
  if (platform::DriveOf(database) == 0) {
    if (job_.server.dataPath.empty()) return Refuse(errorText, "The server has no data directory.");
    database = platform::JoinPath(job_.server.dataPath, database);
  }
  if (platform::DriveOf(database) != dataDrive || database.size() < 4 || database[2] != '\\') {
    return Refuse(errorText, database + " is not on the server's data disk " + std::string(1, dataDrive) + ":.");
  }
  const platform::PathParts parts = platform::SplitPath(database);
  if (parts.fileName.empty() || database.find("\\..") != std::string::npos) {
    return Refuse(errorText, database + " does not name a database file.");
  }
  plan_.original = database;
  plan_.onDrive = database.substr(2);
  if (GetServerVaultinfoDir(job_.server, job_.snapshot.name, plan_.changeInfoDirectory) != 0) {
    return Refuse(errorText, "Could not obtain location of Vaultinfo directory");
  }
  if (!platform::IsDirectory(plan_.changeInfoDirectory)) {
    return Refuse(errorText, "Change information directory " + plan_.changeInfoDirectory + " does not exist.");
  }
  if (job_.point == RecoveryPoint::UntilTime) {
    if (int result = CheckRecoveryTime(errorText)) return result;
  }
  return job_.replace ? CheckReplace(errorText) : ChooseTarget(errorText);
}

// A time the log cannot reach is refused before anything is copied: from
// the snapshot's creation to the newest record of the live log.
int DatabaseRestore::CheckRecoveryTime(std::string& errorText) {
  uint64_t last = 0;
  const notes::Status status = job_.services.notes.LastLogRecordTime(last);
  if (status == notes::kRecoveryTimeUnsupported) {
    return Refuse(errorText, "This Notes runtime cannot recover to a chosen time.");
  }
  if (status != 0) {
    return Refuse(errorText, "Cannot find the time of the newest log record: " +
                                 notes::StatusTextOf(job_.services.notes, status));
  }
  const uint64_t first = job_.snapshot.component.creationTime;
  if (last < first) {
    return Refuse(errorText, "No log record was written since the snapshot was taken (" + LocalText(first) + ").");
  }
  if (job_.untilTime < first || job_.untilTime > last) {
    return Refuse(errorText, "The recovery time " + LocalText(job_.untilTime) +
                                 " is outside the range this snapshot can be recovered to: " + LocalText(first) +
                                 " to " + LocalText(last) + ".");
  }
  return kDatabaseRestoreDone;
}

int DatabaseRestore::ChooseTarget(std::string& errorText) {
  std::string target = job_.target.empty() ? DefaultRestoredPath(plan_.original) : job_.target;
  if (target.empty()) return Refuse(errorText, "Every restored name beside " + plan_.original + " is taken.");
  if (platform::DriveOf(target) == 0) target = platform::JoinPath(job_.server.dataPath, target);
  if (platform::EqualsNoCase(target, plan_.original)) {
    return Refuse(errorText, "The target is the database itself; use --replace to restore it in its place.");
  }
  if (platform::PathExists(target)) return Refuse(errorText, target + " exists; it is never overwritten.");
  const platform::PathParts parts = platform::SplitPath(target);
  if (parts.fileName.empty() || !platform::IsDirectory(parts.driveAndDirectory())) {
    return Refuse(errorText, "The folder of " + target + " does not exist.");
  }
  plan_.target = target;
  plan_.work = target + kWorkSuffix;
  return kDatabaseRestoreDone;
}

// A database that a server holds open must not be swapped away under it;
// this is checked before anything is copied and again at the swap.
int DatabaseRestore::CheckReplace(std::string& errorText) {
  if (!job_.target.empty()) return Refuse(errorText, "A target and --replace exclude each other.");
  bool open = false;
  const notes::Status status = job_.services.notes.IsDatabaseOpen(plan_.original, open);
  if (status != 0) {
    return Refuse(errorText, "Cannot tell whether the server has " + plan_.original + " open: " +
                                 notes::StatusTextOf(job_.services.notes, status));
  }
  if (open) {
    return Refuse(errorText, "The server has " + plan_.original +
                                 " open; it can only be replaced while the server does not use it.");
  }
  plan_.target = plan_.original;
  plan_.work = plan_.original + kWorkSuffix;
  return kDatabaseRestoreDone;
}

int DatabaseRestore::CopyOut(std::string& errorText) {
  Say(base_, "Copying " + plan_.original + " out of snapshot " + job_.snapshot.name + " to " + plan_.work +
                 "\r\n");
  // A copy left by a run that died is stale: this run holds the run lock.
  platform::DeleteOneFile(plan_.work);
  std::string copyError;
  if (snapshot::RestoreFileFromSnapshot(job_.services.storage, job_.server.dataDisk.driveLetter,
                                        job_.snapshot.wideName.empty() ? storage::ToUtf16(job_.snapshot.name)
                                                                       : job_.snapshot.wideName,
                                        plan_.onDrive, plan_.work, copyError) != 0) {
    return Failed(errorText, copyError);
  }
  Say(base_, "Database copied out of the snapshot.\r\n");
  return kDatabaseRestoreDone;
}

int DatabaseRestore::ApplyChangeInformation(std::string& errorText) {
  Say(base_, "Applying change information (from Domino backup) to the restored database.\r\n"
             "Change information directory is:\r\n" + plan_.changeInfoDirectory + "\r\n");
  backup::DatabaseRecord record;
  record.path = plan_.original;
  Shortfalls shortfalls;
  if (ApplyChangeInfoToCopy(base_, record, plan_.changeInfoDirectory, plan_.work, &shortfalls) != 0) {
    return Failed(errorText, "ERROR: Apply change information failed.\r\n");
  }
  // Without it the copy lacks the changes made while the snapshot was taken.
  if (!shortfalls.empty()) {
    return Failed(errorText, "ERROR: Database " + plan_.original + " " + shortfalls.entries.front().why + ".\r\n");
  }
  return kDatabaseRestoreDone;
}

int DatabaseRestore::CheckLogged(std::string& errorText) {
  notes::NotesApi& api = job_.services.notes;
  notes::Handle db = 0;
  notes::Status status = api.OpenDb(plan_.work, db);
  notes::DbLogInfo info;
  if (status == 0) {
    status = api.GetDbLogInfo(db, info);
    api.CloseDb(db);
  }
  if (status != 0) {
    return Failed(errorText, "ERROR: Cannot open the restored database: " + notes::StatusTextOf(api, status) + "\r\n");
  }
  logged_ = info.logged;
  return kDatabaseRestoreDone;
}

int DatabaseRestore::Recover(std::string& errorText) {
  if (CheckLogged(errorText) != 0) return kDatabaseRestoreFailed;
  if (job_.point == RecoveryPoint::SnapshotTime) {
    Say(base_, "\r\nPerforming POINT IN TIME recovery of the database: it stays as the snapshot holds it (" +
                   job_.snapshot.pointInTimeText + ").\r\n");
    return kDatabaseRestoreDone;
  }
  if (!logged_) {
    return Failed(errorText, "ERROR: Database " + plan_.original +
                                 " is not logged: it cannot be rolled forward past the snapshot's time.\r\n");
  }
  std::vector<std::string> disabled;
  backup::ReadDisabledList(plan_.changeInfoDirectory, disabled);
  if (backup::IsDisabled(disabled, plan_.original)) {
    return Failed(errorText, "ERROR: Database " + plan_.original +
                                 " was left out of the backup's recovery list and cannot be rolled forward.\r\n");
  }
  return RollForward(errorText);
}

// Removes the private log copy on every way out of the recovery. A removal
// that fails is tried once more; what is still left is named, and the next
// database restore removes it.
class FolderGuard {
 public:
  FolderGuard(RestoreJob& job, std::string folder) : job_(job), folder_(std::move(folder)) {}
  ~FolderGuard() {
    for (int attempt = 0; attempt < 2 && platform::PathExists(folder_); ++attempt) {
      platform::RemoveDirectoryTree(folder_);
    }
    if (platform::PathExists(folder_)) {
      Say(job_, "WARNING: Could not remove " + folder_ + "; the next database restore removes it.\r\n");
    }
  }
  FolderGuard(const FolderGuard&) = delete;
  FolderGuard& operator=(const FolderGuard&) = delete;

 private:
  RestoreJob& job_;
  std::string folder_;
};

// The live log is copied into a private folder beside it (same file system,
// so closed extents are links), the archived extents the recovery needs are
// verified and copied in there, and the runtime recovers from that copy.
int DatabaseRestore::RollForward(std::string& errorText) {
  if (job_.server.logPath.empty()) {
    return Failed(errorText, "ERROR: The server has no transaction log directory.\r\n");
  }
  std::string logFolder = job_.server.logPath;
  while (logFolder.size() > 3 && logFolder.back() == '\\') logFolder.pop_back();
  const std::string logParent = platform::SplitPath(logFolder).driveAndDirectory();
  // Folders of runs that died are stale: this run holds the run lock.
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(logParent, entries);
  for (const platform::DirEntry& entry : entries) {
    if (entry.isDirectory && entry.name.rfind(kPrivateLogPrefix, 0) == 0) {
      platform::RemoveDirectoryTree(logParent + entry.name);
    }
  }
  const std::string logCopy = logParent + kPrivateLogPrefix + std::to_string(::getpid());
  FolderGuard removeCopy(base_, logCopy);
  Say(base_, "Copying the transaction log for the recovery to " + logCopy + "\r\n");
  const notes::Status status = job_.services.notes.CopyLogForRecovery(logCopy);
  if (status != 0) {
    return Failed(errorText, "ERROR: Could not copy the transaction log for the recovery: " +
                                 notes::StatusTextOf(job_.services.notes, status) + "\r\n");
  }
  return RecoverOnLogCopy(logCopy, errorText);
}

int DatabaseRestore::RecoverOnLogCopy(const std::string& logCopy, std::string& errorText) {
  const std::string ini = logCopy + "\\notes.ini";
  if (platform::CopyOneFile(job_.server.notesIniPath, ini, true) != 0 ||
      WriteNotesIniValue("Directory", job_.server.dataPath, ini) == 0 ||
      WriteNotesIniValue("TRANSLOG_Path", logCopy, ini) == 0) {
    return Failed(errorText, "ERROR: Could not write " + ini + "\r\n");
  }
  notes::NotesApi& api = job_.services.notes;
  api.TermRuntime();
  int started = StartNotesRuntime(api, ini) & 0xFFFF;
  RestoreJob recovery = base_;
  recovery.server.logPath = logCopy;
  recovery.server.notesIniPath = ini;
  int result = kDatabaseRestoreDone;
  std::vector<std::string> copiedLogs;
  if (started != 0) {
    result = Failed(errorText, "ERROR: Could not start the Notes runtime for the recovery.\r\n");
  } else if (PrepareUpToMinuteLogs(recovery, copiedLogs, errorText) != 0) {
    result = Failed(errorText, "");
  } else {
    result = job_.point == RecoveryPoint::UntilTime ? RecoverToTime(recovery, errorText)
                                                    : RecoverToTheMinute(recovery, errorText);
  }
  // The rest of the run works with the server's own settings again.
  api.TermRuntime();
  if ((StartNotesRuntime(api, job_.server.notesIniPath) & 0xFFFF) != 0 && result == kDatabaseRestoreDone) {
    result = Failed(errorText, "ERROR: Could not restart the Notes runtime after the recovery.\r\n");
  }
  return result;
}

int DatabaseRestore::RecoverToTheMinute(RestoreJob& recovery, std::string& errorText) {
  Say(base_, "\r\nPerforming UP TO THE MINUTE recovery of the database.\r\n"
             "All transactions will be applied (please wait...)\r\n");
  RestoreJob* previous = CurrentRestoreJob();
  backup::DatabaseRecord record;
  record.path = plan_.work;
  Shortfalls shortfalls;
  const notes::Status status = RecoverDatabases(recovery, {record}, std::nullopt, {}, &shortfalls);
  SetCurrentRestoreJob(previous);
  if (status == 0 && shortfalls.empty()) return kDatabaseRestoreDone;
  const std::string why = shortfalls.empty() ? "was not recovered" : shortfalls.entries.front().why;
  return Failed(errorText, "ERROR: Database " + plan_.original + " " + why + ".\r\n");
}

int DatabaseRestore::RecoverToTime(RestoreJob& recovery, std::string& errorText) {
  Say(base_, "\r\nPerforming recovery of the database to " + LocalText(job_.untilTime) +
                 ".\r\nTransactions up to that time will be applied (please wait...)\r\n");
  uint32_t failing = 0;
  const notes::Status status = RecoverUntil(recovery, plan_.work, job_.untilTime, failing);
  if (status == 0) return kDatabaseRestoreDone;
  return Failed(errorText, "ERROR: Database " + plan_.original + " was not brought to " + LocalText(job_.untilTime) +
                               " (" + notes::StatusTextOf(job_.services.notes, status) + ").\r\n");
}

// The copy holds the same instance id as the original; the server would
// log its changes as the original's, and any later roll-forward would mix
// the two histories. It gets one of its own.
int DatabaseRestore::GiveNewInstanceId(std::string& errorText) {
  notes::LogId id{};
  const notes::Status status = job_.services.notes.AssignNewInstanceId(plan_.work, id);
  if (status != 0) {
    return Failed(errorText, "ERROR: Could not give the restored database a new instance id: " +
                                 notes::StatusTextOf(job_.services.notes, status) + "\r\n");
  }
  Say(base_, "The restored database was given the new instance id " + HexText(id) +
                 ": its changes are logged as its own. Back it up again before relying on a roll-forward "
                 "of it.\r\n");
  return kDatabaseRestoreDone;
}

int DatabaseRestore::Place(std::string& errorText) {
  if (job_.replace) {
    const notes::Status status = job_.services.notes.ReplaceDatabase(plan_.work, plan_.target);
    if (status == notes::kDbInUse) {
      RemoveWork();
      Fail(base_, errorText,
           "ERROR: The server has " + plan_.target +
               " open; it can only be replaced while the server does not use it.\r\n"
               "Database restore aborted. Nothing was changed.\r\n");
      return kDatabaseRestoreRefused;
    }
    if (status != 0) {
      return Failed(errorText, "ERROR: Could not put the restored database in place of " + plan_.target + ": " +
                                   notes::StatusTextOf(job_.services.notes, status) + "\r\n");
    }
  } else {
    const int error = platform::MoveFileOrDirectory(plan_.work, plan_.target);
    if (error != 0) {
      return Failed(errorText, "ERROR: Could not move the restored database to " + plan_.target + ":\r\n" +
                                   platform::FormatMessageText(static_cast<uint32_t>(error)) + "\r\n");
    }
    platform::SyncFolder(platform::HostPath(platform::SplitPath(plan_.target).driveAndDirectory()));
  }
  plan_.work.clear();
  job_.restoredPath = plan_.target;
  return kDatabaseRestoreDone;
}

int DatabaseRestore::Run(std::string& errorText) {
  Say(base_, "Start time is: " + FormatTimestamp(job_.services.clock) + "\r\nRestoring database " +
                 job_.database + " from snapshot: " + job_.snapshot.name + "\r\nRecovering to " + PointText(job_) +
                 "\r\n");
  if (int result = CheckRequest(errorText)) return result;
  if (int result = CopyOut(errorText)) return result;
  if (int result = ApplyChangeInformation(errorText)) return result;
  if (int result = Recover(errorText)) return result;
  if (int result = GiveNewInstanceId(errorText)) return result;
  if (int result = Place(errorText)) return result;
  Say(base_, "Database restored to " + plan_.target + "\r\nEnd time is: " + FormatTimestamp(job_.services.clock) +
                 "\r\n\r\nDATABASE RESTORE AND RECOVERY COMPLETE.\r\n");
  return kDatabaseRestoreDone;
}

std::vector<std::string> EventStrings(const DatabaseRestoreJob& job) {
  return {"SINGLE DATABASE", job.snapshot.name, job.server.serverName, job.database};
}

void SaveReport(const DatabaseRestoreJob& job) {
  reports::SaveRunReport(job.services, kReportCategory, TakeProgressText());
  ClearProgressText();
}

int RefuseBeforeRuntime(DatabaseRestoreJob& job, const std::string& message) {
  std::vector<std::string> strings = EventStrings(job);
  strings.push_back(message);
  ReportRunEvent(kEventInformation, kCategoryRestore, kEventRestoreFailed, strings);
  Emit(job.progress, message);
  SaveReport(job);
  return kDatabaseRestoreRefused;
}

int RunLocked(DatabaseRestoreJob& job) {
  RunLock lock = AcquireRunLock(job.progress);
  if (!lock) {
    return RefuseBeforeRuntime(job, "ERROR: Database restore aborted. A current BACKUP/RESTORE is in progress\r\n");
  }
  if (IsSnapshotIncomplete(job.server, job.snapshot.name)) {
    return RefuseBeforeRuntime(job, "ERROR: Snapshot " + job.snapshot.name +
                                        " is incomplete: the backup that took it did not finish, and it cannot "
                                        "be restored.\r\nDatabase restore aborted.\r\n");
  }
  if ((StartNotesRuntime(job.services.notes, job.server.notesIniPath) & 0xFFFF) != 0) {
    return RefuseBeforeRuntime(job, "ERROR: Could not initialize notes runtime. Database restore aborted.\r\n");
  }
  NotesRuntimeScope runtime(job.services.notes);
  // Databases that a dead backup left in backup mode are ended first, as
  // every run that holds the run lock does.
  backup::HealBackupMode(job.services.notes, job.server, job.progress);
  if (job.owner != nullptr) job.owner->Busy(true);
  std::string errorText;
  const int result = DatabaseRestore(job).Run(errorText);
  std::vector<std::string> strings = EventStrings(job);
  if (result != kDatabaseRestoreDone) strings.push_back(errorText);
  const uint32_t event = result == kDatabaseRestoreDone ? kEventRestoreDone : kEventRestoreFailed;
  ReportRunEvent(kEventInformation, kCategoryRestore, event, strings);
  if (job.owner != nullptr) job.owner->Busy(false);
  SaveReport(job);
  return result;
}

// As the whole-volume restore: an unexpected exception still ends the run
// with its report; unwinding has released the runtime and the lock.
int EndAfterException(DatabaseRestoreJob& job, const std::string& what) {
  Emit(job.progress, "ERROR: " + what + "\r\nERROR: Database restore aborted.\r\n");
  if (job.owner != nullptr) job.owner->Busy(false);
  SaveReport(job);
  return kDatabaseRestoreFailed;
}

}  // namespace

std::string DefaultRestoredPath(const std::string& original) {
  const platform::PathParts parts = platform::SplitPath(original);
  for (int number = 1; number <= 99; ++number) {
    const std::string suffix = number == 1 ? "_restored" : "_restored" + std::to_string(number);
    const std::string candidate = parts.driveAndDirectory() + parts.fileName + suffix + parts.extension;
    if (!platform::PathExists(candidate) && !platform::PathExists(candidate + kWorkSuffix)) return candidate;
  }
  return "";
}

int RunDatabaseRestore(DatabaseRestoreJob& job) {
  ClearProgressText();
  job.restoredPath.clear();
  int result = kDatabaseRestoreFailed;
  try {
    result = RunLocked(job);
  } catch (const std::exception& error) {
    result = EndAfterException(job, error.what());
  } catch (...) {
    result = EndAfterException(job, "Unknown error.");
  }
  if (job.owner != nullptr) job.owner->Finished(result == kDatabaseRestoreDone);
  return result;
}

}  // namespace omb::restore
