#pragma once
// Host-side file primitives shared by the files, registry and ini code of
// this folder. Not for use outside platform/.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace omb::platform::detail {

// Whole-file read; a Win32 error code (0 on success).
int ReadHostFile(const std::filesystem::path& host, std::string& bytes);

// Read-modify-write of a shared text file (registry, ini) that is safe against
// concurrent writers in any process and against a crash at any moment.
// `modify` gets the current bytes (empty when the file is new) and edits them
// in place. Files larger than maxBytes are refused. Returns true when the
// change was written or none was needed.
enum class Update { Write, Unchanged, Refuse };
bool UpdateHostFileLocked(const std::filesystem::path& host, size_t maxBytes,
                          const std::function<Update(std::string& bytes)>& modify);

}  // namespace omb::platform::detail
