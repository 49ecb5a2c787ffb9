// ombctl pin / unpin: keep a snapshot from excess deletion, or let it go
// again. The snapshot is named as omb --restore=P --snapshot=N names it.
#include <ostream>

#include "tools/ombctl/listing.h"

namespace omb::ctl {

namespace {

constexpr const char* kPinHelp =
    "Usage: ombctl pin --partition P --snapshot N [--host H[:PORT]]\n\n"
    "Pins snapshot N of the server on partition P (N as omb --restore=P\n"
    "--snapshot=N counts: 1 is the newest complete snapshot). Excess deletion\n"
    "never deletes a pinned snapshot, nor the archived logs it needs for an\n"
    "up-to-the-minute restore. An incomplete snapshot cannot be pinned.\n"
    "Exit 0 pinned, 1 refused (nothing changed), 2 failed.\n";

constexpr const char* kUnpinHelp =
    "Usage: ombctl unpin --partition P --snapshot N [--host H[:PORT]]\n\n"
    "Removes the pin of snapshot N of the server on partition P, so excess\n"
    "deletion counts it again like any other snapshot.\n"
    "Exit 0 unpinned, 1 refused (nothing changed), 2 failed.\n";

// A whole number from `low` to `high`; -1 for anything else.
int ParseNumber(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 3) return -1;
  int value = 0;
  for (char digit : text) {
    if (digit < '0' || digit > '9') return -1;
    value = value * 10 + (digit - '0');
  }
  return value >= low && value <= high ? value : -1;
}

int RunPinning(Invocation& call, const char* name, const char* help, bool pinned) {
  if (WantsHelp(call.args)) {
    call.out << help;
    return kExitDone;
  }
  ListingOptions options;
  std::string error;
  if (!ParseListingOptions(call.args, {"--partition", "--snapshot"}, options, error)) return Refuse(call, name, error);
  if (options.json) return Refuse(call, name, "has no JSON output");
  if (!options.positional.empty()) return Refuse(call, name, "takes no arguments");
  const int partition = ParseNumber(options.values["--partition"], 1, 8);
  if (partition < 0) return Refuse(call, name, "--partition takes a number from 1 to 8");
  const int number = ParseNumber(options.values["--snapshot"], 1, 64);
  if (number < 0) return Refuse(call, name, "--snapshot takes a number from 1 to 64 (1 is the newest)");
  Machine machine;
  if (!machine.Open(options.host, call.services, error)) return Refuse(call, name, error);
  const ops::PinReply reply = machine.operations().SetSnapshotPin(partition, number, pinned);
  if (reply.status == ops::PinStatus::Done) {
    call.out << reply.message << "\n";
  } else {
    call.err << "ombctl " << name << ": " << reply.message << "\n";
  }
  return static_cast<int>(reply.status);
}

}  // namespace

int RunPin(Invocation& call) { return RunPinning(call, "pin", kPinHelp, true); }
int RunUnpin(Invocation& call) { return RunPinning(call, "unpin", kUnpinHelp, false); }

}  // namespace omb::ctl
