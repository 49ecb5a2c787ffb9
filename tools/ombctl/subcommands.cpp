#include "tools/ombctl/subcommands.h"

namespace omb::ctl {

int RunVersion(Invocation& call);

std::vector<Subcommand> AllSubcommands() {
  return {
      {"version", "print the version of ombctl", &RunVersion},
  };
}

}  // namespace omb::ctl
