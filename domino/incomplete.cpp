#include "domino/incomplete.h"

#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace omb {

namespace {

constexpr const char* kMarkFile = "incomplete";
constexpr const char* kMarkText = "The backup that took this snapshot did not finish.\n";

bool MarkPath(const PartitionInfo& server, const std::string& snapshotName, std::string& path) {
  std::string directory;
  if (snapshotName.empty() || GetServerVaultinfoDir(server, snapshotName, directory) != 0) return false;
  path = platform::JoinPath(directory, kMarkFile);
  return true;
}

}  // namespace

bool IsSnapshotIncomplete(const PartitionInfo& server, const std::string& snapshotName) {
  std::string path;
  return MarkPath(server, snapshotName, path) && platform::IsFile(path);
}

int MarkSnapshotIncomplete(const PartitionInfo& server, const std::string& snapshotName) {
  std::string path;
  if (!MarkPath(server, snapshotName, path)) return -1;
  std::string directory;
  GetServerVaultinfoDir(server, snapshotName, directory);
  CreateDirectoryPath(directory);
  // The atomic writer: the mark is on disk before the snapshot is taken.
  return platform::WriteTextFile(path, kMarkText) == 0 ? 0 : -1;
}

int ClearIncompleteMark(const PartitionInfo& server, const std::string& snapshotName) {
  std::string path;
  if (!MarkPath(server, snapshotName, path)) return -1;
  const int result = platform::DeleteOneFile(path);
  // A mark, or its whole directory, that is not there is no failure.
  return result == 0 || result == 2 || result == 3 ? 0 : -1;
}

}  // namespace omb
