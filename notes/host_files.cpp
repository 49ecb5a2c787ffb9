#include "notes/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "notes/codec.h"
#include "notes/status.h"
#include "platform/paths.h"
#include "platform/posix_io.h"

namespace omb::notes {

fs::path CanonicalHost(const std::string& windowsPath) {
  std::error_code ignored;
  fs::path host = platform::HostPath(windowsPath);
  fs::path canonical = fs::weakly_canonical(host, ignored);
  return canonical.empty() ? host : canonical;
}

std::string PathKey(const fs::path& host) {
  return codec::Hex64(codec::Fnv1a64(host.string()));
}

fs::path RuntimeFolder(const char* name) { return platform::MachineRoot() / "notes" / name; }

std::unique_ptr<FileLock> LockRuntime(const std::string& name) {
  const fs::path folder = RuntimeFolder("locks");
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  return FileLock::Acquire(folder / (name + ".lck"));
}

bool StampOf(const fs::path& host, FileStamp& stamp) {
  struct stat info {};
  if (::stat(host.c_str(), &info) != 0) return false;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.mtimeNanos = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
  return true;
}

Status ReadHost(const fs::path& host, std::string& bytes, uint64_t maxBytes) {
  const int fd = platform::OpenFile(host, O_RDONLY);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? kErrFileNotFound : kErrFileRead;
  bytes.clear();
  struct stat info {};
  if (::fstat(fd, &info) != 0 || static_cast<uint64_t>(info.st_size) > maxBytes) {
    ::close(fd);
    return kErrFileRead;
  }
  bytes.reserve(static_cast<size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      return kErrFileRead;
    }
    if (got == 0) break;
    if (bytes.size() + static_cast<size_t>(got) > maxBytes) {
      ::close(fd);
      return kErrFileRead;
    }
    bytes.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return kNoError;
}

Status LoadDatabase(const fs::path& host, Database& db) {
  std::string bytes;
  const Status status = ReadHost(host, bytes);
  if (status != kNoError) return status;
  return DecodeDatabase(bytes, db);
}

Status ReplaceFile(const fs::path& host, const std::string& bytes, Flush flush) {
  return platform::WriteFileAtomically(host, bytes, flush) == 0 ? kNoError : kErrFileWrite;
}

Status AppendToFile(const fs::path& host, const std::string& bytes, Flush flush) {
  return platform::AppendToFile(host, bytes, flush) == 0 ? kNoError : kErrFileWrite;
}

Status SaveDatabase(const fs::path& host, const Database& db) { return ReplaceFile(host, EncodeDatabase(db)); }

Status SaveDatabaseHeader(const fs::path& host, const Database& db) {
  return ReplaceFile(host, EncodeDatabase(db), Flush::ToCache);
}

Status SaveDatabases(const std::vector<std::pair<fs::path, const Database*>>& databases) {
  std::vector<platform::AtomicFile> files(databases.size());
  for (size_t i = 0; i < databases.size(); ++i) {
    platform::AtomicFile& file = files[i];
    if (file.Open(databases[i].first) != 0 || file.Write(EncodeDatabase(*databases[i].second)) != 0 ||
        file.Close() != 0) {
      return kErrFileWrite;  // every temporary file goes with `files`
    }
  }
  if (!files.empty()) {
    // One sync of the file system flushes every temporary file at once.
    const int fd = platform::OpenFile(files.front().temporary(), O_RDONLY);
    const bool synced = fd >= 0 && ::syncfs(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (!synced) ::sync();
  }
  Status result = kNoError;
  for (platform::AtomicFile& file : files) {
    if (file.Rename() != 0) result = kErrFileWrite;
  }
  return result;
}

}  // namespace omb::notes
