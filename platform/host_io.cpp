#include "platform/host_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace omb::platform::detail {

namespace {

// Opens the file and takes an exclusive flock on it. Each update replaces the
// file by rename, so a lock won on a file that has meanwhile been replaced
// guards nothing: the inode is checked after locking and the open retried.
// Locking the file itself keeps stray lock files out of the folders.
int LockCurrentFile(const std::filesystem::path& host) {
  for (;;) {
    int fd = ::open(host.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EINTR) continue;
    if (fd < 0) return -1;
    int locked;
    do {
      locked = ::flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    struct stat held {}, current {};
    if (locked == 0 && ::fstat(fd, &held) == 0 && ::stat(host.c_str(), &current) == 0 &&
        held.st_dev == current.st_dev && held.st_ino == current.st_ino) {
      return fd;
    }
    ::close(fd);
    if (locked != 0) return -1;
  }
}

// Only the holder of the update lock writes this name.
std::filesystem::path LockedTemporary(const std::filesystem::path& host) {
  std::string name = ".";
  name.append(host.filename().string()).append(".tmp");
  return host.parent_path() / name;
}

}  // namespace

bool UpdateHostFileLocked(const std::filesystem::path& host, size_t maxBytes,
                          const std::function<Update(std::string& bytes)>& modify) {
  int fd = LockCurrentFile(host);
  if (fd < 0) return false;
  std::string bytes;
  bool ok = ReadHostFile(host, bytes) == 0 && bytes.size() <= maxBytes;
  if (ok) {
    Update decision = modify(bytes);
    ok = decision == Update::Unchanged ||
         (decision == Update::Write && WriteHostFileAtomic(host, bytes, LockedTemporary(host)) == 0);
  }
  // Closing releases the lock only after the rename, so the next writer reads
  // the new file.
  ::close(fd);
  return ok;
}

}  // namespace omb::platform::detail
