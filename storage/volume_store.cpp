#include "storage/volume_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/durable.h"
#include "platform/file_faults.h"
#include "platform/paths.h"
#include "platform/posix_io.h"
#include "storage/tree_copy.h"

namespace omb::storage {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCreatedFile = "created";
constexpr size_t kMaxNameBytes = 255;

using platform::FileLock;

// The volume's lock, waited for: exclusive for changes, shared for listings.
std::unique_ptr<FileLock> LockVolume(const fs::path& volumeFolder, FileLock::Mode mode) {
  std::error_code error;
  fs::create_directories(volumeFolder, error);
  return FileLock::Acquire(volumeFolder / ".lock", mode);
}

// "." + name + suffix, built by appending: GCC 12 warns falsely
// (-Wrestrict) on "." + text at -O3.
std::string Hidden(const fs::path& name, const std::string& suffix) {
  std::string hidden = ".";
  hidden.append(name.filename().string()).append(suffix);
  return hidden;
}

// A unique hidden name for work folders of this process.
std::string WorkName(const std::string& purpose) {
  static std::atomic<unsigned> counter{0};
  return ".omb-" + purpose + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

// 0, or the errno of the failed write.
int WriteCreatedFile(const fs::path& folder, uint64_t creationTime) {
  const std::string text = "creationTime=" + std::to_string(creationTime) + "\n";
  return platform::WriteFileAtomically(folder / kCreatedFile, text);
}

// The creation time in a "created" file; false when missing or malformed.
bool ReadCreatedFile(const fs::path& folder, uint64_t& creationTime) {
  int fd = platform::OpenFile(folder / kCreatedFile, O_RDONLY);
  if (fd < 0) return false;
  char buffer[64] = {};
  ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (got <= 0) return false;
  unsigned long long value = 0;
  int consumed = 0;
  if (std::sscanf(buffer, "creationTime=%llu%n", &value, &consumed) != 1) return false;
  creationTime = value;
  return true;
}

// Host folder behind a drive letter, through a symlinked drive folder.
fs::path DriveContents(char driveLetter) {
  fs::path folder = platform::DriveFolder(driveLetter);
  std::error_code error;
  if (fs::is_symlink(folder, error)) {
    fs::path resolved = fs::canonical(folder, error);
    if (!error) return resolved;
  }
  return folder;
}

// Removes work folders that a crashed restore left beside the drive.
void RemoveStaleRestores(const fs::path& target) {
  std::string prefix = Hidden(target, ".omb-");
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(target.parent_path(), error)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) RemoveTree(entry.path());
  }
}

// Trees that a restore displaced wait in the volume's ".trash" folder until
// they are gone. Removing 1 GB takes about as long as copying it (each unlink
// waits on the device where freed blocks are discarded), so a restore moves
// the old tree there, which is one rename, and leaves the removal to a
// detached `rm`. Nothing is lost track of: whatever a remover did not finish
// (it was killed, the machine went down) is removed by the next restore or
// create of the volume, under the volume lock.
fs::path TrashFolder(const VirtualDisk& disk) { return VolumeFolder(disk) / ".trash"; }

void EmptyTrash(const fs::path& trash) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(trash, error)) RemoveTree(entry.path());
}

// Starts `rm -rf -- path` detached: /bin/sh puts it in the background and
// exits at once, so it is never our child to reap. It gets no descriptors of
// ours, so it holds no pipe of a caller open. False when it could not start.
bool RemoveDetached(const fs::path& path) {
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  std::string pathText = path.string();
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                  const_cast<char*>("rm -rf -- \"$1\" &"), const_cast<char*>("sh"), pathText.data(), nullptr};
  char* envp[] = {const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
  pid_t shell = -1;
  int spawned = ::posix_spawn(&shell, "/bin/sh", &actions, nullptr, argv, envp);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (::waitpid(shell, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Below this size a tree is removed at once: that costs less than starting a
// process, and the caller finds the volume folder settled when we return.
constexpr unsigned long long kDetachFiles = 256;
constexpr unsigned long long kDetachBytes = 64ull << 20;

// Moves a displaced tree into the trash and has it removed there; removes it
// in place when it is small (`report` describes the copy that replaced it),
// cannot move (the drive folder is a link to another file system) or no
// remover starts.
void Discard(const fs::path& displaced, const fs::path& trash, const CopyReport& report) {
  if (report.files < kDetachFiles && report.bytes < kDetachBytes) {
    RemoveTree(displaced);
    return;
  }
  std::error_code error;
  fs::create_directories(trash, error);
  fs::path parked = trash / WorkName("old");
  if (error || ::rename(displaced.c_str(), parked.c_str()) != 0) {
    RemoveTree(displaced);
    return;
  }
  if (!RemoveDetached(parked)) RemoveTree(parked);
}

// Puts `fresh` in the place of `target`: one atomic exchange where the file
// system offers it, otherwise two renames that are undone on failure.
// One platform rename for the fault hook, however many it takes.
int SwapIntoPlace(const fs::path& fresh, const fs::path& target, fs::path& displaced) {
  if (platform::FileOperationFails(platform::FileOperation::Rename)) return errno;
  std::error_code error;
  if (!fs::exists(fs::symlink_status(target, error))) {
    displaced.clear();
    return ::rename(fresh.c_str(), target.c_str()) == 0 ? 0 : errno;
  }
  if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    displaced = fresh;
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) return errno;
  fs::path old = target.parent_path() / Hidden(target, WorkName("old"));
  if (::rename(target.c_str(), old.c_str()) != 0) return errno;
  if (::rename(fresh.c_str(), target.c_str()) != 0) {
    int failure = errno;
    ::rename(old.c_str(), target.c_str());
    return failure;
  }
  displaced = old;
  return 0;
}

// The entry of `folder` named `name`: exactly, else without regard to case
// (Windows names ignore case). Only this one folder is read.
bool FindEntry(const fs::path& folder, const std::string& name, fs::path& found) {
  std::error_code error;
  if (fs::exists(fs::symlink_status(folder / name, error))) {
    found = folder / name;
    return true;
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    if (platform::EqualsNoCase(entry.path().filename().string(), name)) {
      found = entry.path();
      return true;
    }
  }
  return false;
}

// Walks `relative` down from `root` one component at a time; "." and ".."
// are refused, so the walk never leaves the snapshot's copy.
bool FindInCopy(const fs::path& root, const std::string& relative, fs::path& found) {
  fs::path current = root;
  size_t start = 0;
  bool any = false;
  while (start <= relative.size()) {
    size_t end = relative.find_first_of("/\\", start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    if (part == "." || part == ".." || !FindEntry(current, part, current)) return false;
    any = true;
  }
  std::error_code error;
  if (!any || !fs::is_regular_file(fs::symlink_status(current, error))) return false;
  found = current;
  return true;
}

}  // namespace

HRESULT ResultOfErrno(int error) {
  switch (error) {
    case 0: return S_OK_;
    case ENOENT: return HRESULT_FILE_NOT_FOUND;
    case ENOTDIR: return kPathNotFound;
    case EACCES:
    case EPERM: return kAccessDenied;
    case EEXIST:
    case ENOTEMPTY: return HRESULT_ALREADY_EXISTS;
    case ENOSPC:
    case EDQUOT: return kTooManySnapshots;
    case ENOMEM: return E_OUTOFMEMORY_;
    default: return E_FAIL_;
  }
}

bool IsValidSnapshotName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameBytes || name[0] == '.') return false;
  return std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || c == '\0'; });
}

std::string VolumeStore::SnapshotFolder() const { return (VolumeFolder(disk_) / ".snapshot").string(); }

HRESULT VolumeStore::ListLocked(std::vector<StoredSnapshot>& snapshots) const {
  snapshots.clear();
  std::error_code error;
  fs::path folder = SnapshotFolder();
  if (!fs::exists(folder, error)) return S_OK_;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    std::string name = entry.path().filename().string();
    uint64_t created = 0;
    if (name[0] == '.' || !entry.is_directory() || !ReadCreatedFile(entry.path(), created)) continue;
    snapshots.push_back({name, created});
  }
  if (error) return ResultOfErrno(error.value());
  std::sort(snapshots.begin(), snapshots.end(), [](const StoredSnapshot& a, const StoredSnapshot& b) {
    if (a.creationTime != b.creationTime) return a.creationTime > b.creationTime;
    return a.name < b.name;
  });
  return S_OK_;
}

std::string VolumeStore::FindIn(const std::vector<StoredSnapshot>& snapshots, const std::string& name) {
  for (const StoredSnapshot& snapshot : snapshots) {
    if (snapshot.name == name) return snapshot.name;
  }
  for (const StoredSnapshot& snapshot : snapshots) {
    if (platform::EqualsNoCase(snapshot.name, name)) return snapshot.name;
  }
  return "";
}

std::string VolumeStore::FindStored(const std::string& name) const {
  std::vector<StoredSnapshot> snapshots;
  ListLocked(snapshots);
  return FindIn(snapshots, name);
}

HRESULT VolumeStore::List(std::vector<StoredSnapshot>& snapshots) {
  auto lock = LockVolume(VolumeFolder(disk_), FileLock::Mode::Shared);
  if (lock == nullptr) return E_FAIL_;
  return ListLocked(snapshots);
}

// Copies every disk of the volume into `building`/<drive letter>.
HRESULT VolumeStore::CopyVolume(const std::string& building) const {
  for (const VirtualDisk& member : DisksOfVolume(disk_)) {
    fs::path source = platform::DriveFolder(member.driveLetter);
    std::error_code error;
    if (!fs::is_directory(source, error)) return kPathNotFound;
    CopyReport report = CopyTree(source, fs::path(building) / std::string(1, member.driveLetter));
    if (report.error != 0) return ResultOfErrno(report.error);
  }
  return S_OK_;
}

HRESULT VolumeStore::Create(const std::string& name, uint64_t creationTime) {
  if (!IsValidSnapshotName(name)) return E_INVALIDARG_;
  auto lock = LockVolume(VolumeFolder(disk_), FileLock::Mode::Exclusive);
  if (lock == nullptr) return E_FAIL_;
  std::vector<StoredSnapshot> existing;
  ListLocked(existing);
  if (!FindIn(existing, name).empty()) return HRESULT_ALREADY_EXISTS;
  if (existing.size() >= kMaxSnapshotsPerVolume) return kTooManySnapshots;
  std::error_code error;
  fs::create_directories(SnapshotFolder(), error);
  if (error) return ResultOfErrno(error.value());
  // Leftovers of a crashed create: nobody else builds while we hold the lock.
  for (const fs::directory_entry& entry : fs::directory_iterator(SnapshotFolder(), error)) {
    if (entry.path().filename().string().rfind(".omb-", 0) == 0) RemoveTree(entry.path());
  }
  EmptyTrash(TrashFolder(disk_));
  fs::path building = fs::path(SnapshotFolder()) / WorkName("create");
  if (platform::MakeDirectory(building, 0755) != 0) return ResultOfErrno(errno);
  HRESULT result = CopyVolume(building.string());
  // A full disk must read as one, not as an unspecified failure.
  if (result == S_OK_) result = ResultOfErrno(WriteCreatedFile(building, creationTime));
  if (result == S_OK_ && platform::RenameFile(building, fs::path(SnapshotFolder()) / name) != 0) {
    result = ResultOfErrno(errno);
  }
  if (result != S_OK_) RemoveTree(building);
  return result;
}

HRESULT VolumeStore::Restore(const std::string& name) {
  auto lock = LockVolume(VolumeFolder(disk_), FileLock::Mode::Exclusive);
  if (lock == nullptr) return E_FAIL_;
  std::string stored = FindStored(name);
  if (stored.empty()) return HRESULT_FILE_NOT_FOUND;
  fs::path copy = fs::path(SnapshotFolder()) / stored / std::string(1, disk_.driveLetter);
  std::error_code error;
  if (!fs::is_directory(copy, error)) return HRESULT_FILE_NOT_FOUND;
  fs::path target = DriveContents(disk_.driveLetter);
  fs::create_directories(target.parent_path(), error);
  RemoveStaleRestores(target);
  EmptyTrash(TrashFolder(disk_));
  fs::path fresh = target.parent_path() / Hidden(target, WorkName("restore"));
  CopyOptions options;
  options.dropSourceCache = true;
  CopyReport report = CopyTree(copy, fresh, options);
  fs::path displaced;
  int failure = report.error != 0 ? report.error : SwapIntoPlace(fresh, target, displaced);
  if (failure != 0) {
    RemoveTree(fresh);
    return ResultOfErrno(failure);
  }
  if (!displaced.empty()) Discard(displaced, TrashFolder(disk_), report);
  return S_OK_;
}

HRESULT VolumeStore::RestoreFile(const std::string& name, const std::string& relativeFile,
                                 const fs::path& target) {
  auto lock = LockVolume(VolumeFolder(disk_), FileLock::Mode::Shared);
  if (lock == nullptr) return E_FAIL_;
  std::string stored = FindStored(name);
  if (stored.empty()) return HRESULT_FILE_NOT_FOUND;
  fs::path source;
  if (!FindInCopy(fs::path(SnapshotFolder()) / stored / std::string(1, disk_.driveLetter), relativeFile, source)) {
    return HRESULT_FILE_NOT_FOUND;
  }
  CopyOptions options;
  options.dropSourceCache = true;
  return ResultOfErrno(CopyFileAtomically(source, target, options).error);
}

HRESULT VolumeStore::Delete(const std::string& name, bool& deleted) {
  deleted = false;
  auto lock = LockVolume(VolumeFolder(disk_), FileLock::Mode::Exclusive);
  if (lock == nullptr) return E_FAIL_;
  std::string stored = FindStored(name);
  if (stored.empty()) return HRESULT_FILE_NOT_FOUND;
  // Out of the listing first, then removed: a crash leaves only a hidden folder.
  fs::path doomed = fs::path(SnapshotFolder()) / WorkName("delete");
  if (platform::RenameFile(fs::path(SnapshotFolder()) / stored, doomed) != 0) return ResultOfErrno(errno);
  deleted = true;
  RemoveTree(doomed);
  return S_OK_;
}

HRESULT VolumeStore::Rename(const std::string& current, const std::string& renamed) {
  if (!IsValidSnapshotName(renamed)) return E_INVALIDARG_;
  auto lock = LockVolume(VolumeFolder(disk_), FileLock::Mode::Exclusive);
  if (lock == nullptr) return E_FAIL_;
  std::string stored = FindStored(current);
  if (stored.empty()) return HRESULT_FILE_NOT_FOUND;
  std::string clash = FindStored(renamed);
  if (!clash.empty() && clash != stored) return HRESULT_ALREADY_EXISTS;
  if (stored == renamed) return S_OK_;
  fs::path folder = SnapshotFolder();
  if (platform::RenameFile(folder / stored, folder / renamed) != 0) return ResultOfErrno(errno);
  return S_OK_;
}

}  // namespace omb::storage
