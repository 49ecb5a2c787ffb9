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
#include "platform/durable.h"

namespace omb::notes {

namespace fs = std::filesystem;

// Host path of a Windows path, with the existing part resolved through
// symbolic links, so that every process names one file the same way.
fs::path CanonicalHost(const std::string& windowsPath);
// A short stable name for a host path, for lock and state files.
std::string PathKey(const fs::path& host);
fs::path RuntimeFolder(const char* name);  // $OMB_MACHINE/notes/<name>

using platform::FileLock;
using platform::Flush;

// The runtime's lock of that name ($OMB_MACHINE/notes/locks/<name>.lck),
// exclusive, waiting until granted; nullptr when the lock file cannot be
// opened.
std::unique_ptr<FileLock> LockRuntime(const std::string& name);

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
// Replaces one database durably (platform/durable.h); the temporary file
// beside it has no database extension, so no listing takes it for one.
Status SaveDatabase(const fs::path& host, const Database& db);
// The same without waiting for the disk: for a header-only change whose loss
// in a crash leaves the previous, equally valid file.
Status SaveDatabaseHeader(const fs::path& host, const Database& db);
// Replaces many databases: all temporary files are written, flushed with
// one file-system sync, then renamed one by one.
Status SaveDatabases(const std::vector<std::pair<fs::path, const Database*>>& databases);
// Durable replace and append of the runtime's other files (the log control
// file, extents, backup-mode state and journal), answered as kNoError or
// kErrFileWrite. Files that only live as long as the process using them
// (backup-mode state and its journal) need no flush to the disk: after a
// crash the backup they serve is void anyway.
Status ReplaceFile(const fs::path& host, const std::string& bytes, Flush flush = Flush::ToDisk);
Status AppendToFile(const fs::path& host, const std::string& bytes, Flush flush);

}  // namespace omb::notes
