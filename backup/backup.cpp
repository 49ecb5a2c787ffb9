#include "backup/backup.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "backup/databases.h"
#include "backup/healing.h"
#include "backup/identity.h"
#include "component/component.h"
#include "domino/incomplete.h"
#include "domino/locks.h"
#include "domino/notes_runtime.h"
#include "domino/vaultinfo.h"
#include "notes/notes.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "platform/test_steps.h"
#include "reports/reports.h"
#include "snapshot/deletion.h"
#include "snapshot/naming.h"
#include "storage/storage.h"
#include "vault/hint_files.h"
#include "vault/log_archive.h"

namespace omb::backup {

namespace {

constexpr const char* kReportCategory = "Backup";

// Whoever watches the run's progress bar, if anyone does.
ProgressObserver* ProgressBar(const BackupJob& job) {
  return job.statusDialog != nullptr ? job.statusDialog : job.output.window;
}

// The run has ended: the wait cursor goes and the dialog gets its buttons back.
void EndOfRun(const BackupJob& job, bool ok) {
  ProgressObserver* bar = ProgressBar(job);
  if (!bar) return;
  bar->Busy(false);
  bar->Finished(ok);
}

// Saves the run's whole progress text; a report that cannot be saved goes
// to the run's message presenter.
void SaveBackupReport(const BackupJob& job) {
  reports::SaveRunReport(job.services, kReportCategory, TakeProgressText());
}

std::string DriveText(char driveLetter) { return std::string(1, driveLetter); }

// Releases every database still in backup mode when it goes out of scope,
// so no way out of the backup core leaves one behind.
class BackupModeGuard {
 public:
  BackupModeGuard(notes::NotesApi& api, std::vector<DatabaseRecord>& list) : api_(api), list_(list) {}
  ~BackupModeGuard() { ReleaseAll(api_, list_); }
  BackupModeGuard(const BackupModeGuard&) = delete;
  BackupModeGuard& operator=(const BackupModeGuard&) = delete;

 private:
  notes::NotesApi& api_;
  std::vector<DatabaseRecord>& list_;
};

int CheckDataDirectory(PartitionInfo& server) {
  std::string firstLine = "ERROR: Invalid data directory for Server " + server.serverName + "\r\n";
  if (server.dataPath.empty()) {
    Emit(server.progress, firstLine + "Server directory is not specified\r\n");
    return -1;
  }
  if (DirectoryExists(server.dataPath) != 0) {
    Emit(server.progress, firstLine + "Server directory '" + server.dataPath + "' does not exist.\r\n");
    return -1;
  }
  return 0;
}

// log_hint from the first logged database, then disabled_databases. Only
// the second decides the result.
int WriteHintFiles(PartitionInfo& server, const std::vector<DatabaseRecord>& list,
                   const std::vector<std::string>& disabled, const std::string& changeInfoDirectory) {
  for (const DatabaseRecord& record : list) {
    if (!record.logged) continue;
    std::string hintPath;
    if (WriteLogHint(changeInfoDirectory, record.logExtent, record.logId, hintPath) != 0) {
      Emit(server.progress, "WARNING: Could not create log hint file:\r\n" + hintPath + "\r\n" +
                                "Restoration of this snapshot may only be POINT IN TIME\r\n");
    }
    break;
  }
  std::string disabledPath;
  if (WriteDisabledList(changeInfoDirectory, disabled, disabledPath) != 0) {
    Emit(server.progress, "WARNING: Could not create disabled database file: \r\n" + disabledPath + "\r\n" +
                              "Restoration of this snapshot may only be POINT IN TIME\r\n");
    return -1;
  }
  return 0;
}

// A signal asked the run to stop: the step that noticed it fails the
// server's backup, which then ends in its usual way.
bool Interrupted(PartitionInfo& server) {
  const int signal = platform::InterruptSignal();
  if (signal == 0) return false;
  Emit(server.progress, std::string("ERROR: The backup was interrupted (") + platform::InterruptSignalName(signal) +
                            ").\r\n");
  return true;
}

// Holds the databases in backup mode while the snapshot is taken, then
// saves their change information and the hint files. snapshotTaken tells
// the caller whether a failure left a snapshot behind.
int BackupCore(notes::NotesApi& api, PartitionInfo& server, const std::string& changeInfoDirectory,
               storage::SnapshotInterface& snapshots, char driveLetter, const std::u16string& recentName,
               bool& snapshotTaken) {
  snapshotTaken = false;
  if (CheckDataDirectory(server) != 0) return -1;
  std::vector<DatabaseRecord> list;
  std::vector<std::string> linked;
  EnumerateDatabases(server.dataPath, list, &linked);
  for (const std::string& path : linked) {
    Emit(server.progress, "WARNING: Database " + path +
                              " is reached through a symbolic link; the snapshot holds the link, "
                              "not necessarily the database.\r\n");
  }
  BackupModeGuard guard(api, list);

  Emit(server.progress, "Recording Domino changes\r\n");
  std::vector<std::string> disabled;
  if (StartBackup(api, server.progress, list, disabled) != 0) {
    Emit(server.progress, "ERROR: Backup aborted.\r\n");
    return -1;
  }
  platform::ReachStep("backup-mode-started");
  if (Interrupted(server)) return -1;
  std::string errorText;
  if (snapshot::CreateSnapshot(snapshots, driveLetter, recentName, errorText) != 0) {
    Emit(server.progress, "ERROR: Could not create snapshot\r\nBackup Aborted.\r\n" + errorText);
    ReleaseAll(api, list);
    ReportRunEvent(kEventInformation, kCategoryBackup, kEventSnapshotFailed, {server.serverName, errorText});
    return -1;
  }
  snapshotTaken = true;
  Emit(server.progress, "Completed CreateSnapShot method\r\n");
  ReportRunEvent(kEventInformation, kCategoryBackup, kEventSnapshotDone,
                 {storage::FromUtf16(recentName), DriveText(driveLetter), server.serverName});
  platform::ReachStep("snapshot-created");
  if (Interrupted(server)) return -1;

  Emit(server.progress, "Stopping Domino backup mode...\r\n");
  if (StopBackupAndSave(api, server.progress, list, changeInfoDirectory) != 0) {
    Emit(server.progress, "ERROR: Could not properly stop backup.\r\n");
    return -1;  // the guard releases the databases still in backup mode
  }
  platform::ReachStep("change-info-saved");
  int result = WriteHintFiles(server, list, disabled, changeInfoDirectory);
  RecordInstanceIds(server, list, changeInfoDirectory);
  platform::ReachStep("hint-files-written");
  Emit(server.progress, "\r\nDomino backup mode stop completed\r\n");
  if (result == 0 && Interrupted(server)) return -1;
  return result;
}

SnapshotEntry NamedEntry(const std::u16string& wideName) {
  SnapshotEntry entry;
  entry.wideName = wideName;
  entry.name = storage::FromUtf16(wideName);
  entry.component.name = wideName;
  return entry;
}

// Adds the new recent snapshot and the renamed one to the server's list
// and rewrites its hint file. The rotation has already recorded the renamed
// snapshot there, so a failed backup never loses it from the list.
void AppendSnapshotName(PartitionInfo& server, const std::u16string& wideName) {
  std::string name = storage::FromUtf16(wideName);
  if (name.empty()) return;
  for (const SnapshotEntry& entry : server.snapshots)
    if (platform::EqualsNoCase(entry.name, name)) return;
  server.snapshots.push_back(NamedEntry(wideName));
}

void RecordSnapshotNames(PartitionInfo& server, const std::u16string& recentName,
                         const std::u16string& timeDateName) {
  AppendSnapshotName(server, recentName);
  AppendSnapshotName(server, timeDateName);
  std::string hintPath;
  if (GetHintPath(server, hintPath) == 0) WriteNameList(hintPath, server.snapshots);
}

// The snapshot of a failed backup is no backup: it is deleted with its
// change-info directory. One that the component will not delete keeps its
// incomplete mark, so no list numbers it and no restore uses it.
void DiscardFailedSnapshot(PartitionInfo& server, storage::SnapshotInterface& snapshots, char driveLetter,
                           const std::u16string& recentName, const std::string& changeInfoDirectory) {
  const std::string name = storage::FromUtf16(recentName);
  bool deleted = false;
  const storage::HRESULT hr = snapshots.DeleteSnapShot(snapshot::DriveString(driveLetter), recentName, deleted);
  if (storage::Failed(hr) || !deleted) {
    Emit(server.progress, "WARNING: The snapshot " + name + " of this failed backup could not be deleted: " +
                              (storage::Failed(hr) ? snapshot::SystemText(hr) : std::string("the storage component kept it.\r\n")) +
                              "It is marked incomplete and will not be offered for restore.\r\n");
    return;
  }
  DeleteDirectoryTree(changeInfoDirectory);
  Emit(server.progress, "Deleted the snapshot " + name + " of this failed backup and its change information.\r\n");
}

// Waits, through the run's clock, until the current second gives a name
// that no snapshot of the server carries yet: two backups in one second
// would otherwise leave two snapshots of one time/date name.
void WaitForUnusedSecond(platform::Clock& clock, const PartitionInfo& server) {
  constexpr uint64_t kFileTimeSecond = 10'000'000;
  constexpr int kMaxWaits = 3;
  for (int wait = 0; wait < kMaxWaits; ++wait) {
    const uint64_t now = clock.NowFileTime();
    const std::string name = storage::FromUtf16(snapshot::TimeDateName(server, now));
    bool used = false;
    for (const SnapshotEntry& entry : server.snapshots) used = used || platform::EqualsNoCase(entry.name, name);
    if (!used) return;
    const uint64_t rest = kFileTimeSecond - now % kFileTimeSecond;
    clock.Sleep(std::chrono::milliseconds(rest / 10'000 + 1));
  }
}

// The backup core between the incomplete mark and its removal; a failure
// discards the snapshot it took.
int MarkedBackupCore(const RunServices& services, PartitionInfo& server, const std::string& changeInfoDirectory,
                     storage::SnapshotInterface& snapshots, char driveLetter, const std::u16string& recentName) {
  const std::string recent = storage::FromUtf16(recentName);
  if (MarkSnapshotIncomplete(server, recent) != 0) {
    Emit(server.progress, "ERROR: Could not write to the change-info directory " + changeInfoDirectory + "\r\n");
    return -1;
  }
  RecordBackupModeRun(server, services.clock);
  bool snapshotTaken = false;
  int core = BackupCore(services.notes, server, changeInfoDirectory, snapshots, driveLetter, recentName,
                        snapshotTaken);
  ForgetBackupModeRun(server);
  if (core != 0) {
    if (snapshotTaken) DiscardFailedSnapshot(server, snapshots, driveLetter, recentName, changeInfoDirectory);
    return -1;
  }
  if (ClearIncompleteMark(server, recent) != 0) {
    Emit(server.progress, "ERROR: Could not clear the incomplete mark of snapshot " + recent + "\r\n");
    DiscardFailedSnapshot(server, snapshots, driveLetter, recentName, changeInfoDirectory);
    return -1;
  }
  platform::ReachStep("mark-cleared");
  return 0;
}

int SnapshotWithRotation(const RunServices& services, char driveLetter, PartitionInfo& server, bool deleteExcess) {
  std::u16string timeDateName;
  if (snapshot::RotateRecent(services.storage, driveLetter, server, deleteExcess, timeDateName) != 0) return -1;
  platform::ReachStep("rotation-done");
  if (Interrupted(server)) return -1;

  std::unique_ptr<storage::SnapshotInterface> snapshots;
  std::string errorText;
  if (snapshot::OpenSnapshotInterface(services.storage, snapshots, errorText) != 0) {
    Emit(server.progress, "ERROR: " + errorText);
    return -1;
  }
  std::u16string recentName = snapshot::RecentName(server);
  std::string changeInfoDirectory;
  if (GetServerVaultinfoDir(server, storage::FromUtf16(recentName), changeInfoDirectory) != 0) {
    Emit(server.progress, "ERROR: Vaultinfo directory " + changeInfoDirectory + " could not be created.\r\n");
    return -1;
  }
  WaitForUnusedSecond(services.clock, server);

  Emit(server.progress, "Placing Domino server in backup mode\r\n");
  int core = MarkedBackupCore(services, server, changeInfoDirectory, *snapshots, driveLetter, recentName);
  Emit(server.progress, "Returned from backup mode\r\n");
  if (core != 0) {
    Emit(server.progress, "FAILED Backup/Snapshot for " + server.serverName + " \r\n");
    return -1;
  }
  RecordSnapshotNames(server, recentName, timeDateName);
  platform::ReachStep("names-recorded");

  Emit(server.progress, "Copying logs to Vaultinfo dir...\r\n");
  CopyLogsToVaultinfo(services.notes, server, changeInfoDirectory);
  Emit(server.progress, "Completed log copy.\r\n");
  platform::ReachStep("logs-archived");

  snapshots.reset();
  snapshot::RecordRecentTime(services.storage, driveLetter, server);
  platform::ReachStep("recent-time-recorded");
  return 0;
}

// Everything of one server's backup after the Notes runtime started.
int BackupWithRuntime(BackupJob& job, PartitionInfo& server, ProgressObserver* bar) {
  platform::Clock& clock = job.services.clock;
  std::string volume = server.dataDisk.volume;
  std::string drive = DriveText(server.dataDisk.driveLetter);
  if (bar) bar->Step();
  Emit(server.progress, "Starting Backup of Server " + server.serverName + "\r\n");
  HealBackupMode(job.services.notes, server, server.progress);
  platform::ReachStep("healed");
  Emit(server.progress,
       FormatTimestamp(clock) + ": Snapshot will occur on VOL " + volume + " for VLD " + drive + "\r\n");
  if (bar) bar->Step();

  if (SnapshotWithRotation(job.services, server.dataDisk.driveLetter, server, job.deleteExcess) != 0) {
    Emit(server.progress, "ERROR: Snapshot failed on " + volume + ".\r\n");
    return -1;
  }
  if (bar) bar->Step();
  Emit(server.progress,
       FormatTimestamp(clock) + ": Snapshot Complete on VOL " + volume + " for VLD " + drive + "\r\n");

  if (job.deleteExcess) {
    Emit(server.progress,
         FormatTimestamp(clock) + ": Removing snapshots in excess of " +
             std::to_string(std::min(job.keepCount, snapshot::kMaxKeptSnapshots)) + "\r\n");
    int deleted = 0;
    if (snapshot::DeleteExcessSnapshots(job.services, server, server.dataDisk.driveLetter, job.keepCount,
                                        deleted) != 0)
      return -1;
    platform::ReachStep("excess-deleted");
    Emit(server.progress, FormatTimestamp(clock) + ": Deleted " + std::to_string(deleted) + " snapshots\r\n");
  }
  if (bar) bar->Step();
  if (Interrupted(server)) return -1;
  Emit(server.progress, FormatTimestamp(clock) + ": Backup Completed for Server: " + server.serverName + "\r\n");
  WriteNotesIniValue("BACKUPWIZ", "1", GetIniPath());
  return 0;
}

void CopySinkSettings(const ProgressSink& from, ProgressSink& to) {
  to.text.clear();
  to.window = from.window;
  to.toFile = from.toFile;
  to.consoleOpen = from.consoleOpen;
  to.toConsole = from.toConsole;
}

}  // namespace

int BackupServer(BackupJob& job, PartitionInfo& server) {
  if (!server.archiveLogging) {
    Emit(server.progress, "ERROR: Server: " + server.shortName + " is not set to archive mode.\r\n" +
                              "Only archival transaction logging is supported.\r\n" + "Backup aborted.\r\n");
    return -1;
  }
  ProgressObserver* bar = ProgressBar(job);
  if (bar) bar->Range(0, 100, 10);

  Emit(server.progress, "Initialize notes system with " + server.notesIniPath + "\r\n");
  if (StartNotesRuntime(job.services.notes, server.notesIniPath) != 0) {
    Emit(server.progress, "ERROR: cannot initialize notes for Server " + server.serverName + "\r\n");
    return -1;
  }
  int result = 0;
  {
    NotesRuntimeScope runtime(job.services.notes);
    result = BackupWithRuntime(job, server, bar);
  }
  if (result == 0 && bar) bar->Position(100);
  return result;
}

namespace {

int RunSelectedServers(BackupJob& job) {
  RunLock runLock = AcquireRunLock(job.output);
  if (!runLock) {
    Emit(job.output, "ERROR: Backup aborted.\r\n");
    SaveBackupReport(job);
    EndOfRun(job, false);
    return -1;
  }
  ProgressObserver* bar = ProgressBar(job);
  if (bar) bar->Busy(true);
  Emit(job.output, "Start time is: " + FormatTimestamp(job.services.clock) + "\r\n");

  for (PartitionInfo& server : job.servers.servers) {
    if (!server.selected) continue;
    CopySinkSettings(job.output, server.progress);
    int result = BackupServer(job, server);
    job.output.consoleOpen = server.progress.consoleOpen;
    if (result != 0) {
      Emit(job.output, "ERROR: Backup of partition failed.\r\n");
      EndOfRun(job, false);
      runLock.reset();
      SaveBackupReport(job);
      return -1;
    }
  }
  job.completed = true;
  Emit(job.output, "End time is: " + FormatTimestamp(job.services.clock) + "\r\n");
  SaveBackupReport(job);
  EndOfRun(job, true);
  runLock.reset();
  return 0;
}

// An unexpected exception (out of memory, a failing library) still ends the
// run in the usual way: unwinding has released the databases, the Notes
// runtime and the run lock; the report says what happened.
int EndAfterException(BackupJob& job, const std::string& what) {
  job.completed = false;
  Emit(job.output, "ERROR: " + what + "\r\nERROR: Backup aborted.\r\n");
  EndOfRun(job, false);
  SaveBackupReport(job);
  return -1;
}

}  // namespace

int RunBackup(BackupJob& job) {
  job.completed = false;
  ClearProgressText();
  try {
    return RunSelectedServers(job);
  } catch (const std::exception& error) {
    return EndAfterException(job, error.what());
  } catch (...) {
    return EndAfterException(job, "Unknown error.");
  }
}

}  // namespace omb::backup
