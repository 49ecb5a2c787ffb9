#pragma once
// The running-process check over /proc.
#include <string>
#include <string_view>
#include <vector>

namespace omb::platform {

// Base names (without folder and extension) of the programs of every
// running process; false when the list cannot be read.
bool ListProcessNames(std::vector<std::string>& names);

}  // namespace omb::platform
