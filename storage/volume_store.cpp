#include "storage/volume_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/paths.h"
#include "platform/system.h"
#include "storage/tree_copy.h"

namespace omb::storage {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCreatedFile = "created";
constexpr size_t kMaxNameBytes = 255;

// Holds the volume's flock while alive; blocks until it is granted.
class VolumeLock {
 public:
  VolumeLock(const fs::path& volumeFolder, bool exclusive) {
    std::error_code error;
    fs::create_directories(volumeFolder, error);
    fd_ = ::open((volumeFolder / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~VolumeLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  VolumeLock(const VolumeLock&) = delete;
  VolumeLock& operator=(const VolumeLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// A unique hidden name for work folders of this process.
std::string WorkName(const std::string& purpose) {
  static std::atomic<unsigned> counter{0};
  return ".omb-" + purpose + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

bool WriteCreatedFile(const fs::path& folder, uint64_t creationTime) {
  fs::path temporary = folder / (std::string(kCreatedFile) + ".tmp");
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::string text = "creationTime=" + std::to_string(creationTime) + "\n";
  bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  written = ::fsync(fd) == 0 && written;
  ::close(fd);
  return written && ::rename(temporary.c_str(), (folder / kCreatedFile).c_str()) == 0;
}

// The creation time in a "created" file; false when missing or malformed.
bool ReadCreatedFile(const fs::path& folder, uint64_t& creationTime) {
  int fd = ::open((folder / kCreatedFile).c_str(), O_RDONLY | O_CLOEXEC);
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
  std::string prefix = "." + target.filename().string() + ".omb-";
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(target.parent_path(), error)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) RemoveTree(entry.path());
  }
}

// Puts `fresh` in the place of `target`: one atomic exchange where the file
// system offers it, otherwise two renames that are undone on failure.
int SwapIntoPlace(const fs::path& fresh, const fs::path& target, fs::path& displaced) {
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
  fs::path old = target.parent_path() / ("." + target.filename().string() + WorkName("old"));
  if (::rename(target.c_str(), old.c_str()) != 0) return errno;
  if (::rename(fresh.c_str(), target.c_str()) != 0) {
    int failure = errno;
    ::rename(old.c_str(), target.c_str());
    return failure;
  }
  displaced = old;
  return 0;
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
  VolumeLock lock(VolumeFolder(disk_), false);
  if (!lock.held()) return E_FAIL_;
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

HRESULT VolumeStore::Create(const std::string& name) {
  if (!IsValidSnapshotName(name)) return E_INVALIDARG_;
  VolumeLock lock(VolumeFolder(disk_), true);
  if (!lock.held()) return E_FAIL_;
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
  fs::path building = fs::path(SnapshotFolder()) / WorkName("create");
  if (::mkdir(building.c_str(), 0755) != 0) return ResultOfErrno(errno);
  uint64_t createdAt = platform::NowFileTime();
  HRESULT result = CopyVolume(building.string());
  if (result == S_OK_ && !WriteCreatedFile(building, createdAt)) result = E_FAIL_;
  if (result == S_OK_ && ::rename(building.c_str(), (fs::path(SnapshotFolder()) / name).c_str()) != 0) {
    result = ResultOfErrno(errno);
  }
  if (result != S_OK_) RemoveTree(building);
  return result;
}

HRESULT VolumeStore::Restore(const std::string& name) {
  VolumeLock lock(VolumeFolder(disk_), true);
  if (!lock.held()) return E_FAIL_;
  std::string stored = FindStored(name);
  if (stored.empty()) return HRESULT_FILE_NOT_FOUND;
  fs::path copy = fs::path(SnapshotFolder()) / stored / std::string(1, disk_.driveLetter);
  std::error_code error;
  if (!fs::is_directory(copy, error)) return HRESULT_FILE_NOT_FOUND;
  fs::path target = DriveContents(disk_.driveLetter);
  fs::create_directories(target.parent_path(), error);
  RemoveStaleRestores(target);
  fs::path fresh = target.parent_path() / ("." + target.filename().string() + WorkName("restore"));
  CopyReport report = CopyTree(copy, fresh);
  fs::path displaced;
  int failure = report.error != 0 ? report.error : SwapIntoPlace(fresh, target, displaced);
  if (failure != 0) {
    RemoveTree(fresh);
    return ResultOfErrno(failure);
  }
  if (!displaced.empty()) RemoveTree(displaced);
  return S_OK_;
}

HRESULT VolumeStore::Delete(const std::string& name, bool& deleted) {
  deleted = false;
  VolumeLock lock(VolumeFolder(disk_), true);
  if (!lock.held()) return E_FAIL_;
  std::string stored = FindStored(name);
  if (stored.empty()) return HRESULT_FILE_NOT_FOUND;
  // Out of the listing first, then removed: a crash leaves only a hidden folder.
  fs::path doomed = fs::path(SnapshotFolder()) / WorkName("delete");
  if (::rename((fs::path(SnapshotFolder()) / stored).c_str(), doomed.c_str()) != 0) return ResultOfErrno(errno);
  deleted = true;
  RemoveTree(doomed);
  return S_OK_;
}

HRESULT VolumeStore::Rename(const std::string& current, const std::string& renamed) {
  if (!IsValidSnapshotName(renamed)) return E_INVALIDARG_;
  VolumeLock lock(VolumeFolder(disk_), true);
  if (!lock.held()) return E_FAIL_;
  std::string stored = FindStored(current);
  if (stored.empty()) return HRESULT_FILE_NOT_FOUND;
  std::string clash = FindStored(renamed);
  if (!clash.empty() && clash != stored) return HRESULT_ALREADY_EXISTS;
  if (stored == renamed) return S_OK_;
  fs::path folder = SnapshotFolder();
  if (::rename((folder / stored).c_str(), (folder / renamed).c_str()) != 0) return ResultOfErrno(errno);
  return S_OK_;
}

}  // namespace omb::storage
