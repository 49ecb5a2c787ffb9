#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/durable.h"
#include "platform/file_faults.h"
#include "platform/host_io.h"
#include "platform/paths.h"
#include "platform/posix_io.h"
#include "platform/system.h"

namespace omb::platform {

namespace fs = std::filesystem;

namespace {

constexpr int kSuccess = 0;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kNotEnoughMemory = 8;
constexpr int kNotSameDevice = 17;
constexpr int kSharingViolation = 32;
constexpr int kFileExists = 80;
constexpr int kInvalidParameter = 87;
constexpr int kDiskFull = 112;
constexpr int kDirNotEmpty = 145;
constexpr int kAlreadyExists = 183;
constexpr int kDirectoryInvalid = 267;

// Whole-file reads beyond this size are refused rather than exhausting memory.
constexpr int64_t kMaxWholeFileBytes = int64_t{2} << 30;

bool HostExists(const fs::path& host) {
  struct stat info {};
  return ::stat(host.c_str(), &info) == 0;
}

bool HostIsDirectory(const fs::path& host) {
  struct stat info {};
  return ::stat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Maps an errno value to the Win32 code that the same failure gives on
// Windows. ENOENT is "file not found" when the folder exists and "path not
// found" when it does not, as CreateFile reports it.
int Win32FromErrno(int error, const fs::path& host) {
  switch (error) {
    case 0: return kSuccess;
    case ENOENT: return HostIsDirectory(host.parent_path()) ? kFileNotFound : kPathNotFound;
    case ENOTDIR: return kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return kAccessDenied;
    case EEXIST: return kAlreadyExists;
    case ENOTEMPTY: return kDirNotEmpty;
    case ENOSPC:
    case EDQUOT: return kDiskFull;
    case ENOMEM: return kNotEnoughMemory;
    case EXDEV: return kNotSameDevice;
    case EBUSY:
    case ETXTBSY: return kSharingViolation;
    case ENAMETOOLONG: return 206;  // ERROR_FILENAME_EXCED_RANGE
    case EMFILE:
    case ENFILE: return 4;  // ERROR_TOO_MANY_OPEN_FILES
    default: return kInvalidParameter;
  }
}

std::string ToTextMode(std::string_view text) {
  std::string result;
  result.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') result += '\r';
    result += c;
  }
  return result;
}

std::string FromTextMode(std::string_view bytes) {
  std::string result;
  result.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    result += bytes[i];
  }
  return result;
}

// A durable replace of a host file, answered as Win32 code.
int ReplaceHostFile(const fs::path& host, std::string_view bytes) {
  return Win32FromErrno(WriteFileAtomically(host, bytes), host);
}

}  // namespace

namespace detail {

int ReadHostFile(const fs::path& host, std::string& bytes) {
  bytes.clear();
  int fd = OpenFile(host, O_RDONLY);
  if (fd < 0) return Win32FromErrno(errno, host);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return kAccessDenied;
  }
  if (info.st_size > kMaxWholeFileBytes) {
    ::close(fd);
    return kNotEnoughMemory;
  }
  bytes.reserve(static_cast<size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      int error = errno;
      ::close(fd);
      bytes.clear();
      return Win32FromErrno(error, host);
    }
    if (got == 0) break;
    if (static_cast<int64_t>(bytes.size()) + got > kMaxWholeFileBytes) {
      ::close(fd);
      bytes.clear();
      return kNotEnoughMemory;
    }
    bytes.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return kSuccess;
}

}  // namespace detail

namespace {

using detail::ReadHostFile;

int CopyHostFile(const fs::path& from, const fs::path& to, bool failIfExists) {
  int source = OpenFile(from, O_RDONLY);
  if (source < 0) return Win32FromErrno(errno, from);
  struct stat sourceInfo {};
  if (::fstat(source, &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode)) {
    ::close(source);
    return kAccessDenied;
  }
  // O_EXCL makes "fail if it exists" race-free. Without it the target is
  // opened untruncated first: copying a file onto itself must not empty it.
  int flags = O_WRONLY | O_CREAT | (failIfExists ? O_EXCL : 0);
  int target = OpenFile(to, flags, sourceInfo.st_mode & 0777);
  if (target < 0) {
    int error = errno;
    ::close(source);
    if (error == EEXIST) return kFileExists;
    return Win32FromErrno(error, to);
  }
  struct stat targetInfo {};
  if (::fstat(target, &targetInfo) == 0 && targetInfo.st_dev == sourceInfo.st_dev &&
      targetInfo.st_ino == sourceInfo.st_ino) {
    ::close(source);
    ::close(target);
    return kSharingViolation;
  }
  int error = ::ftruncate(target, 0) == 0 ? CopyFileData(source, target) : errno;
  bool ok = error == 0;
  if (ok) {
    // CopyFile keeps the last-write time of the source.
    struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
    ::futimens(target, times);
  }
  ok = (::close(target) == 0) && ok;
  ::close(source);
  if (ok) return kSuccess;
  RemoveFile(to);
  return Win32FromErrno(error == 0 ? EIO : error, to);
}

// rename(2) that refuses to replace an existing target, as MoveFile does.
// One platform rename for the fault hook, whichever way it is done.
int RenameNoReplace(const fs::path& from, const fs::path& to) {
  if (FileOperationFails(FileOperation::Rename)) return errno;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // The file system lacks RENAME_NOREPLACE: link+unlink is atomic for files;
  // folders fall back to a check before the rename.
  struct stat info {};
  if (::lstat(from.c_str(), &info) != 0) return errno;
  if (!S_ISDIR(info.st_mode)) {
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
  }
  if (::lstat(to.c_str(), &info) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// The last component of a Windows path as the caller spelled it.
std::string LastComponent(std::string_view windowsPath) {
  while (!windowsPath.empty() && (windowsPath.back() == '\\' || windowsPath.back() == '/')) {
    windowsPath.remove_suffix(1);
  }
  size_t cut = windowsPath.find_last_of("\\/:");
  return std::string(cut == std::string_view::npos ? windowsPath : windowsPath.substr(cut + 1));
}

bool SameEntry(const fs::path& a, const fs::path& b) {
  struct stat first {}, second {};
  return ::lstat(a.c_str(), &first) == 0 && ::lstat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

bool PathExists(std::string_view windowsPath) { return HostExists(HostPath(windowsPath)); }

bool IsDirectory(std::string_view windowsPath) { return HostIsDirectory(HostPath(windowsPath)); }

bool IsFile(std::string_view windowsPath) {
  struct stat info {};
  return ::stat(HostPath(windowsPath).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int ListDirectory(std::string_view windowsPath, std::vector<DirEntry>& entries) {
  entries.clear();
  fs::path host = HostPath(windowsPath);
  DIR* folder = ::opendir(host.c_str());
  if (folder == nullptr) return errno == EACCES ? kAccessDenied : kPathNotFound;
  while (struct dirent* entry = ::readdir(folder)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    entries.push_back({name, HostIsDirectory(host / name)});
  }
  ::closedir(folder);
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return kSuccess;
}

int CreateOneDirectory(std::string_view windowsPath) {
  fs::path host = HostPath(windowsPath);
  if (MakeDirectory(host) == 0) return kSuccess;
  int error = errno;
  if (error == ENOENT) return kPathNotFound;
  return Win32FromErrno(error, host);
}

int RemoveDirectoryTree(std::string_view windowsPath) {
  fs::path host = HostPath(windowsPath);
  struct stat info {};
  if (::lstat(host.c_str(), &info) != 0) return Win32FromErrno(errno, host);
  // A symbolic link (a drive mapped elsewhere, say) is removed, not followed.
  if (!S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode)) return kDirectoryInvalid;
  if (FileOperationFails(FileOperation::Remove)) return Win32FromErrno(errno, host);
  std::error_code error;
  fs::remove_all(host, error);
  return error ? Win32FromErrno(error.value(), host) : kSuccess;
}

int DeleteOneFile(std::string_view windowsPath) {
  fs::path host = HostPath(windowsPath);
  if (RemoveFile(host) == 0) return kSuccess;
  return Win32FromErrno(errno, host);
}

int MoveFileOrDirectory(std::string_view from, std::string_view to) {
  fs::path source = HostPath(from);
  fs::path target = HostPath(to);
  struct stat info {};
  if (::lstat(source.c_str(), &info) != 0) return Win32FromErrno(errno, source);
  // A move onto itself in other letter case renames the entry's case.
  if (SameEntry(source, target)) {
    target = target.parent_path() / LastComponent(to);
    if (target == source) return kSuccess;
    return RenameFile(source, target) == 0 ? kSuccess : Win32FromErrno(errno, target);
  }
  int error = RenameNoReplace(source, target);
  if (error == 0) return kSuccess;
  if (error == EXDEV && S_ISREG(info.st_mode)) {
    // MoveFile copies a file to another volume, then deletes the original.
    int copied = CopyHostFile(source, target, true);
    if (copied != kSuccess) return copied == kFileExists ? kAlreadyExists : copied;
    RemoveFile(source);
    return kSuccess;
  }
  if (error == ENOENT && !HostExists(source)) return Win32FromErrno(error, source);
  return Win32FromErrno(error, target);
}

int CopyOneFile(std::string_view from, std::string_view to, bool failIfExists) {
  return CopyHostFile(HostPath(from), HostPath(to), failIfExists);
}

int ReadWholeFile(std::string_view windowsPath, std::string& bytes) {
  return ReadHostFile(HostPath(windowsPath), bytes);
}

int WriteFileAtomic(std::string_view windowsPath, std::string_view bytes) {
  return ReplaceHostFile(HostPath(windowsPath), bytes);
}

int AppendTextFile(std::string_view windowsPath, std::string_view text) {
  fs::path host = HostPath(windowsPath);
  return Win32FromErrno(AppendToFile(host, ToTextMode(text), Flush::ToCache), host);
}

int WriteTextFile(std::string_view windowsPath, std::string_view text) {
  return ReplaceHostFile(HostPath(windowsPath), ToTextMode(text));
}

int ReadTextFile(std::string_view windowsPath, std::string& text) {
  std::string bytes;
  int result = ReadHostFile(HostPath(windowsPath), bytes);
  text = result == kSuccess ? FromTextMode(bytes) : std::string();
  return result;
}

uint64_t LastWriteTime(std::string_view windowsPath) {
  struct stat info {};
  if (::stat(HostPath(windowsPath).c_str(), &info) != 0) return 0;
  int64_t nanos = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return FileTimeFromUnixNanos(nanos);
}

int64_t FileSize(std::string_view windowsPath) {
  struct stat info {};
  if (::stat(HostPath(windowsPath).c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return -1;
  return static_cast<int64_t>(info.st_size);
}

// Test hooks (only with OMB_TEST_HOOKS), each a list such as "F:100,H:5"
// in mebibytes. OMB_DISK_FREE_MB reports that much free on the named
// drives, so that a low-space refusal can be checked end to end.
// OMB_DISK_SIZE_MB gives the named drives that size, their free space
// being the size less the files below the drive's folder, so that a drive
// fills and empties as files are written and moved away.
static std::optional<uint64_t> DriveSetting([[maybe_unused]] const char* variable,
                                            [[maybe_unused]] char driveLetter) {
#ifndef OMB_TEST_HOOKS
  return std::nullopt;
#else
  const char* setting = std::getenv(variable);
  if (setting == nullptr) return std::nullopt;
  const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(driveLetter)));
  std::string_view rest(setting);
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view entry = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (entry.size() < 3 || entry[1] != ':') continue;
    if (std::toupper(static_cast<unsigned char>(entry[0])) != wanted) continue;
    uint64_t megabytes = 0;
    const auto [end, error] = std::from_chars(entry.data() + 2, entry.data() + entry.size(), megabytes);
    if (error != std::errc() || end != entry.data() + entry.size() || megabytes > (UINT64_MAX >> 20))
      continue;
    return megabytes << 20;
  }
  return std::nullopt;
#endif
}

// Bytes of the regular files below a folder, links not followed.
static uint64_t BytesBelow(const std::filesystem::path& folder) {
  uint64_t total = 0;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    std::error_code sizeError;
    if (it->is_regular_file(sizeError)) {
      const uintmax_t size = it->file_size(sizeError);
      if (!sizeError) total += size;
    }
  }
  return total;
}

bool DriveSpace(char driveLetter, uint64_t& totalBytes, uint64_t& freeBytes) {
  const std::optional<uint64_t> forcedFree = DriveSetting("OMB_DISK_FREE_MB", driveLetter);
  if (const std::optional<uint64_t> size = DriveSetting("OMB_DISK_SIZE_MB", driveLetter)) {
    const uint64_t used = BytesBelow(DriveFolder(driveLetter));
    totalBytes = *size;
    freeBytes = forcedFree ? std::min(*forcedFree, *size) : (used < *size ? *size - used : 0);
    return true;
  }
  struct statvfs info {};
  const bool queried = ::statvfs(DriveFolder(driveLetter).c_str(), &info) == 0;
  // A forced free space stands even where the volume cannot be asked; its
  // size is then unknown (0).
  // The size a user of the volume can fill, as df counts it: what is used
  // plus what is still available, without the blocks reserved for root.
  const uint64_t userBlocks = static_cast<uint64_t>(info.f_blocks - info.f_bfree) + info.f_bavail;
  totalBytes = queried ? userBlocks * static_cast<uint64_t>(info.f_frsize) : 0;
  freeBytes = static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
  if (forcedFree) freeBytes = *forcedFree;
  return queried || forcedFree.has_value();
}

bool FreeBytes(char driveLetter, uint64_t& freeBytes) {
  uint64_t totalBytes = 0;
  return DriveSpace(driveLetter, totalBytes, freeBytes);
}

BinaryFile::BinaryFile() = default;
BinaryFile::~BinaryFile() { Close(); }

int BinaryFile::Open(std::string_view windowsPath, Mode mode) {
  Close();
  if (mode == Mode::Replace) {
    auto replacement = std::make_unique<AtomicFile>();
    if (int error = replacement->Open(HostPath(windowsPath))) return error;
    replacement_ = std::move(replacement);
    return 0;
  }
  int flags = O_RDONLY;
  if (mode == Mode::WriteCreate) flags = O_WRONLY | O_CREAT;
  if (mode == Mode::WriteCreateTruncate) flags = O_WRONLY | O_CREAT | O_TRUNC;
  fd_ = OpenFile(HostPath(windowsPath), flags, 0666);
  if (fd_ < 0) return errno;
  // _open refuses folders; Linux would open one for reading.
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
    Close();
    return EACCES;
  }
  return 0;
}

long BinaryFile::Read(char* buffer, unsigned long size) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t got = ::read(fd_, buffer, size);
    if (got < 0 && errno == EINTR) continue;
    return static_cast<long>(got);
  }
}

long BinaryFile::Write(const char* data, unsigned long size) {
  if (replacement_) return replacement_->Write({data, size}) == 0 ? static_cast<long>(size) : -1;
  if (fd_ < 0) return -1;
  return WriteAll(fd_, data, size) ? static_cast<long>(size) : -1;
}

int BinaryFile::Commit() {
  if (!replacement_) return EBADF;
  const int error = replacement_->Commit();
  replacement_.reset();
  return error;
}

void BinaryFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  replacement_.reset();  // an uncommitted replacement is removed
}

}  // namespace omb::platform
