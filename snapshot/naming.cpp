#include "snapshot/naming.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "component/component.h"
#include "core/progress.h"
#include "domino/discovery.h"
#include "domino/incomplete.h"
#include "domino/pins.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "platform/test_steps.h"
#include "platform/text.h"
#include "storage/storage.h"
#include "vault/hint_files.h"

namespace omb::snapshot {

namespace {

constexpr size_t kMaxRecentNameLength = 1024;
// A volume holds at most this many snapshots; one more backup needs room.
constexpr int kVolumeSnapshotLimit = 31;
constexpr int kVolumeWarningCount = 30;
// Longest number a name field may carry; longer digit runs are cut there.
constexpr int kMaxFieldDigits = 9;

using storage::FromUtf16;
using storage::ToUtf16;

// Reads the leading decimal digits of a field; anything else gives 0.
int LeadingNumber(const std::string& text) {
  int value = 0;
  for (size_t i = 0; i < text.size() && i < kMaxFieldDigits; ++i) {
    if (text[i] < '0' || text[i] > '9') break;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Splits a field group ("4-7-2003") into exactly three numbers.
void ThreeNumbers(const std::string& text, const std::string& separator, int& a, int& b, int& c) {
  std::vector<std::string> pieces;
  platform::SplitText(text, separator, pieces);
  a = pieces.size() > 0 ? LeadingNumber(pieces[0]) : 0;
  b = pieces.size() > 1 ? LeadingNumber(pieces[1]) : 0;
  c = pieces.size() > 2 ? LeadingNumber(pieces[2]) : 0;
}

// Sakamoto's day of the week, 0 = Sunday.
int DayOfWeek(int year, int month, int day) {
  static const int offsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7;
}

bool IsValidTime(const platform::SystemTime& t) {
  return t.year >= 1601 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour <= 23 &&
         t.minute <= 59 && t.second <= 59;
}

// The snapshot class factory and interface with the rotation's failure texts.
bool OpenInterface(storage::Component& component, ProgressSink& out,
                   std::unique_ptr<storage::SnapshotInterface>& snapshots) {
  if (storage::Failed(component.GetSnapshotFactory())) {
    Emit(out, "ERROR: Create Snapshot COM component FAILED\r\n");
    return false;
  }
  if (storage::Failed(component.CreateSnapshotInterface(snapshots)) || !snapshots) {
    Emit(out, "ERROR: Create Snapshot Interface FAILED\r\n");
    return false;
  }
  return true;
}

bool Enumerate(ProgressSink& out, storage::SnapshotInterface& snapshots, char driveLetter,
               std::vector<storage::SnapshotRecord>& records) {
  if (storage::Failed(snapshots.EnumSnapShots(DriveString(driveLetter), records))) {
    Emit(out, "ERROR: Could not enumerate snapshots.(COM FAILED)\r\n");
    return false;
  }
  Emit(out, "Enumerating Snapshots COMPLETE\r\n");
  return true;
}

// The recent snapshot's change-info directory, created when missing.
bool PrepareRecentDirectory(PartitionInfo& server, const std::string& recent, std::string& directory) {
  const bool formed = GetServerVaultinfoDir(server, recent, directory) == 0;
  if (!formed) Emit(server.progress, MissingChangeInfoDirText());
  if (formed) CreateDirectoryPath(directory);
  if (formed && DirectoryExists(directory) == 0) return true;
  Emit(server.progress, "ERROR: Vaultinfo directory " + directory + " could not be created.\r\n");
  return false;
}

// The server's snapshots of the volume that carry a pin.
int CountPinned(const PartitionInfo& server, const std::vector<storage::SnapshotRecord>& records) {
  const std::string prefix = ServerPrefix(server);
  int pinned = 0;
  for (const storage::SnapshotRecord& record : records) {
    const std::string name = FromUtf16(record.name);
    if (BelongsToServer(prefix, name) && IsSnapshotPinned(server, name)) ++pinned;
  }
  return pinned;
}

// 31 snapshots leave no room for another; 30 leave room for one more.
// Excess deletion never frees a pinned one, so the refusal says how many
// of them only an unpin can free.
bool CheckVolumeLimits(PartitionInfo& server, const std::vector<storage::SnapshotRecord>& records,
                       bool deleteExcess) {
  const int count = static_cast<int>(records.size());
  char line[512];
  std::snprintf(line, sizeof line, "There are currently %d snapshots on VOL %s.\n", count,
                server.dataDisk.volume.c_str());
  Emit(server.progress, line);
  if (count >= kVolumeSnapshotLimit) {
    Emit(server.progress, "31 Snapshots are on this volume.  Please delete at least one before continuing.\r\n");
    Emit(server.progress, std::to_string(CountPinned(server, records)) +
                              " of them are pinned; excess deletion keeps pinned snapshots until they are unpinned.\r\n");
    return false;
  }
  if (count == kVolumeWarningCount && !deleteExcess) {
    Emit(server.progress, "WARNING: 30 snapshots are on this volume. Additional backups will not be possible\r\n");
    Emit(server.progress, "until existing snapshots are removed.\r\n");
  }
  return true;
}

// The server's list, reconciled with the volume (which is the truth).
bool LoadHintList(storage::Component& component, PartitionInfo& server) {
  return ReconcileSnapshotList(server, component) == 0;
}

constexpr uint64_t kFileTimeSecond = 10'000'000;
// How many seconds a clashing name may move on before the rename gives up.
constexpr int kNameAttempts = 120;

bool NameOnVolume(const std::vector<storage::SnapshotRecord>& records, const std::string& name) {
  for (const storage::SnapshotRecord& record : records)
    if (platform::EqualsNoCase(FromUtf16(record.name), name)) return true;
  return false;
}

// The time/date name of the recent snapshot, unique on the volume and in
// the Vaultinfo tree: a name that is taken (two backups in one second, a
// directory left by a snapshot deleted by hand) moves on by one second, so
// a clash never blocks later backups.
std::u16string UniqueTimeDateName(PartitionInfo& server, const std::vector<storage::SnapshotRecord>& records,
                                  uint64_t creationTime) {
  const std::u16string first = TimeDateName(server, creationTime);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::u16string name = TimeDateName(server, creationTime + attempt * kFileTimeSecond);
    const std::string text = FromUtf16(name);
    std::string directory;
    GetServerVaultinfoDir(server, text, directory);
    if (NameOnVolume(records, text) || platform::PathExists(directory)) continue;
    if (attempt > 0) {
      Emit(server.progress, "WARNING: Snapshot name " + FromUtf16(first) + " is taken; using " + text + "\r\n");
    }
    return name;
  }
  return first;
}

// Records the renamed snapshot in the hint file at once, so that a backup
// failing later still leaves it in every restore list.
void RecordRenamedSnapshot(PartitionInfo& server, const std::string& hintPath,
                           const storage::SnapshotRecord& renamed) {
  server.snapshots.push_back(MakeSnapshotEntry(renamed));
  if (WriteNameList(hintPath, server.snapshots) != 0) {
    Emit(server.progress, "WARNING: Could not update snapshot hint file: " + hintPath + "\r\n");
  }
}

// Renames the recent snapshot and its change-info directory together; on a
// failed directory move the snapshot gets its old name back.
bool RenameRecent(PartitionInfo& server, storage::SnapshotInterface& snapshots, char driveLetter,
                  const std::vector<storage::SnapshotRecord>& records, const storage::SnapshotRecord& recent,
                  const std::string& recentDirectory, const std::string& hintPath, std::u16string& timeDateName) {
  Emit(server.progress, "Found and renaming recent snapshot\r\n");
  Trace("Found recent snapshot\n");
  const std::u16string renamed = UniqueTimeDateName(server, records, recent.creationTime);
  const std::string renamedText = FromUtf16(renamed);
  const std::u16string drive = DriveString(driveLetter);
  if (storage::Failed(snapshots.RenameSnapShot(drive, recent.name, renamed))) {
    Emit(server.progress, "ERROR: Could not rename snapshot to ." + renamedText + "\r\n");
    return false;
  }
  Emit(server.progress, "Recent snapshot renamed to " + renamedText + "\r\n");
  platform::ReachStep("rotation-snapshot-renamed");
  std::string renamedDirectory;
  GetServerVaultinfoDir(server, renamedText, renamedDirectory);
  if (platform::MoveFileOrDirectory(recentDirectory, renamedDirectory) != 0) {
    Emit(server.progress, "ERROR: Could not rename ChangeInfoDir from: " + recentDirectory + "\r\n");
    Emit(server.progress, "to: " + renamedDirectory + "\r\n");
    snapshots.RenameSnapShot(drive, renamed, recent.name);
    return false;
  }
  platform::ReachStep("rotation-directory-moved");
  timeDateName = renamed;
  if (IsSnapshotIncomplete(server, renamedText)) {
    // Kept as incomplete: listed as such, never numbered or restored.
    Emit(server.progress, "WARNING: Snapshot " + renamedText + " is incomplete and is kept only as such.\r\n");
    timeDateName.clear();
  } else {
    RecordRenamedSnapshot(server, hintPath, {renamed, recent.creationTime});
  }
  // The new recent snapshot's files (log_hint, disabled_databases) go into
  // a fresh directory of the recent name.
  CreateDirectoryPath(recentDirectory);
  return true;
}

// Deletes the recent snapshot of a backup that did not finish, with its
// change-info directory (it holds no archived logs: the mark is cleared
// before any log is archived there). False when the component refuses.
bool DeleteIncompleteRecent(PartitionInfo& server, storage::SnapshotInterface& snapshots, char driveLetter,
                            const std::string& recent, const std::string& recentDirectory) {
  Emit(server.progress, "WARNING: Snapshot " + recent + " was left incomplete by a backup that did not finish; deleting it.\r\n");
  bool deleted = false;
  const storage::HRESULT hr = snapshots.DeleteSnapShot(DriveString(driveLetter), ToUtf16(recent), deleted);
  if (storage::Failed(hr) || !deleted) {
    Emit(server.progress, "WARNING: The incomplete snapshot could not be deleted: " +
                              (storage::Failed(hr) ? SystemText(hr) : std::string("the storage component kept it.\r\n")));
    return false;
  }
  DeleteDirectoryTree(recentDirectory);
  CreateDirectoryPath(recentDirectory);
  Emit(server.progress, "Deleted incomplete snapshot " + recent + "\r\n");
  return true;
}

bool HasEntries(const std::string& directory) {
  std::vector<platform::DirEntry> entries;
  return platform::ListDirectory(directory, entries) == 0 && !entries.empty();
}

// The snapshot whose change-info directory is still under the recent name:
// the one its snapshot_time_date names, else the newest of the server
// without a directory of its own. Empty when there is none.
std::string OwnerOfRecentDirectory(PartitionInfo& server, const std::vector<storage::SnapshotRecord>& records,
                                   const std::string& recentDirectory) {
  std::string named;
  if (backup::ReadSnapshotTimeDate(recentDirectory, named) == 0 && NameOnVolume(records, named)) return named;
  const std::string prefix = ServerPrefix(server);
  const storage::SnapshotRecord* newest = nullptr;
  for (const storage::SnapshotRecord& record : records) {
    const std::string name = FromUtf16(record.name);
    std::string directory;
    if (!BelongsToServer(prefix, name) || GetServerVaultinfoDir(server, name, directory) != 0 ||
        platform::PathExists(directory))
      continue;
    if (newest == nullptr || record.creationTime > newest->creationTime) newest = &record;
  }
  return newest != nullptr ? FromUtf16(newest->name) : std::string();
}

// A run that ended between the snapshot's rename and its directory's move
// left the recent directory with no recent snapshot: the move is finished,
// so the renamed snapshot keeps its change information and the new backup
// starts in an empty directory.
void FinishInterruptedRename(PartitionInfo& server, const std::vector<storage::SnapshotRecord>& records,
                             const std::string& recentDirectory) {
  if (!HasEntries(recentDirectory) || IsSnapshotIncomplete(server, FromUtf16(RecentName(server)))) return;
  const std::string owner = OwnerOfRecentDirectory(server, records, recentDirectory);
  std::string target;
  if (owner.empty() || GetServerVaultinfoDir(server, owner, target) != 0) return;
  if (platform::MoveFileOrDirectory(recentDirectory, target) != 0) return;
  Emit(server.progress, "WARNING: The change information of snapshot " + owner +
                            " was still under the recent name; it was moved to " + target + "\r\n");
  CreateDirectoryPath(recentDirectory);
}

// With no recent snapshot on the volume, a pin left under the recent name
// belongs to no snapshot; the snapshot this backup takes must not inherit it.
void DropOrphanPin(PartitionInfo& server, const std::string& recent) {
  if (!IsSnapshotPinned(server, recent)) return;
  if (UnpinSnapshot(server, recent) == 0) {
    Emit(server.progress, "WARNING: A pin under the name " + recent + " belonged to no snapshot; it was removed.\r\n");
  }
}

std::string ComputerName() { return platform::ComputerName(); }

}  // namespace

std::u16string RecentName(const PartitionInfo& server) {
  std::string name = "dominosnap__" + ComputerName() + "__" + platform::ToUpper(server.shortName) + "__recent";
  if (name.size() > kMaxRecentNameLength) name.resize(kMaxRecentNameLength);
  return ToUtf16(name);
}

std::u16string TimeDateName(const PartitionInfo& server, uint64_t creationFileTimeUtc) {
  const platform::SystemTime t =
      platform::FileTimeToSystemTime(platform::FileTimeToLocalFileTime(creationFileTimeUtc));
  char suffix[96];
  std::snprintf(suffix, sizeof suffix, "%d-%d-%d_%d.%d.%d", t.month, t.day, t.year, t.hour, t.minute,
                t.second);
  return ToUtf16(ServerPrefix(server) + "__" + suffix);
}

std::string ServerPrefix(const PartitionInfo& server) {
  return "dominosnap__" + ComputerName() + "__" + server.shortName;
}

bool BelongsToServer(const std::string& prefix, const std::string& name) {
  if (name.size() < prefix.size() + 2) return false;
  return platform::EqualsNoCase(std::string_view(name).substr(0, prefix.size()), prefix) &&
         name.compare(prefix.size(), 2, "__") == 0;
}

uint64_t ParseTimeDateSuffix(const std::string& suffix) {
  std::vector<std::string> halves;
  platform::SplitText(suffix, "_", halves);
  platform::SystemTime t;
  ThreeNumbers(halves.size() > 0 ? halves[0] : "", "-", t.month, t.day, t.year);
  ThreeNumbers(halves.size() > 1 ? halves[1] : "", ".", t.hour, t.minute, t.second);
  // A suffix that is not a date (such as "recent") sorts before every date.
  if (!IsValidTime(t)) return 0;
  t.dayOfWeek = DayOfWeek(t.year, t.month, t.day);
  return platform::SystemTimeToFileTime(t);
}

int RotateRecent(storage::Component& component, char driveLetter, PartitionInfo& server, bool deleteExcess,
                 std::u16string& timeDateName) {
  timeDateName.clear();
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  if (!OpenInterface(component, server.progress, snapshots)) return -1;
  const std::u16string recent = RecentName(server);
  std::string recentDirectory;
  if (!PrepareRecentDirectory(server, FromUtf16(recent), recentDirectory)) return -1;

  Emit(server.progress, "Enumerating Snapshots (in order to rename recent to time/date)\r\n");
  std::vector<storage::SnapshotRecord> records;
  if (!Enumerate(server.progress, *snapshots, driveLetter, records)) return -1;
  if (!CheckVolumeLimits(server, records, deleteExcess)) return -1;
  if (!LoadHintList(component, server)) return -1;
  std::string hintPath;
  GetHintPath(server, hintPath);

  const std::string recentText = FromUtf16(recent);
  for (const storage::SnapshotRecord& record : records) {
    const std::string current = FromUtf16(record.name);
    Trace("recent name:" + recentText + "\ncur name   :" + current + "\n\n");
    if (!platform::EqualsNoCase(current, recentText)) continue;
    // A recent snapshot whose backup did not finish is deleted; only one
    // that cannot be deleted is renamed, keeping its incomplete mark.
    if (IsSnapshotIncomplete(server, recentText) &&
        DeleteIncompleteRecent(server, *snapshots, driveLetter, recentText, recentDirectory))
      return 0;
    return RenameRecent(server, *snapshots, driveLetter, records, record, recentDirectory, hintPath, timeDateName)
               ? 0
               : -1;
  }
  FinishInterruptedRename(server, records, recentDirectory);
  DropOrphanPin(server, recentText);
  return 0;
}

int RecordRecentTime(storage::Component& component, char driveLetter, PartitionInfo& server) {
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  if (!OpenInterface(component, server.progress, snapshots)) return -1;
  const std::string recent = FromUtf16(RecentName(server));
  std::string directory;
  if (GetServerVaultinfoDir(server, recent, directory) != 0 || DirectoryExists(directory) != 0) {
    Emit(server.progress, "ERROR: ChangeInfoDir does not exist.\r\n");
    return -1;
  }
  Emit(server.progress, "Enumerating Snapshots (in order to find recent)\r\n");
  std::vector<storage::SnapshotRecord> records;
  if (!Enumerate(server.progress, *snapshots, driveLetter, records)) return -1;
  for (const storage::SnapshotRecord& record : records) {
    if (!platform::EqualsNoCase(FromUtf16(record.name), recent)) continue;
    Trace("Found recent snapshot, getting time/date information\n");
    // A failed write is not reported; the backup's outcome does not depend on it.
    backup::WriteSnapshotTimeDate(directory, FromUtf16(TimeDateName(server, record.creationTime)));
    break;
  }
  return 0;
}

}  // namespace omb::snapshot
