#pragma once
// The host file system calls of every module that writes files itself:
// EINTR-safe, close-on-exec, and each one a platform file operation that
// the test hook of platform/file_faults.h can fail. They answer like the
// system calls they wrap: -1 (false) with errno set on failure.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace omb::platform {

// open(2) with O_CLOEXEC added, retried when a signal interrupts it.
int OpenFile(const std::filesystem::path& path, int flags, mode_t mode = 0666);

// Writes all `size` bytes to `fd`, resuming after short writes and retrying
// writes interrupted by a signal. False on any other failure; regular files
// only return short counts on errors such as a full disk, which the next
// call then reports.
bool WriteAll(int fd, const char* data, size_t size);
// The same at an offset (pwrite).
bool WriteAllAt(int fd, const char* data, size_t size, uint64_t offset);

int SyncFile(int fd);  // fsync
int RenameFile(const std::filesystem::path& from, const std::filesystem::path& to);
int RemoveFile(const std::filesystem::path& path);  // unlink
int MakeDirectory(const std::filesystem::path& path, mode_t mode = 0777);
// fsync of a folder, so that a rename in it is on the disk; a folder that
// cannot be opened or synced is reported as -1.
int SyncFolder(const std::filesystem::path& folder);

// Copies the data of `from`, from its offset to its end, into `to` at its
// offset: a clone where the file system shares blocks (only when `tryClone`;
// `cloned` tells whether it was one), else the kernel's copy, else reads and
// writes. 0, or the errno of the failure.
int CopyFileData(int from, int to, bool tryClone = true, bool* cloned = nullptr);

// Owns an open descriptor and closes it on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) Close();
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now; false (errno set) when the close reported an error.
  bool Close();

 private:
  int fd_;
};

}  // namespace omb::platform
