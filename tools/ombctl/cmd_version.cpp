#include <ostream>

#include "core/application.h"
#include "tools/ombctl/ombctl.h"

namespace omb::ctl {

int RunVersion(Invocation& call) {
  if (WantsHelp(call.args)) {
    call.out << "Usage: ombctl version\n\nPrints the version of ombctl, the same as omb's About box.\n";
    return kExitDone;
  }
  if (!call.args.empty()) {
    call.err << "ombctl version: takes no arguments\n";
    return kExitRefused;
  }
  call.out << "ombctl " << VersionText() << "\n";
  return kExitDone;
}

}  // namespace omb::ctl
