#include "platform/host_io.h"

#include <memory>

#include "platform/durable.h"

namespace omb::platform::detail {

namespace {

// Locks the file itself, which keeps stray lock files out of the folders.
// Each update replaces the file by rename, so a lock won on a file that has
// meanwhile been replaced guards nothing: then the lock is taken again.
std::unique_ptr<FileLock> LockCurrentFile(const std::filesystem::path& host) {
  for (;;) {
    std::unique_ptr<FileLock> lock = FileLock::Acquire(host);
    if (lock == nullptr || lock->Guards(host)) return lock;
  }
}

// Only the holder of the update lock writes this name. Built by appending:
// GCC 12 warns falsely (-Wrestrict) on "." + text at -O3.
std::filesystem::path LockedTemporary(const std::filesystem::path& host) {
  std::string name = ".";
  name.append(host.filename().string()).append(".tmp");
  return host.parent_path() / name;
}

}  // namespace

bool UpdateHostFileLocked(const std::filesystem::path& host, size_t maxBytes,
                          const std::function<Update(std::string& bytes)>& modify) {
  // Released only after the rename, so the next writer reads the new file.
  std::unique_ptr<FileLock> lock = LockCurrentFile(host);
  if (lock == nullptr) return false;
  std::string bytes;
  if (ReadHostFile(host, bytes) != 0 || bytes.size() > maxBytes) return false;
  Update decision = modify(bytes);
  return decision == Update::Unchanged ||
         (decision == Update::Write && WriteFileAtomically(host, bytes, Flush::ToDisk, LockedTemporary(host)) == 0);
}

}  // namespace omb::platform::detail
