#include "tools/ombctl/subcommands.h"

namespace omb::ctl {

int RunSchedule(Invocation& call);
int RunVersion(Invocation& call);
int RunConfigure(Invocation& call);

std::vector<Subcommand> AllSubcommands() {
  return {
      {"configure", "move data and log directories onto virtual disks", &RunConfigure},
      {"schedule", "create, list and export scheduled backup jobs", &RunSchedule},
      {"version", "print the version of ombctl", &RunVersion},
  };
}

}  // namespace omb::ctl
