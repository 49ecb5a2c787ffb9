#include "domino/pins.h"

#include "domino/incomplete.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace omb {

namespace {

constexpr const char* kPinFile = "pinned";
constexpr const char* kPinText = "Excess deletion keeps this snapshot until it is unpinned.\n";

bool PinPath(const PartitionInfo& server, const std::string& snapshotName, std::string& directory,
             std::string& path) {
  if (snapshotName.empty() || GetServerVaultinfoDir(server, snapshotName, directory) != 0) return false;
  path = platform::JoinPath(directory, kPinFile);
  return true;
}

}  // namespace

bool IsSnapshotPinned(const PartitionInfo& server, const std::string& snapshotName) {
  std::string directory;
  std::string path;
  return PinPath(server, snapshotName, directory, path) && platform::IsFile(path);
}

bool IsChangeInfoDirectoryPinned(const std::string& directory) {
  return !directory.empty() && platform::IsFile(platform::JoinPath(directory, kPinFile));
}

PinResult PinSnapshot(const PartitionInfo& server, const std::string& snapshotName) {
  std::string directory;
  std::string path;
  if (!PinPath(server, snapshotName, directory, path)) return PinResult::Failed;
  if (IsSnapshotIncomplete(server, snapshotName)) return PinResult::Incomplete;
  CreateDirectoryPath(directory);
  // The atomic writer: a pin is either whole on disk or not there at all.
  return platform::WriteTextFile(path, kPinText) == 0 ? PinResult::Done : PinResult::Failed;
}

int UnpinSnapshot(const PartitionInfo& server, const std::string& snapshotName) {
  std::string directory;
  std::string path;
  if (!PinPath(server, snapshotName, directory, path)) return -1;
  const int result = platform::DeleteOneFile(path);
  // A pin, or its whole directory, that is not there is no failure.
  return result == 0 || result == 2 || result == 3 ? 0 : -1;
}

}  // namespace omb
