#pragma once
// File steps of the report store that the platform layer does not offer
// as one call: creating a file that must not replace an existing one, and
// creating a folder path component by component.
#include <functional>
#include <string>
#include <string_view>

namespace omb::reports {

enum class NewFileResult { Created, Exists, CreateFailed, WriteFailed };

// Writes bytes into a new file at `path` without ever replacing an existing
// file. The bytes go to a staging file in `stagingFolder` first (same
// volume), which is then moved into place with a no-replace rename, so a
// reader sees either no file or the whole text.
NewFileResult WriteNewFile(const std::string& stagingFolder, const std::string& path,
                           std::string_view bytes);

// Tries the candidate paths candidate(0) .. candidate(count - 1) in order
// with WriteNewFile until one is created or a write fails. `path` is the
// candidate the result belongs to; Exists means every candidate was taken.
struct NewFileOutcome {
  NewFileResult result = NewFileResult::Exists;
  std::string path;
};
NewFileOutcome WriteFirstFreeFile(const std::string& stagingFolder, unsigned count,
                                  const std::function<std::string(unsigned)>& candidate,
                                  std::string_view bytes);

// Creates every missing folder along a Windows path; true when the whole
// path exists afterwards.
bool CreateFolderPath(const std::string& path);

}  // namespace omb::reports
