#pragma once
// The table of subcommands. Each subcommand lives in a file of its own
// (tools/ombctl/cmd_<name>.cpp) and is listed once in subcommands.cpp.
#include <vector>

#include "tools/ombctl/ombctl.h"

namespace omb::ctl {

std::vector<Subcommand> AllSubcommands();

}  // namespace omb::ctl
