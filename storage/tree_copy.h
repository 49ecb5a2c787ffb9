#pragma once
// Copies and removes host folder trees for snapshots and restores.
#include <filesystem>

namespace omb::storage {

struct CopyOptions {
  // Worker threads copying file contents; the walk itself is one thread.
  // One by default: on two cores more workers measured no faster.
  unsigned workers = 1;
  // Try FICLONE first (shared extents on btrfs, XFS and the like).
  bool tryReflink = true;
  // Drop each source file's cached pages once it is copied. A restore reads
  // its snapshot once; keeping those pages cached makes the copy's new pages
  // come from memory never used before, which on a virtual machine costs a
  // host fault per page and measured several times slower than the copy
  // itself. Dropped pages are reused at once by the files that follow.
  bool dropSourceCache = false;
};

struct CopyReport {
  int error = 0;               // errno of the first failure, 0 on success
  unsigned long long files = 0;
  unsigned long long bytes = 0;
  bool reflinked = false;      // at least one file was cloned
};

// Copies the folder `source` (followed when it is a symlink) to `target`,
// which must not exist. Symlinks inside are copied as links; modes and
// modification times are kept. On failure the partial target is left for
// the caller to remove.
CopyReport CopyTree(const std::filesystem::path& source, const std::filesystem::path& target,
                    const CopyOptions& options = {});

// Copies one regular file to `target`, which must not exist (EEXIST),
// whole or not at all: a temporary file beside the target is cloned where
// the file system can (a copy otherwise), flushed, renamed into place
// without replacing anything that appeared meanwhile, and the folder is
// flushed. On failure nothing is left behind.
CopyReport CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target,
                              const CopyOptions& options = {});

// Removes a tree without following symlinks; true when it is gone. File
// removal runs on several threads: on file systems that discard freed
// blocks at once, each unlink waits on the device, and the waits overlap.
bool RemoveTree(const std::filesystem::path& path, unsigned workers = 4);

}  // namespace omb::storage
