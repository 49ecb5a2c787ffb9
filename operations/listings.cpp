#include "operations/listings.h"

#include <cctype>
#include <map>
#include <set>

#include "backup/databases.h"
#include "domino/discovery.h"
#include "domino/notes_runtime.h"
#include "domino/vaultinfo.h"
#include "notes/status.h"
#include "platform/files.h"
#include "restore/restore.h"
#include "vault/hint_files.h"
#include "vault/log_archive.h"

namespace omb::ops {

namespace {

constexpr size_t kExtentNameLength = 12;  // "S0000123.TXN"

// The extent number of an archived or active log file name, or 0 when the
// name is not one ("S%07d.TXN", any case).
uint32_t ExtentNumberOf(const std::string& fileName) {
  if (fileName.size() != kExtentNameLength || std::toupper(static_cast<unsigned char>(fileName[0])) != 'S') return 0;
  const std::string extension = fileName.substr(8);
  if (extension.size() != 4 || extension[0] != '.' || std::toupper(static_cast<unsigned char>(extension[1])) != 'T' ||
      std::toupper(static_cast<unsigned char>(extension[2])) != 'X' ||
      std::toupper(static_cast<unsigned char>(extension[3])) != 'N') {
    return 0;
  }
  uint32_t number = 0;
  for (size_t index = 1; index < 8; ++index) {
    if (!std::isdigit(static_cast<unsigned char>(fileName[index]))) return 0;
    number = number * 10 + static_cast<uint32_t>(fileName[index] - '0');
  }
  return number;
}

std::string FileNameOf(const std::string& windowsPath) {
  const size_t slash = windowsPath.find_last_of('\\');
  return slash == std::string::npos ? windowsPath : windowsPath.substr(slash + 1);
}

// Where a server's log extents are: the live one, those still in the
// active log folder, and the archived copies in its Vaultinfo tree (which
// count only for the series their snapshot's log_hint names).
class ServerLogs {
 public:
  ServerLogs(notes::NotesApi& api, const PartitionInfo& server) {
    if (StartNotesRuntime(api, server.notesIniPath) == 0) {
      NotesRuntimeScope runtime(api);
      uint32_t last = 0;
      backup::CurrentLogSeries(api, last, currentSeries_);
      lastExtent_ = last == 0 && !currentSeries_.empty() ? 1 : last;
      newestRecordKnown_ = api.LastLogRecordTime(newestRecord_) == notes::kNoError;
    }
    ListActive(server.logPath);
    std::string vaultDirectory;
    if (GetServerVaultinfoDir(server, "", vaultDirectory) == 0) backup::ListArchivedLogs(vaultDirectory, archived_);
  }

  uint32_t lastExtent() const { return lastExtent_; }
  bool newestRecordKnown() const { return newestRecordKnown_; }
  uint64_t newestRecord() const { return newestRecord_; }
  const std::string& currentSeries() const { return currentSeries_; }

  // The extent is in the active log folder, or archived in `series`.
  bool Has(uint32_t number, const std::string& series) {
    return active_.count(number) != 0 || ArchivedIn(series).count(number) != 0;
  }

 private:
  void ListActive(const std::string& logPath) {
    std::vector<platform::DirEntry> entries;
    if (logPath.empty() || platform::ListDirectory(logPath, entries) != 0) return;
    for (const platform::DirEntry& entry : entries) {
      if (const uint32_t number = entry.isDirectory ? 0 : ExtentNumberOf(entry.name)) active_.insert(number);
    }
  }

  const std::set<uint32_t>& ArchivedIn(const std::string& series) {
    auto found = archivedBySeries_.find(series);
    if (found != archivedBySeries_.end()) return found->second;
    std::set<uint32_t>& numbers = archivedBySeries_[series];
    for (const std::string& path : archived_) {
      const uint32_t number = ExtentNumberOf(FileNameOf(path));
      if (number != 0 && backup::ArchivedLogMatchesSeries(path, series) == 0) numbers.insert(number);
    }
    return numbers;
  }

  uint32_t lastExtent_ = 0;
  bool newestRecordKnown_ = false;
  uint64_t newestRecord_ = 0;
  std::string currentSeries_;
  std::set<uint32_t> active_;
  std::vector<std::string> archived_;
  std::map<std::string, std::set<uint32_t>> archivedBySeries_;
};

void FillLogs(const PartitionInfo& server, ServerLogs& logs, SnapshotDetails& details) {
  std::string directory, hintPath;
  if (GetServerVaultinfoDir(server, details.name, directory) != 0) return;
  uint32_t first = 0;
  if (backup::ReadLogHint(directory, first, details.logSeries, hintPath) != 0) return;
  details.logHint = true;
  details.firstLog = first == 0 ? 1 : first;
  details.lastLog = logs.lastExtent();
  details.seriesCurrent = !details.logSeries.empty() && details.logSeries == logs.currentSeries();
  for (uint32_t number = details.firstLog; number < details.lastLog; ++number) {
    if (logs.Has(number, details.logSeries)) continue;
    if (details.missingLogs.size() < kMaxListedItems) details.missingLogs.push_back(number);
    ++details.missingCount;
  }
  details.logsPresent = details.seriesCurrent && details.missingCount == 0 && details.lastLog != 0;
  if (details.logsPresent && logs.newestRecordKnown()) {
    const restore::RecoveryRange range = restore::ValidRecoveryRange(details.creationTime, logs.newestRecord());
    details.recoverFrom = range.from;
    details.recoverTo = range.to;
  }
}

char DriveOf(const std::string& windowsPath) {
  if (windowsPath.size() < 2 || windowsPath[1] != ':' || !std::isalpha(static_cast<unsigned char>(windowsPath[0]))) {
    return 0;
  }
  return static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
}

int64_t FreeMegabytes(char drive) {
  uint64_t bytes = 0;
  if (drive == 0 || !platform::FreeBytes(drive, bytes)) return -1;
  return static_cast<int64_t>(bytes >> 20);
}

// Size and free space of a drive; both -1 when unknown.
void DriveMegabytes(char drive, int64_t& sizeMegabytes, int64_t& freeMegabytes) {
  uint64_t total = 0, free = 0;
  sizeMegabytes = freeMegabytes = -1;
  if (drive == 0 || !platform::DriveSpace(drive, total, free)) return;
  freeMegabytes = static_cast<int64_t>(free >> 20);
  if (total != 0) sizeMegabytes = static_cast<int64_t>(total >> 20);
}

// The change-information query answers "not in backup mode" for a
// database outside backup mode, and "wrong context" (or the size) for one
// in it; asking with no context of our own tells the two apart without
// touching the database.
bool InBackupMode(notes::NotesApi& api, notes::Handle db) {
  uint32_t low = 0, high = 0;
  const notes::Status status = api.GetChangeInfoSize(db, 0, low, high);
  return status == notes::kNoError || status == notes::kErrBadBackupContext;
}

void CountBackupMode(notes::NotesApi& api, const PartitionInfo& server, ServerStatus& status) {
  std::vector<backup::DatabaseRecord> databases;
  backup::EnumerateDatabases(server.dataPath, databases);
  for (const backup::DatabaseRecord& database : databases) {
    notes::Handle db = 0;
    if (api.OpenDb(database.path, db) != notes::kNoError) continue;
    if (InBackupMode(api, db)) {
      ++status.databasesInBackup;
      if (status.backupModeDatabases.size() < kMaxListedItems) status.backupModeDatabases.push_back(database.path);
    }
    api.CloseDb(db);
  }
}

// Ready extents as the archiving session lists them, and since when the
// oldest has waited (its last write); nothing is marked.
void CountExtentsWaiting(notes::NotesApi& api, ServerStatus& status) {
  if (api.ArchiveBegin() != notes::kNoError) return;
  status.extentsWaiting = 0;
  notes::LogExtent extent;
  for (notes::Status next = api.ArchiveFirst(extent); next == notes::kNoError; next = api.ArchiveNext(extent)) {
    ++status.extentsWaiting;
    const uint64_t written = extent.path.empty() ? 0 : platform::LastWriteTime(extent.path);
    if (written != 0 && (status.oldestWaitingTime == 0 || written < status.oldestWaitingTime)) {
      status.oldestWaitingTime = written;
    }
  }
  api.ArchiveEnd();
}

void FillRuntimeState(notes::NotesApi& api, const PartitionInfo& server, ServerStatus& status) {
  if (StartNotesRuntime(api, server.notesIniPath) != 0) {
    status.databasesInBackup = -1;
    return;
  }
  NotesRuntimeScope runtime(api);
  CountBackupMode(api, server, status);
  if (server.archiveLogging != 0) CountExtentsWaiting(api, status);
}

ServerStatus StatusOf(notes::NotesApi& api, const PartitionInfo& server) {
  ServerStatus status;
  status.partition = server.partitionNumber;
  status.server = server.serverName;
  status.logStyle = server.logStyle;
  status.snapshots = static_cast<int>(server.snapshots.size());
  for (const SnapshotEntry& entry : server.snapshots) {
    if (entry.incomplete) {
      ++status.incompleteSnapshots;
      continue;
    }
    // Oldest first: the last complete one is the newest.
    status.newestComplete = entry.name;
    status.newestCompleteTime = entry.component.creationTime;
  }
  FillRuntimeState(api, server, status);
  status.logDrive = server.logDisk.driveLetter != 0 ? server.logDisk.driveLetter : DriveOf(server.logPath);
  DriveMegabytes(status.logDrive, status.logSizeMegabytes, status.logFreeMegabytes);
  return status;
}

}  // namespace

std::vector<int> SnapshotNumbers(const std::vector<SnapshotEntry>& snapshots) {
  std::vector<int> numbers(snapshots.size(), 0);
  int next = 1;
  for (size_t index = snapshots.size(); index-- > 0;) {
    if (!snapshots[index].incomplete) numbers[index] = next++;
  }
  return numbers;
}

int ListSnapshotDetails(const RunServices& services, std::vector<SnapshotDetails>& list) {
  list.clear();
  ServerList servers;
  const int result = DiscoverServers(servers, services);
  for (const PartitionInfo& server : servers.servers) {
    ServerLogs logs(services.notes, server);
    const std::vector<int> numbers = SnapshotNumbers(server.snapshots);
    for (size_t index = 0; index < numbers.size(); ++index) {
      const SnapshotEntry& entry = server.snapshots[index];
      SnapshotDetails details;
      details.partition = server.partitionNumber;
      details.server = server.serverName;
      details.name = entry.name;
      details.number = numbers[index];
      details.creationTime = entry.component.creationTime;
      details.complete = !entry.incomplete;
      details.pinned = entry.pinned;
      FillLogs(server, logs, details);
      list.push_back(std::move(details));
    }
  }
  return result;
}

int CollectMachineStatus(const RunServices& services, MachineStatus& status) {
  status = MachineStatus{};
  status.now = services.clock.NowFileTime();
  ServerList servers;
  status.discoveryResult = DiscoverServers(servers, services);
  status.machineName = servers.machineName;
  status.vaultinfoDrive = DriveOf(GetVaultinfoRoot());
  status.vaultinfoFreeMegabytes = FreeMegabytes(status.vaultinfoDrive);
  for (const PartitionInfo& server : servers.servers) status.servers.push_back(StatusOf(services.notes, server));
  return status.discoveryResult;
}

}  // namespace omb::ops
