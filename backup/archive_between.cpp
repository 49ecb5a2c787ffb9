#include "backup/archive_between.h"

#include <fcntl.h>
#include <unistd.h>

#include <exception>
#include <vector>

#include "domino/discovery.h"
#include "domino/incomplete.h"
#include "domino/locks.h"
#include "domino/notes_runtime.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix_io.h"
#include "reports/reports.h"
#include "vault/hint_files.h"
#include "vault/log_archive.h"

namespace omb::backup {

namespace {

constexpr const char* kReportCategory = "Backup";
constexpr const char* kAborted = "ERROR: Log archiving aborted.\r\n";
constexpr int kEventTypeError = 1;
constexpr int kEventTypeWarning = 2;

// How a run that took the run lock ended, for its event and report.
struct Outcome {
  int result = 0;
  std::string server;
};

int Fail(ArchiveLogsJob& job, const std::string& text) {
  Emit(job.output, text + kAborted);
  return -1;
}

const PartitionInfo* FindPartition(const ServerList& servers, int partition) {
  for (const PartitionInfo& server : servers.servers) {
    if (server.partitionNumber == partition) return &server;
  }
  return nullptr;
}

char LogDriveOf(const PartitionInfo& server) {
  return server.logDisk.driveLetter != 0 ? server.logDisk.driveLetter : platform::DriveOf(server.logPath);
}

// True when the run has nothing to do because the log drive has at least
// the wanted share free. A drive that cannot be measured is archived.
bool LogDriveRoomy(ArchiveLogsJob& job, const PartitionInfo& server) {
  if (job.whenFreeBelowPercent <= 0) return false;
  const char drive = LogDriveOf(server);
  uint64_t total = 0, free = 0;
  if (drive == 0 || !platform::DriveSpace(drive, total, free) || total == 0) return false;
  const uint64_t freePercent = free * 100 / total;
  if (freePercent < static_cast<uint64_t>(job.whenFreeBelowPercent)) return false;
  Emit(job.output, "Log drive " + std::string(1, drive) + ": has " + std::to_string(freePercent) +
                       "% free, not below " + std::to_string(job.whenFreeBelowPercent) +
                       "%: no logs archived.\r\n");
  return true;
}

// The newest snapshot whose backup finished, or nullptr.
const SnapshotEntry* NewestComplete(const PartitionInfo& server) {
  for (auto entry = server.snapshots.rbegin(); entry != server.snapshots.rend(); ++entry) {
    if (!entry->incomplete && !IsSnapshotIncomplete(server, entry->name)) return &*entry;
  }
  return nullptr;
}

// Extents archived into a snapshot's folder count for a restore only when
// its log_hint names the series they belong to; archived elsewhere they
// would be taken for another series' extents of the same number.
int CheckSeries(ArchiveLogsJob& job, notes::NotesApi& api, const std::string& snapshotDirectory,
                const std::string& snapshot) {
  uint32_t first = 0, last = 0;
  std::string snapshotSeries, hintPath, currentSeries;
  if (ReadLogHint(snapshotDirectory, first, snapshotSeries, hintPath) != 0) {
    return Fail(job, "ERROR: Snapshot " + snapshot + " has no readable log hint (" + hintPath +
                         "); extents archived there could not be used.\r\nRun a backup.\r\n");
  }
  CurrentLogSeries(api, last, currentSeries);
  if (currentSeries != snapshotSeries) {
    return Fail(job, "ERROR: The current log series (0x" + currentSeries + ") is not the series of snapshot " +
                         snapshot + " (0x" + snapshotSeries + ").\r\nRun a backup.\r\n");
  }
  return 0;
}

// Flushes a file that a killed run put in place to the disk.
bool SyncCopy(const std::string& windowsPath) {
  const int fd = platform::OpenFile(platform::HostPath(windowsPath), O_RDONLY);
  if (fd < 0) return false;
  const bool synced = platform::SyncFile(fd) == 0;
  ::close(fd);
  return synced;
}

// A run killed after it put its copies in place but before Domino recorded
// them leaves archived copies of extents that are still ready. The
// archiving step never overwrites a copy, so without this every later run
// would stop at the first of them until the next backup, while the log
// drive fills. A copy that verifies as the whole extent is flushed and
// marked archived; a damaged one is set aside so that the step copies the
// extent again.
void SettleCopiesOfKilledRun(ArchiveLogsJob& job, notes::NotesApi& api, const std::string& target) {
  if (api.ArchiveBegin() != notes::kNoError) return;
  std::vector<uint32_t> numbers;
  notes::LogId logId{};
  notes::LogExtent extent;
  for (notes::Status status = api.ArchiveFirst(extent); status == notes::kNoError; status = api.ArchiveNext(extent)) {
    const std::string copy = target + ArchivedLogName(extent.number);
    if (!platform::IsFile(copy) || (!numbers.empty() && extent.logId != logId)) break;
    if (api.VerifyLogExtent(copy, extent.number) != notes::kNoError || !SyncCopy(copy)) {
      platform::DeleteOneFile(copy + ".damaged");
      if (platform::MoveFileOrDirectory(copy, copy + ".damaged") == 0) {
        Emit(job.output, "WARNING: Damaged archived log " + copy + " was moved to " + copy + ".damaged.\r\n");
      }
      break;
    }
    Emit(job.output, "Archived log " + copy + " left by an interrupted run is complete.\r\n");
    logId = extent.logId;
    numbers.push_back(extent.number);
  }
  if (!numbers.empty()) {
    platform::SyncFolder(platform::HostPath(target));
    if (api.MarkArchivedBatch(logId, numbers) == notes::kNoError) job.archived += static_cast<int>(numbers.size());
  }
  api.ArchiveEnd();
}

// Archives through the backup's own step. A failed copy is said by that
// step ("Could not copy ..."); the extent and the later ones stay ready.
int ArchiveInto(ArchiveLogsJob& job, notes::NotesApi& api, const std::string& snapshotDirectory) {
  const std::string target = snapshotDirectory + "\\logs\\";
  SettleCopiesOfKilledRun(job, api, target);
  const size_t before = job.output.accumulated.size();
  std::vector<uint32_t> attempted;
  const int result = ArchiveLogs(api, job.output, target, attempted);
  const bool copyFailed = job.output.accumulated.find("Could not copy ", before) != std::string::npos;
  job.archived += static_cast<int>(attempted.size()) - (copyFailed ? 1 : 0);
  Emit(job.output, "Archived " + std::to_string(job.archived) + " log extents into " + target + "\r\n");
  if (result != 0) return Fail(job, "ERROR: Domino log archiving failed.\r\n");
  if (copyFailed) {
    Emit(job.output, "WARNING: Not every ready log extent could be archived; the rest wait for the next run.\r\n");
    return kArchiveCopyFailed;
  }
  return 0;
}

int ArchiveWithRuntime(ArchiveLogsJob& job, PartitionInfo& server) {
  const SnapshotEntry* snapshot = NewestComplete(server);
  if (snapshot == nullptr) {
    return Fail(job, "ERROR: Server " + server.serverName +
                         " has no complete snapshot: archived logs belong to a snapshot.\r\nRun a backup first.\r\n");
  }
  job.snapshot = snapshot->name;
  std::string snapshotDirectory;
  if (GetServerVaultinfoDir(server, snapshot->name, snapshotDirectory) != 0) {
    return Fail(job, MissingChangeInfoDirText());
  }
  Emit(job.output, "Archiving logs of Server " + server.serverName + " for snapshot " + snapshot->name + "\r\n");
  if (StartNotesRuntime(job.services.notes, server.notesIniPath) != 0) {
    return Fail(job, "ERROR: cannot initialize notes for Server " + server.serverName + "\r\n");
  }
  NotesRuntimeScope runtime(job.services.notes);
  if (CheckSeries(job, job.services.notes, snapshotDirectory, snapshot->name) != 0) return -1;
  return ArchiveInto(job, job.services.notes, snapshotDirectory);
}

// Everything after the free-space check, under the run lock: the snapshot
// list is read again there, so a backup that ended just before counts.
int ArchiveLocked(ArchiveLogsJob& job, PartitionInfo& server) {
  RunLock runLock = AcquireRunLock(job.output);
  if (!runLock) return Fail(job, "");
  LoadSnapshotList(server, job.services.storage);
  return ArchiveWithRuntime(job, server);
}

void RecordRun(ArchiveLogsJob& job, const std::string& server, int result) {
  const int type = result == 0 ? kEventInformation : result == kArchiveCopyFailed ? kEventTypeWarning : kEventTypeError;
  ReportRunEvent(type, kCategoryBackup, kEventLogsArchived, {server, std::to_string(job.archived), job.snapshot});
  Emit(job.output, "End time is: " + FormatTimestamp(job.services.clock) + "\r\n");
  reports::SaveRunReport(job.services, kReportCategory, TakeProgressText());
}

int ArchiveRun(ArchiveLogsJob& job, std::string& serverName) {
  ServerList servers;
  DiscoverServers(servers, job.services);
  const PartitionInfo* found = FindPartition(servers, job.partition);
  if (found == nullptr) {
    return Fail(job, "ERROR: This computer has no Domino partition " + std::to_string(job.partition) + ".\r\n");
  }
  PartitionInfo server = *found;
  serverName = server.serverName;
  if (!server.archiveLogging) {
    return Fail(job, "ERROR: Server: " + server.shortName + " is not set to archive mode.\r\n" +
                         "Only archival transaction logging is supported.\r\n");
  }
  if (LogDriveRoomy(job, server)) {
    job.skipped = true;
    return 0;
  }
  Emit(job.output, "Start time is: " + FormatTimestamp(job.services.clock) + "\r\n");
  return ArchiveLocked(job, server);
}

}  // namespace

int RunArchiveLogs(ArchiveLogsJob& job) {
  job.archived = 0;
  job.skipped = false;
  job.snapshot.clear();
  ClearProgressText();
  std::string serverName;
  int result = -1;
  try {
    result = ArchiveRun(job, serverName);
  } catch (const std::exception& error) {
    Fail(job, std::string("ERROR: ") + error.what() + "\r\n");
  } catch (...) {
    Fail(job, "ERROR: Unknown error.\r\n");
  }
  // A run with nothing to archive leaves no report: the timer starts one
  // every few minutes.
  const bool quiet = job.skipped || (result == 0 && job.archived == 0);
  if (!quiet) RecordRun(job, serverName, result);
  else ClearProgressText();
  if (job.output.window) job.output.window->Finished(result == 0);
  return result;
}

}  // namespace omb::backup
