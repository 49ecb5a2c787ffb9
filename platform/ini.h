#pragma once
// Private-profile (ini) files on Windows paths. Section and key names
// compare without regard to case; a write changes only its own line and
// keeps comments, order and other sections; a missing file or section is
// created. Updates are atomic under an exclusive lock.
#include <optional>
#include <string>
#include <string_view>

namespace omb::platform {

std::optional<std::string> ReadIniValue(std::string_view file, std::string_view section,
                                        std::string_view key);
// Returns true when written.
bool WriteIniValue(std::string_view file, std::string_view section, std::string_view key,
                   std::string_view value);

}  // namespace omb::platform
