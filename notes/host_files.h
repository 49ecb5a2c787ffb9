#pragma once
// Host-side file work of the runtime: whole-file reads, atomic database
// writes, and the cross-process locks that serialise writers of one
// database or one transaction log. Lock files and backup-mode state live
// under $OMB_MACHINE/notes/, never on a data drive, so that a snapshot of a
// data volume never contains them.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "notes/database.h"

namespace omb::notes {

namespace fs = std::filesystem;

// Host path of a Windows path, with the existing part resolved through
// symbolic links, so that every process names one file the same way.
fs::path CanonicalHost(const std::string& windowsPath);
// A short stable name for a host path, for lock and state files.
std::string PathKey(const fs::path& host);
fs::path RuntimeFolder(const char* name);  // $OMB_MACHINE/notes/<name>

// An exclusive flock held while the object lives (blocking acquire).
class FileLock {
 public:
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  // nullptr when the lock file cannot be opened.
  static std::unique_ptr<FileLock> Acquire(const std::string& name);

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_;
};

// Identity of a file version: databases are replaced by rename, so a new
// inode or size means new contents.
struct FileStamp {
  ino_t inode = 0;
  off_t size = -1;
  long long mtimeNanos = 0;
  bool operator==(const FileStamp&) const = default;
};
bool StampOf(const fs::path& host, FileStamp& stamp);

// Reads a whole file of at most maxBytes (larger files are refused as
// kErrFileRead rather than read into memory).
constexpr uint64_t kMaxFileBytes = 2ull << 30;
Status ReadHost(const fs::path& host, std::string& bytes, uint64_t maxBytes = kMaxFileBytes);
Status LoadDatabase(const fs::path& host, Database& db);
// Replaces one database atomically: temporary file beside it with a
// non-database extension, fsync, rename.
Status SaveDatabase(const fs::path& host, const Database& db);
// The same without waiting for the disk: for a header-only change whose loss
// in a crash leaves the previous, equally valid file.
Status SaveDatabaseHeader(const fs::path& host, const Database& db);
// Replaces many databases: all temporary files are written, flushed with
// one file-system sync, then renamed one by one.
Status SaveDatabases(const std::vector<std::pair<fs::path, const Database*>>& databases);
// Whether a write must reach the disk before it counts as done. Files that
// only live as long as the process using them (backup-mode state and its
// journal) need not: after a crash the backup they serve is void anyway.
enum class Flush { ToDisk, ToCache };
// Writes bytes to a fresh file and renames it over host (used for the
// log control file and backup-mode state).
bool WriteFileAtomically(const fs::path& host, const std::string& bytes, Flush flush = Flush::ToDisk);
// Appends bytes in one write.
bool AppendBytes(const fs::path& host, const std::string& bytes, Flush flush);

}  // namespace omb::notes
