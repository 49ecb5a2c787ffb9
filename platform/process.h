#pragma once
// The running-process check over /proc.
#include <string>
#include <string_view>
#include <vector>

namespace omb::platform {

// Base names (without folder and extension) of the programs of every
// running process of this machine (a process whose OMB_MACHINE names another
// machine root runs on another simulated machine); false when the list
// cannot be read.
bool ListProcessNames(std::vector<std::string>& names);

}  // namespace omb::platform
