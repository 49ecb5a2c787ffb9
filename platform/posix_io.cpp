#include "platform/posix_io.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/file_faults.h"

namespace omb::platform {

#ifdef OMB_TEST_HOOKS

namespace {

struct FaultSetting {
  std::mutex mutex;
  bool counting = false;
  uint64_t nth = 0;
  int error = 0;
  std::optional<FileOperation> kind;
  uint64_t count = 0;
  bool fired = false;
};

FaultSetting& Setting() {
  static FaultSetting setting;
  return setting;
}

}  // namespace

void FailFileOperation(uint64_t nth, int error, std::optional<FileOperation> kind) {
  FaultSetting& setting = Setting();
  std::lock_guard<std::mutex> lock(setting.mutex);
  setting.counting = true;
  setting.nth = nth;
  setting.error = error;
  setting.kind = kind;
  setting.count = 0;
  setting.fired = false;
}

void ClearFileFault() {
  FaultSetting& setting = Setting();
  std::lock_guard<std::mutex> lock(setting.mutex);
  setting.counting = false;
  setting.nth = 0;
}

uint64_t FileOperationCount() {
  FaultSetting& setting = Setting();
  std::lock_guard<std::mutex> lock(setting.mutex);
  return setting.count;
}

bool FileFaultFired() {
  FaultSetting& setting = Setting();
  std::lock_guard<std::mutex> lock(setting.mutex);
  return setting.fired;
}

bool FileOperationFails(FileOperation operation) {
  FaultSetting& setting = Setting();
  std::lock_guard<std::mutex> lock(setting.mutex);
  if (!setting.counting || (setting.kind && *setting.kind != operation)) return false;
  if (++setting.count != setting.nth) return false;
  setting.fired = true;
  errno = setting.error;
  return true;
}

#endif

int OpenFile(const std::filesystem::path& path, int flags, mode_t mode) {
  if (FileOperationFails(FileOperation::Open)) return -1;
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool WriteAll(int fd, const char* data, size_t size) {
  if (FileOperationFails(FileOperation::Write)) return false;
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool WriteAllAt(int fd, const char* data, size_t size, uint64_t offset) {
  if (FileOperationFails(FileOperation::Write)) return false;
  size_t done = 0;
  while (done < size) {
    const ssize_t written = ::pwrite(fd, data + done, size - done, static_cast<off_t>(offset + done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

int SyncFile(int fd) {
  if (FileOperationFails(FileOperation::Fsync)) return -1;
  int result;
  do {
    result = ::fsync(fd);
  } while (result != 0 && errno == EINTR);
  return result;
}

int RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (FileOperationFails(FileOperation::Rename)) return -1;
  return ::rename(from.c_str(), to.c_str());
}

int RemoveFile(const std::filesystem::path& path) {
  if (FileOperationFails(FileOperation::Remove)) return -1;
  return ::unlink(path.c_str());
}

int MakeDirectory(const std::filesystem::path& path, mode_t mode) {
  if (FileOperationFails(FileOperation::Mkdir)) return -1;
  return ::mkdir(path.c_str(), mode);
}

int SyncFolder(const std::filesystem::path& folder) {
  const int fd = OpenFile(folder, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return -1;
  const int result = SyncFile(fd);
  const int error = errno;
  ::close(fd);
  errno = error;
  return result;
}

int CopyFileData(int from, int to, bool tryClone, bool* cloned) {
  if (cloned) *cloned = false;
  if (tryClone && ::ioctl(to, FICLONE, from) == 0) {
    if (cloned) *cloned = true;
    return 0;
  }
  for (;;) {
    const ssize_t done = ::copy_file_range(from, nullptr, to, nullptr, size_t{1} << 30, 0);
    if (done > 0) continue;
    if (done == 0) return 0;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) break;
    return errno;
  }
  // The kernel refused this pair of files: both offsets are where its copy
  // stopped, so reading and writing goes on from there.
  std::vector<char> buffer(size_t{1} << 20);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return 0;
    if (!WriteAll(to, buffer.data(), static_cast<size_t>(got))) return errno == 0 ? EIO : errno;
  }
}

bool FileDescriptor::Close() {
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

}  // namespace omb::platform
