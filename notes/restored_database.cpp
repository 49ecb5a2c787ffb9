// What a single-database restore needs of the runtime while the server
// keeps running: a private copy of the transaction log to recover from, a
// new instance id for the restored copy, and the swap of a restored
// database into the place of the original unless a server holds it open.
#include <unistd.h>

#include <cerrno>
#include <random>

#include "notes/runtime.h"
#include "notes/status.h"
#include "platform/posix_io.h"

namespace omb::notes {

namespace {

// A server holds a database open with a shared lock on this file; the swap
// of a restored database takes it exclusively without waiting.
fs::path OpenLockFile(const fs::path& host) {
  const fs::path folder = RuntimeFolder("locks");
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  return folder / ("open-" + PathKey(host) + ".lck");
}

Status CopyHostFile(const fs::path& from, const fs::path& to) {
  std::string bytes;
  if (const Status status = ReadHost(from, bytes)) return status;
  // The copy lives only as long as the recovery that reads it.
  return ReplaceFile(to, bytes, Flush::ToCache);
}

// A closed extent's file never changes again (a reused one is replaced by
// rename), so a hard link is as good as a copy and costs nothing.
Status LinkOrCopy(const fs::path& from, const fs::path& to) {
  if (::link(from.c_str(), to.c_str()) == 0) return kNoError;
  if (errno == ENOENT) return kErrFileNotFound;
  return CopyHostFile(from, to);
}

}  // namespace

Status TransactionLog::CopyForRecovery(const fs::path& target) {
  if (platform::MakeDirectory(target, 0755) != 0) return kErrFileWrite;
  LogControl control;
  {
    std::unique_ptr<FileLock> lock;
    if (const Status status = LockAndLoad(lock, control)) return status;
    if (const Status status = CopyHostFile(hostDir_ / kControlFileName, target / kControlFileName)) return status;
    for (const ExtentEntry& entry : control.extents) {
      if (entry.number == control.current) continue;
      const std::string name = ExtentHostPath(entry.number).filename().string();
      const Status status = LinkOrCopy(hostDir_ / name, target / name);
      // An extent archived out of the log folder is looked for elsewhere.
      if (status != kNoError && status != kErrFileNotFound) return status;
    }
  }
  // The live extent is copied outside the lock, so the server's writers do
  // not wait for it: records appended meanwhile are whole records of the
  // same series, and a torn last one is cut off when the copy is read.
  const std::string current = ExtentHostPath(control.current).filename().string();
  return CopyHostFile(hostDir_ / current, target / current);
}

Status Runtime::CopyLogForRecovery(const std::string& targetDirectory) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  if (!config_->loggingOn || config_->logDir.empty()) return kErrNoLogPath;
  return Log().CopyForRecovery(CanonicalHost(targetDirectory));
}

Status Runtime::AssignNewInstanceId(const std::string& path, LogId& instanceId) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  const fs::path host = CanonicalHost(ResolvePath(path));
  auto lock = LockRuntime("db-" + PathKey(host));
  if (!lock) return kErrFileWrite;
  Database db;
  if (const Status status = LoadDatabase(host, db)) return status;
  std::random_device device;
  for (auto& byte : db.header.instanceId) byte = static_cast<uint8_t>(device());
  if (const Status status = SaveDatabase(host, db)) return status;
  instanceId = db.header.instanceId;
  return kNoError;
}

Status Runtime::IsDatabaseOpen(const std::string& path, bool& open) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  auto notOpen = FileLock::TryAcquire(OpenLockFile(CanonicalHost(ResolvePath(path))));
  if (!notOpen && errno != EWOULDBLOCK && errno != EAGAIN) return kErrFileRead;
  open = notOpen == nullptr;
  return kNoError;
}

Status Runtime::ReplaceDatabase(const std::string& restoredPath, const std::string& targetPath) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  const fs::path restored = CanonicalHost(ResolvePath(restoredPath));
  const fs::path target = CanonicalHost(ResolvePath(targetPath));
  auto notOpen = FileLock::TryAcquire(OpenLockFile(target));
  if (!notOpen) return errno == EWOULDBLOCK || errno == EAGAIN ? kDbInUse : kErrFileWrite;
  auto lock = LockRuntime("db-" + PathKey(target));
  if (!lock) return kErrFileWrite;
  // Only a whole database takes the place of the original.
  Database check;
  if (const Status status = LoadDatabase(restored, check)) return status;
  if (platform::RenameFile(restored, target) != 0) return kErrFileWrite;
  // The swap is done and cannot be undone; a folder that will not flush
  // must not make the caller believe the original is still in place.
  platform::SyncFolder(target.parent_path());
  return kNoError;
}

size_t Runtime::HoldDatabasesOpen(const std::vector<std::string>& paths) {
  std::lock_guard guard(mutex_);
  if (Ready() != kNoError) return 0;
  size_t held = 0;
  for (const std::string& path : paths) {
    auto lock = FileLock::Acquire(OpenLockFile(CanonicalHost(ResolvePath(path))), FileLock::Mode::Shared);
    if (!lock) continue;
    heldOpen_.push_back(std::move(lock));
    ++held;
  }
  return held;
}

}  // namespace omb::notes
