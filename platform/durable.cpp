#include "platform/durable.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/posix_io.h"

namespace omb::platform {

namespace fs = std::filesystem;

namespace {

// ".<name>.tmp.<pid>.<n>" beside the target, so the rename stays on one
// file system and the name is the target's by no reading. Built by
// appending: GCC 12 warns falsely (-Wrestrict) on "." + text at -O3.
fs::path UniqueTemporary(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  std::string name = ".";
  name.append(target.filename().string()).append(".tmp.").append(std::to_string(::getpid()));
  name.append(".").append(std::to_string(counter.fetch_add(1)));
  return target.parent_path() / name;
}

bool IsDirectory(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// errno of the failure, for the callers that answer it.
int Failed() { return errno != 0 ? errno : EIO; }

}  // namespace

// ---- AtomicFile ---------------------------------------------------------------

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (pending_) RemoveFile(temporary_);
  pending_ = false;
}

int AtomicFile::Open(const fs::path& target, const fs::path& temporary) {
  Discard();
  if (IsDirectory(target)) return EISDIR;
  target_ = target;
  const bool unique = temporary.empty();
  temporary_ = unique ? UniqueTemporary(target) : temporary;
  fd_ = OpenFile(temporary_, O_WRONLY | O_CREAT | (unique ? O_EXCL : O_TRUNC), 0666);
  if (fd_ < 0) return Failed();
  pending_ = true;
  return 0;
}

int AtomicFile::Write(std::string_view bytes) {
  if (fd_ < 0) return EBADF;
  return WriteAll(fd_, bytes.data(), bytes.size()) ? 0 : Failed();
}

int AtomicFile::Close() {
  if (fd_ < 0) return EBADF;
  const int result = ::close(fd_);
  fd_ = -1;
  return result == 0 ? 0 : Failed();
}

int AtomicFile::Rename() {
  if (!pending_ || fd_ >= 0) return EBADF;
  if (RenameFile(temporary_, target_) != 0) return Failed();
  pending_ = false;
  return 0;
}

int AtomicFile::Commit(Flush flush) {
  if (fd_ < 0) return EBADF;
  if (flush == Flush::ToDisk && SyncFile(fd_) != 0) return Failed();
  if (int error = Close()) return error;
  if (int error = Rename()) return error;
  // The rename is done; a folder that cannot be flushed leaves it to the
  // system's own write-back, as nothing better can be done about it.
  if (flush == Flush::ToDisk) SyncFolder(target_.parent_path());
  return 0;
}

int WriteFileAtomically(const fs::path& target, std::string_view bytes, Flush flush, const fs::path& temporary) {
  AtomicFile file;
  if (int error = file.Open(target, temporary)) return error;
  if (int error = file.Write(bytes)) return error;
  return file.Commit(flush);
}

int AppendToFile(const fs::path& file, std::string_view bytes, Flush flush) {
  const int fd = OpenFile(file, O_WRONLY | O_CREAT | O_APPEND, 0666);
  if (fd < 0) return Failed();
  int error = WriteAll(fd, bytes.data(), bytes.size()) ? 0 : Failed();
  if (error == 0 && flush == Flush::ToDisk && SyncFile(fd) != 0) error = Failed();
  if (::close(fd) != 0 && error == 0) error = Failed();
  return error;
}

// ---- FileLock -------------------------------------------------------------------

FileLock::~FileLock() { ::close(fd_); }

std::unique_ptr<FileLock> FileLock::Take(const fs::path& file, Mode mode, bool wait) {
  const int fd = OpenFile(file, O_RDWR | O_CREAT, 0666);
  if (fd < 0) return nullptr;
  const int operation = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
  int locked;
  do {
    locked = ::flock(fd, operation);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return nullptr;
  }
  return std::unique_ptr<FileLock>(new FileLock(fd));
}

std::unique_ptr<FileLock> FileLock::Acquire(const fs::path& file, Mode mode) { return Take(file, mode, true); }

std::unique_ptr<FileLock> FileLock::TryAcquire(const fs::path& file, Mode mode) { return Take(file, mode, false); }

bool FileLock::Guards(const fs::path& file) const {
  struct stat held {}, current {};
  return ::fstat(fd_, &held) == 0 && ::stat(file.c_str(), &current) == 0 && held.st_dev == current.st_dev &&
         held.st_ino == current.st_ino;
}

}  // namespace omb::platform
