#include "backup/backup.h"

#include <memory>
#include <vector>

#include "backup/databases.h"
#include "component/component.h"
#include "core/errors.h"
#include "domino/locks.h"
#include "domino/notes_runtime.h"
#include "domino/vaultinfo.h"
#include "notes/notes.h"
#include "platform/messagebox.h"
#include "platform/paths.h"
#include "reports/reports.h"
#include "snapshot/deletion.h"
#include "snapshot/naming.h"
#include "storage/storage.h"
#include "vault/hint_files.h"
#include "vault/log_archive.h"

namespace omb::backup {

namespace {

constexpr const char* kReportCategory = "Backup";
constexpr int kPrintInfoControl = 1044;
constexpr int kCloseControl = 8;

// The status dialog's progress bar, if the run has one.
StatusWindow* ProgressBar(const BackupJob& job) {
  return job.statusDialog != nullptr ? job.statusDialog : job.output.window;
}

void EndOfRunControls(StatusWindow* bar) {
  if (!bar) return;
  bar->SetBusyCursor(false);
  bar->EnableControl(kPrintInfoControl, true);
  bar->EnableControl(kCloseControl, true);
}

// Saves the run's whole progress text. A report store that cannot be used
// is shown to the operator; it never ends the run with an exception.
void SaveBackupReport() {
  std::string text = TakeProgressText();
  try {
    reports::SaveReport(kReportCategory, text);
  } catch (const OMBError& error) {
    platform::ShowMessageBox(error.message(), "Unable to save Backup report.", platform::MessageIcon::Error);
  } catch (const std::exception& error) {
    platform::ShowMessageBox(error.what(), "Unable to save Backup report.", platform::MessageIcon::Error);
  }
}

std::string DriveText(char driveLetter) { return std::string(1, driveLetter); }

// Releases every database still in backup mode when it goes out of scope,
// so no way out of the backup core leaves one behind.
class BackupModeGuard {
 public:
  explicit BackupModeGuard(std::vector<DatabaseRecord>& list) : list_(list) {}
  ~BackupModeGuard() { ReleaseAll(list_); }
  BackupModeGuard(const BackupModeGuard&) = delete;
  BackupModeGuard& operator=(const BackupModeGuard&) = delete;

 private:
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

// Holds the databases in backup mode while the snapshot is taken, then
// saves their change information and the hint files.
int BackupCore(PartitionInfo& server, const std::string& changeInfoDirectory,
               storage::SnapshotInterface& snapshots, char driveLetter, const std::u16string& recentName) {
  if (CheckDataDirectory(server) != 0) return -1;
  std::vector<DatabaseRecord> list;
  EnumerateDatabases(server.dataPath, list);
  BackupModeGuard guard(list);

  Emit(server.progress, "Recording Domino changes\r\n");
  std::vector<std::string> disabled;
  if (StartBackup(server.progress, list, disabled) != 0) {
    Emit(server.progress, "ERROR: Backup aborted.\r\n");
    return -1;
  }
  std::string errorText;
  if (snapshot::CreateSnapshot(snapshots, driveLetter, recentName, errorText) != 0) {
    Emit(server.progress, "ERROR: Could not create snapshot\r\nBackup Aborted.\r\n" + errorText);
    ReleaseAll(list);
    ReportRunEvent(kEventInformation, kCategoryBackup, kEventSnapshotFailed, {server.serverName, errorText});
    return -1;
  }
  Emit(server.progress, "Completed CreateSnapShot method\r\n");
  ReportRunEvent(kEventInformation, kCategoryBackup, kEventSnapshotDone,
                 {storage::FromUtf16(recentName), DriveText(driveLetter), server.serverName});

  Emit(server.progress, "Stopping Domino backup mode...\r\n");
  if (StopBackupAndSave(server.progress, list, changeInfoDirectory) != 0) {
    Emit(server.progress, "ERROR: Could not properly stop backup.\r\n");
    return -1;  // the guard releases the databases still in backup mode
  }
  int result = WriteHintFiles(server, list, disabled, changeInfoDirectory);
  Emit(server.progress, "\r\nDomino backup mode stop completed\r\n");
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

int SnapshotWithRotation(char driveLetter, PartitionInfo& server, bool deleteExcess) {
  std::u16string timeDateName;
  if (snapshot::RotateRecent(driveLetter, server, deleteExcess, timeDateName) != 0) return -1;

  std::unique_ptr<storage::SnapshotInterface> snapshots;
  std::string errorText;
  if (snapshot::OpenSnapshotInterface(snapshots, errorText) != 0) {
    Emit(server.progress, "ERROR: " + errorText);
    return -1;
  }
  std::u16string recentName = snapshot::RecentName(server);
  std::string changeInfoDirectory;
  if (GetServerVaultinfoDir(server, storage::FromUtf16(recentName), changeInfoDirectory) != 0) {
    Emit(server.progress, "ERROR: Vaultinfo directory " + changeInfoDirectory + " could not be created.\r\n");
    return -1;
  }

  Emit(server.progress, "Placing Domino server in backup mode\r\n");
  int core = BackupCore(server, changeInfoDirectory, *snapshots, driveLetter, recentName);
  Emit(server.progress, "Returned from backup mode\r\n");
  if (core != 0) {
    Emit(server.progress, "FAILED Backup/Snapshot for " + server.serverName + " \r\n");
    return -1;
  }
  RecordSnapshotNames(server, recentName, timeDateName);

  Emit(server.progress, "Copying logs to Vaultinfo dir...\r\n");
  CopyLogsToVaultinfo(server, changeInfoDirectory);
  Emit(server.progress, "Completed log copy.\r\n");

  snapshots.reset();
  snapshot::RecordRecentTime(driveLetter, server);
  return 0;
}

// Everything of one server's backup after the Notes runtime started.
int BackupWithRuntime(BackupJob& job, PartitionInfo& server, StatusWindow* bar) {
  std::string volume = server.dataDisk.volume;
  std::string drive = DriveText(server.dataDisk.driveLetter);
  if (bar) bar->StepProgress();
  Emit(server.progress, "Starting Backup of Server " + server.serverName + "\r\n");
  Emit(server.progress,
       FormatTimestamp() + ": Snapshot will occur on VOL " + volume + " for VLD " + drive + "\r\n");
  if (bar) bar->StepProgress();

  if (SnapshotWithRotation(server.dataDisk.driveLetter, server, job.deleteExcess) != 0) {
    Emit(server.progress, "ERROR: Snapshot failed on " + volume + ".\r\n");
    return -1;
  }
  if (bar) bar->StepProgress();
  Emit(server.progress, FormatTimestamp() + ": Snapshot Complete on VOL " + volume + " for VLD " + drive + "\r\n");

  if (job.deleteExcess) {
    Emit(server.progress,
         FormatTimestamp() + ": Removing snapshots in excess of " + std::to_string(job.keepCount) + "\r\n");
    int deleted = 0;
    if (snapshot::DeleteExcessSnapshots(server, server.dataDisk.driveLetter, job.keepCount, deleted) != 0)
      return -1;
    Emit(server.progress, FormatTimestamp() + ": Deleted " + std::to_string(deleted) + " snapshots\r\n");
  }
  if (bar) bar->StepProgress();
  Emit(server.progress, FormatTimestamp() + ": Backup Completed for Server: " + server.serverName + "\r\n");
  WriteNotesIniValue("BACKUPWIZ", "1", GetIniPath());
  return 0;
}

void CopySinkSettings(const ProgressSink& from, ProgressSink& to) {
  to.text.clear();
  to.window = from.window;
  to.itemId = from.itemId;
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
  StatusWindow* bar = ProgressBar(job);
  if (bar) bar->SetProgressRange(0, 100, 10);

  Emit(server.progress, "Initialize notes system with " + server.notesIniPath + "\r\n");
  if (StartNotesRuntime(notes::Api(), server.notesIniPath) != 0) {
    Emit(server.progress, "ERROR: cannot initialize notes for Server " + server.serverName + "\r\n");
    return -1;
  }
  int result = 0;
  {
    NotesRuntimeScope runtime(notes::Api());
    result = BackupWithRuntime(job, server, bar);
  }
  if (result == 0 && bar) bar->SetProgressPosition(100);
  return result;
}

namespace {

int RunSelectedServers(BackupJob& job) {
  RunLock runLock = AcquireRunLock(job.output);
  if (!runLock) {
    Emit(job.output, "ERROR: Backup aborted.\r\n");
    SaveBackupReport();
    return -1;
  }
  StatusWindow* bar = ProgressBar(job);
  if (bar) bar->SetBusyCursor(true);
  Emit(job.output, "Start time is: " + FormatTimestamp() + "\r\n");

  for (PartitionInfo& server : job.servers.servers) {
    if (!server.selected) continue;
    CopySinkSettings(job.output, server.progress);
    int result = BackupServer(job, server);
    job.output.consoleOpen = server.progress.consoleOpen;
    if (result != 0) {
      Emit(job.output, "ERROR: Backup of partition failed.\r\n");
      EndOfRunControls(bar);
      runLock.reset();
      SaveBackupReport();
      return -1;
    }
  }
  job.completed = true;
  Emit(job.output, "End time is: " + FormatTimestamp() + "\r\n");
  SaveBackupReport();
  EndOfRunControls(bar);
  runLock.reset();
  return 0;
}

// An unexpected exception (out of memory, a failing library) still ends the
// run in the usual way: unwinding has released the databases, the Notes
// runtime and the run lock; the report says what happened.
int EndAfterException(BackupJob& job, const std::string& what) {
  job.completed = false;
  Emit(job.output, "ERROR: " + what + "\r\nERROR: Backup aborted.\r\n");
  EndOfRunControls(ProgressBar(job));
  SaveBackupReport();
  return -1;
}

}  // namespace

int RunBackup(BackupJob& job) {
  job.completed = false;
  ClearProgressText();
  try {
    return RunSelectedServers(job);
  } catch (const OMBError& error) {
    return EndAfterException(job, error.message());
  } catch (const std::exception& error) {
    return EndAfterException(job, error.what());
  } catch (...) {
    return EndAfterException(job, "Unknown error.");
  }
}

}  // namespace omb::backup
