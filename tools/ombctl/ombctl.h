#pragma once
// ombctl: the administrator's second command line, for what omb's fixed
// option grammar has no room for. One subcommand per task, in the manner of
// systemctl and snapper: `ombctl SUBCOMMAND [OPTIONS]`, `--help` on each,
// errors on standard error.
//
// Exit codes: 0 done, 1 refused (bad options, a rule that forbids the
// request; nothing was changed), 2 the work ran and failed. `ombctl status`
// follows the monitoring plugin convention instead (0..3).
#include <iosfwd>
#include <string>
#include <vector>

#include "core/services.h"

namespace omb::ctl {

inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitFailed = 2;

// What a subcommand works with: its arguments (after the subcommand's
// name), the two output streams and the machine's services.
struct Invocation {
  std::vector<std::string> args;
  std::ostream& out;
  std::ostream& err;
  RunServices services;
};

struct Subcommand {
  const char* name;
  const char* summary;  // one line for `ombctl --help`
  int (*run)(Invocation& call);
};

// Every subcommand, in the order `ombctl --help` lists them.
const std::vector<Subcommand>& Subcommands();

// The whole program behind the thin main.
int CtlMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            RunServices services = DefaultRunServices());

// "-h" or "--help" among a subcommand's arguments.
bool WantsHelp(const std::vector<std::string>& args);

}  // namespace omb::ctl
