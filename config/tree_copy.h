#pragma once
// The directory copy of the migration: every file of a source tree to the
// same relative place under a destination, each file checked against its
// source after copying and the whole copy flushed to disk before it counts
// as done, so that settings are never pointed at data that is not there.
// Internal to config/.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace omb::config {

struct TreeEntry {
  std::string relative;  // below the source root, joined with "\"
  bool isDirectory = false;
};

// Lists the tree below sourceRoot, each folder before what it holds. 0, or
// the Win32 code of the listing that failed.
int ListTree(const std::string& sourceRoot, std::vector<TreeEntry>& entries);

struct CopyFailure {
  std::string source;  // Windows paths of the file (or roots) that failed
  std::string target;
  std::string reason;  // the system's text for the error, or what differed
};

// Copies the listed tree. onFile is called after each file copied. Returns
// false with `failure` filled at the first failure; the copy stops there.
bool CopyTree(const std::string& sourceRoot, const std::string& destinationRoot,
              const std::vector<TreeEntry>& entries, const std::function<void()>& onFile,
              CopyFailure& failure);

// The system's text for an errno value, as the Win32 error it stands for.
std::string ErrnoText(int error);

}  // namespace omb::config
