#include "reports/report_files.h"

#include <unistd.h>

#include <atomic>
#include <random>

#include "platform/files.h"

namespace omb::reports {

namespace {

constexpr int kDiskFull = 112;
constexpr int kAlreadyExists = 183;

// A staging name no other writer uses: the process id, a random number
// drawn once per process and a per-process counter. The leading "~" and
// ".tmp" keep it apart from report names.
std::string StagingName() {
  static std::atomic<unsigned> counter{0};
  static const unsigned salt = std::random_device{}();
  return "~omb-" + std::to_string(::getpid()) + "-" + std::to_string(salt) + "-" +
         std::to_string(counter.fetch_add(1)) + ".tmp";
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + name;
  return folder + "\\" + name;
}

}  // namespace

NewFileResult WriteNewFile(const std::string& stagingFolder, const std::string& path,
                           std::string_view bytes) {
  const std::string staging = Join(stagingFolder, StagingName());
  const int written = platform::WriteFileAtomic(staging, bytes);
  if (written != 0) {
    return written == kDiskFull ? NewFileResult::WriteFailed : NewFileResult::CreateFailed;
  }
  const int moved = platform::MoveFileOrDirectory(staging, path);
  if (moved == 0) return NewFileResult::Created;
  platform::DeleteOneFile(staging);
  return moved == kAlreadyExists ? NewFileResult::Exists : NewFileResult::CreateFailed;
}

NewFileOutcome WriteFirstFreeFile(const std::string& stagingFolder, unsigned count,
                                  const std::function<std::string(unsigned)>& candidate,
                                  std::string_view bytes) {
  NewFileOutcome outcome;
  for (unsigned index = 0; index < count; ++index) {
    outcome.path = candidate(index);
    outcome.result = WriteNewFile(stagingFolder, outcome.path, bytes);
    if (outcome.result != NewFileResult::Exists) return outcome;
  }
  return outcome;
}

bool CreateFolderPath(const std::string& path) {
  if (path.empty()) return false;
  // Skip the root ("X:\"); create each later component from the left.
  size_t position = path.find('\\', path.size() > 1 && path[1] == ':' ? 3 : 0);
  while (true) {
    const std::string prefix = path.substr(0, position);
    if (!prefix.empty() && !platform::IsDirectory(prefix)) platform::CreateOneDirectory(prefix);
    if (position == std::string::npos) break;
    position = path.find('\\', position + 1);
  }
  return platform::IsDirectory(path);
}

}  // namespace omb::reports
