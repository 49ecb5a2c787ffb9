#include "notes/host_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "notes/codec.h"
#include "notes/status.h"
#include "platform/paths.h"
#include "platform/posix_io.h"

namespace omb::notes {

namespace {

std::atomic<unsigned> g_tempCounter{0};

fs::path TempNameFor(const fs::path& host) {
  return host.parent_path() / (host.filename().string() + "." + std::to_string(::getpid()) + "-" +
                               std::to_string(g_tempCounter++) + ".tmp");
}

// Writes a temporary file; fsyncs it when asked. Returns false on failure
// (the temporary file is removed then).
bool WriteTemp(const fs::path& temp, const std::string& bytes, bool sync) {
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = platform::WriteAll(fd, bytes.data(), bytes.size());
  if (ok && sync) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace

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

FileLock::~FileLock() { ::close(fd_); }

std::unique_ptr<FileLock> FileLock::Acquire(const std::string& name) {
  const fs::path folder = RuntimeFolder("locks");
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  const int fd = ::open((folder / (name + ".lck")).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd);
      return nullptr;
    }
  }
  return std::unique_ptr<FileLock>(new FileLock(fd));
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
  const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
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

bool WriteFileAtomically(const fs::path& host, const std::string& bytes, Flush flush) {
  const fs::path temp = TempNameFor(host);
  if (!WriteTemp(temp, bytes, flush == Flush::ToDisk)) return false;
  if (::rename(temp.c_str(), host.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

Status SaveDatabase(const fs::path& host, const Database& db) {
  return WriteFileAtomically(host, EncodeDatabase(db)) ? kNoError : kErrFileWrite;
}

Status SaveDatabaseHeader(const fs::path& host, const Database& db) {
  return WriteFileAtomically(host, EncodeDatabase(db), Flush::ToCache) ? kNoError : kErrFileWrite;
}

Status SaveDatabases(const std::vector<std::pair<fs::path, const Database*>>& databases) {
  std::vector<std::pair<fs::path, fs::path>> renames;  // temp -> final
  auto dropTemps = [&renames] {
    for (const auto& [temp, final] : renames) ::unlink(temp.c_str());
  };
  for (const auto& [host, db] : databases) {
    const fs::path temp = TempNameFor(host);
    if (!WriteTemp(temp, EncodeDatabase(*db), false)) {
      dropTemps();
      return kErrFileWrite;
    }
    renames.emplace_back(temp, host);
  }
  if (!renames.empty()) {
    // One sync of the file system flushes every temporary file at once.
    const int fd = ::open(renames.front().first.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::syncfs(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (!synced) ::sync();
  }
  Status result = kNoError;
  for (const auto& [temp, final] : renames) {
    if (::rename(temp.c_str(), final.c_str()) != 0) {
      ::unlink(temp.c_str());
      result = kErrFileWrite;
    }
  }
  return result;
}

bool AppendBytes(const fs::path& host, const std::string& bytes, Flush flush) {
  const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = platform::WriteAll(fd, bytes.data(), bytes.size());
  if (ok && flush == Flush::ToDisk) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  return ok;
}

}  // namespace omb::notes
