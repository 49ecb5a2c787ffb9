#include "tools/ombctl/subcommands.h"

namespace omb::ctl {

int RunVersion(Invocation& call);
int RunConfigure(Invocation& call);

std::vector<Subcommand> AllSubcommands() {
  return {
      {"version", "print the version of ombctl", &RunVersion},
      {"configure", "move data and log directories onto virtual disks", &RunConfigure},
  };
}

}  // namespace omb::ctl
