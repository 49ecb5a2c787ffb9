#include "snapshot/deletion.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "component/component.h"
#include "core/progress.h"
#include "domino/incomplete.h"
#include "domino/pins.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "reports/reports.h"
#include "snapshot/naming.h"
#include "storage/storage.h"
#include "vault/hint_files.h"
#include "vault/log_archive.h"

namespace omb::snapshot {

namespace {

// The next backup needs room for one snapshot under the volume's limit of 31.
// Log numbers are the seven digits after the leading "S" of "S%07d.TXN".
constexpr size_t kLogNumberDigits = 7;

std::string WithTrailingBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

std::string WithoutTrailingBackslash(std::string folder) {
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::string AfterLastDoubleUnderscore(const std::string& text) {
  const size_t cut = text.rfind("__");
  return cut == std::string::npos ? text : text.substr(cut + 2);
}

std::string FileNameOf(const std::string& path) {
  const size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

uint32_t LogNumberOf(const std::string& fileName) {
  uint32_t number = 0;
  for (size_t i = 1; i < fileName.size() && i <= kLogNumberDigits; ++i) {
    if (fileName[i] < '0' || fileName[i] > '9') break;
    number = number * 10 + static_cast<uint32_t>(fileName[i] - '0');
  }
  return number;
}

// When a snapshot directory's snapshot was taken: from its time/date name,
// or for a snapshot still named recent from its snapshot_time_date file.
std::optional<uint64_t> SnapshotTime(const std::string& directory) {
  std::string suffix = AfterLastDoubleUnderscore(WithoutTrailingBackslash(directory));
  if (platform::EqualsNoCase(suffix, "recent")) {
    std::string timeDateName;
    if (backup::ReadSnapshotTimeDate(directory, timeDateName) != 0) return std::nullopt;
    suffix = AfterLastDoubleUnderscore(timeDateName);
  }
  return ParseTimeDateSuffix(suffix);
}

// Every folder below `folder` (not those starting with "."), depth first,
// that holds a log_hint file.
void FindLogHints(const std::string& folder, std::vector<SnapshotDirectory>& found) {
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(folder, entries) != 0) return;
  for (const platform::DirEntry& entry : entries) {
    if (entry.isDirectory) {
      if (entry.name.empty() || entry.name[0] != '.') FindLogHints(platform::JoinPath(folder, entry.name), found);
      continue;
    }
    if (!platform::EqualsNoCase(entry.name, "log_hint")) continue;
    SnapshotDirectory directory;
    directory.directory = WithTrailingBackslash(folder);
    // An unreadable log_hint tells nothing about the logs its snapshot needs.
    if (backup::ReadLogHint(folder, directory.firstLog, directory.series, directory.hintPath) != 0) continue;
    directory.hintPath = platform::JoinPath(folder, entry.name);
    directory.pinned = IsChangeInfoDirectoryPinned(folder);
    found.push_back(directory);
  }
}

// Only the server's own snapshot directories: logs never move to another server.
std::vector<SnapshotDirectory> ServerSnapshotDirectories(const PartitionInfo& server) {
  std::vector<SnapshotDirectory> directories;
  std::string serverDirectory;
  if (GetServerVaultinfoDir(server, "", serverDirectory) == 0) FindLogHints(serverDirectory, directories);
  return directories;
}

bool SameDirectory(const std::string& a, const std::string& b) {
  return platform::EqualsNoCase(WithTrailingBackslash(a), WithTrailingBackslash(b));
}

// A snapshot of the list that an archived log of a deleted snapshot serves:
// same series, the log at or after the first one it needs, and newer than
// the deleted snapshot, or older and pinned (its up-to-the-minute restore
// needs every log since its own first one).
bool NeedsLog(const SnapshotDirectory& entry, uint32_t logNumber, uint64_t deletedTime,
              const std::string& deletedSeries, bool newer) {
  if (!platform::EqualsNoCase(entry.series, deletedSeries) || logNumber < entry.firstLog) return false;
  if (!newer && !entry.pinned) return false;
  // A snapshot whose time cannot be learnt is passed over; the others may
  // still need the log.
  const std::optional<uint64_t> entryTime = SnapshotTime(entry.directory);
  if (!entryTime) return false;
  return newer ? *entryTime > deletedTime : *entryTime < deletedTime;
}

bool MoveLogTo(ProgressSink& output, const SnapshotDirectory& entry, const std::string& logPath,
               const std::string& fileName) {
  const std::string logsFolder = entry.directory + "logs\\";
  const std::string stem = fileName.substr(0, fileName.rfind('.'));
  const std::string target = logsFolder + stem + ".TXN";
  Emit(output, "Saving  log file " + logPath + "\r\n" + "Moving to " + target + "\r\n");
  // The snapshot may have archived no logs of its own yet.
  CreateDirectoryPath(logsFolder);
  return platform::MoveFileOrDirectory(logPath, target) == 0;
}

// Moves one archived log into the first newer snapshot of the same log
// series that still needs it, else into an older pinned one that does.
void SaveOneLog(ProgressSink& output, const std::vector<SnapshotDirectory>& directories,
                const std::string& logPath, uint64_t deletedTime, const std::string& deletedSeries) {
  const std::string fileName = FileNameOf(logPath);
  const uint32_t logNumber = LogNumberOf(fileName);
  for (const bool newer : {true, false}) {
    for (const SnapshotDirectory& entry : directories) {
      if (NeedsLog(entry, logNumber, deletedTime, deletedSeries, newer) &&
          MoveLogTo(output, entry, logPath, fileName))
        return;
    }
  }
}

struct DeletionRun {
  PartitionInfo& server;
  char driveLetter;
  std::vector<SnapshotDirectory> directories;
  std::string report;
  int deleted = 0;
};

bool OpenInterface(storage::Component& component, ProgressSink& out,
                   std::unique_ptr<storage::SnapshotInterface>& snapshots) {
  storage::HRESULT hr = component.GetSnapshotFactory();
  if (!storage::Failed(hr)) hr = component.CreateSnapshotInterface(snapshots);
  if (!storage::Failed(hr) && snapshots) return true;
  Emit(out, "ERROR could not initialize snapshot COM object. Delete aborted.\r\n" + SystemText(hr));
  return false;
}

// The server's snapshots in the component's order (newest first).
std::vector<std::u16string> Candidates(const PartitionInfo& server,
                                       const std::vector<storage::SnapshotRecord>& records) {
  const std::string prefix = ServerPrefix(server);
  std::vector<std::u16string> names;
  for (const storage::SnapshotRecord& record : records) {
    if (BelongsToServer(prefix, storage::FromUtf16(record.name))) names.push_back(record.name);
  }
  return names;
}

// Removes a deleted snapshot's change-info directory after saving the logs
// that newer snapshots need. False when the directory cannot be removed.
bool RemoveChangeInfo(DeletionRun& run, const std::string& name) {
  std::string directory;
  if (GetServerVaultinfoDir(run.server, name, directory) != 0 || DirectoryExists(directory) != 0) return true;
  SaveSnapshotLogs(run.server.progress, run.directories, directory);
  const int removed = DeleteDirectoryTree(directory);
  if (removed != 0) {
    Emit(run.server.progress, "ERROR: Could not remove snapshot sub directory: " + directory + "\r\n" +
                                  platform::FormatMessageText(static_cast<uint32_t>(removed)));
    return false;
  }
  Emit(run.server.progress, "Removed snapshot sub directory: " + directory + "\r\n");
  std::erase_if(run.directories,
                [&](const SnapshotDirectory& entry) { return SameDirectory(entry.directory, directory); });
  return true;
}

// Deletes one snapshot. A refusal by the component keeps the snapshot's
// directory, since the snapshot and its change information still exist.
bool DeleteOne(DeletionRun& run, storage::SnapshotInterface& snapshots, const std::u16string& wideName) {
  const std::string name = storage::FromUtf16(wideName);
  bool deleted = false;
  const storage::HRESULT hr = snapshots.DeleteSnapShot(DriveString(run.driveLetter), wideName, deleted);
  if (storage::Failed(hr) || !deleted) {
    const std::string reason = storage::Failed(hr) ? SystemText(hr) : "The snapshot was not deleted.\r\n";
    const std::string warning = "WARNING: Could not delete snapshot " + name + ": " + reason;
    Emit(run.server.progress, warning);
    run.report += warning;
    return true;
  }
  ++run.deleted;
  run.report += "Deleted snapshot " + name + " on VOL " + run.server.dataDisk.volume + "\r\n";
  return RemoveChangeInfo(run, name);
}

void KeepPinned(DeletionRun& run, const std::string& name) {
  const std::string line = "Kept pinned snapshot " + name + "\r\n";
  Emit(run.server.progress, line);
  run.report += line;
}

}  // namespace

int DeleteExcessSnapshots(const RunServices& services, PartitionInfo& server, char driveLetter, int keepCount,
                          int& deleted) {
  DeletionRun run{server, driveLetter, ServerSnapshotDirectories(server), "", 0};
  deleted = 0;
  // A volume holds 31 snapshots and one more backup needs room: a larger
  // keep count is used, and shown, as 30.
  keepCount = std::clamp(keepCount, 0, kMaxKeptSnapshots);
  Emit(server.progress, "Preparing to delete snapshots in excess of " + std::to_string(keepCount) + "\r\n");

  std::unique_ptr<storage::SnapshotInterface> snapshots;
  if (!OpenInterface(services.storage, server.progress, snapshots)) return -1;
  std::vector<storage::SnapshotRecord> records;
  const storage::HRESULT hr = snapshots->EnumSnapShots(DriveString(driveLetter), records);
  if (storage::Failed(hr)) {
    Emit(server.progress,
         "ERROR: Couldn't enumerate snapshots in order to delete excess snapshots." + SystemText(hr));
    return -1;
  }
  if (records.size() == 1) {
    Emit(server.progress, "Only one snapshot found, which is most recent. Deletion aborted.\r\n");
    return 0;
  }

  run.report = FormatTimestamp(services.clock) + "  Deletion Report\r\n\r\n";
  const std::vector<std::u16string> candidates = Candidates(server, records);
  // An incomplete snapshot is no backup: it takes none of the kept places
  // and is deleted with the excess. A pinned one is kept beside them.
  int kept = 0;
  for (const std::u16string& candidate : candidates) {
    const std::string name = storage::FromUtf16(candidate);
    const bool incomplete = IsSnapshotIncomplete(server, name);
    if (!incomplete && IsSnapshotPinned(server, name)) {
      KeepPinned(run, name);
      continue;
    }
    if (!incomplete && kept < keepCount) {
      ++kept;
      continue;
    }
    const bool ok = DeleteOne(run, *snapshots, candidate);
    deleted = run.deleted;
    if (!ok) return -1;
  }
  snapshots.reset();
  run.report += "\r\n\r\nDeleted " + std::to_string(run.deleted) + " snapshots.";
  reports::SaveRunReport(services, "Delete Snapshot", run.report);
  return 0;
}

int SaveSnapshotLogs(ProgressSink& output, const std::vector<SnapshotDirectory>& directories,
                     const std::string& changeInfoDirectory) {
  // Logs only serve snapshots of their own log series; without the deleted
  // snapshot's series or time there is nothing to match them against.
  uint32_t firstLog = 0;
  std::string series;
  std::string hintPath;
  if (backup::ReadLogHint(changeInfoDirectory, firstLog, series, hintPath) != 0) return 0;
  const std::optional<uint64_t> deletedTime = SnapshotTime(changeInfoDirectory);
  if (!deletedTime) return 0;

  std::vector<std::string> logs;
  backup::ListArchivedLogs(changeInfoDirectory, logs);
  for (const std::string& logPath : logs) SaveOneLog(output, directories, logPath, *deletedTime, series);
  return 0;
}

}  // namespace omb::snapshot
