// ombctl status: a health check in the monitoring plugin convention. One
// summary line "OMB STATE - what | performance data" and the exit code
// 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN (also for bad options and a
// machine that cannot be asked, as plugins do).
#include <cstdio>
#include <exception>
#include <ostream>

#include "core/errors.h"
#include "tools/ombctl/listing.h"
#include "tools/ombctl/status_check.h"

namespace omb::ctl {

namespace {

constexpr const char* kHelp =
    "Usage: ombctl status [--warn AGE] [--crit AGE] [--min-free MB] [--log-full PCT]\n"
    "                     [--log-wait AGE] [--json] [--host H[:PORT]]\n\n"
    "Checks every server of the machine: the age of its newest complete\n"
    "snapshot against AGE (a number with s, m, h or d; hours without a unit;\n"
    "defaults 24h and 48h), databases left in backup mode (critical),\n"
    "incomplete snapshots (warning), log extents waiting to be archived, and\n"
    "the free space on the Vaultinfo and log drives (warning below MB when\n"
    "--min-free is given). A log drive fuller than PCT percent (default 80)\n"
    "warns, and so do extents that have waited longer than the --log-wait AGE\n"
    "(default 1h) to be archived: see ombctl archive-logs.\n\n"
    "Exit code: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.\n";

int Unknown(Invocation& call, bool json, const std::string& why) {
  const StatusVerdict verdict = UnknownVerdict(why);
  if (json) WriteStatusJson(call.out, verdict, nullptr);
  else call.out << verdict.summaryLine << "\n";
  return verdict.exitCode;
}

bool ParseThresholds(ListingOptions& options, StatusThresholds& thresholds, std::string& error) {
  const std::string& warn = options.values["--warn"];
  const std::string& crit = options.values["--crit"];
  const std::string& minFree = options.values["--min-free"];
  if (!warn.empty() && !ParseAge(warn, thresholds.warnSeconds)) {
    error = "--warn takes an age such as 24h, 90m or 2d";
    return false;
  }
  if (!crit.empty() && !ParseAge(crit, thresholds.critSeconds)) {
    error = "--crit takes an age such as 48h, 90m or 2d";
    return false;
  }
  if (thresholds.warnSeconds > thresholds.critSeconds) {
    error = "--warn must not be longer than --crit";
    return false;
  }
  if (!minFree.empty() && !ParseMegabytes(minFree, thresholds.minFreeMegabytes)) {
    error = "--min-free takes a number of megabytes";
    return false;
  }
  const std::string& logFull = options.values["--log-full"];
  if (!logFull.empty() && !ParsePercent(logFull, thresholds.logFullPercent)) {
    error = "--log-full takes a percentage from 1 to 100";
    return false;
  }
  const std::string& logWait = options.values["--log-wait"];
  if (!logWait.empty() && !ParseAge(logWait, thresholds.logWaitSeconds)) {
    error = "--log-wait takes an age such as 1h, 30m or 2d";
    return false;
  }
  return true;
}

}  // namespace

int RunStatus(Invocation& call) {
  if (WantsHelp(call.args)) {
    call.out << kHelp;
    return kExitDone;
  }
  ListingOptions options;
  StatusThresholds thresholds;
  std::string error;
  if (!ParseListingOptions(call.args, {"--warn", "--crit", "--min-free", "--log-full", "--log-wait"}, options, error) ||
      !ParseThresholds(options, thresholds, error)) {
    call.err << "ombctl status: " << error << "\n";
    return Unknown(call, options.json, "bad options: " + error);
  }
  if (!options.positional.empty()) return Unknown(call, options.json, "status takes no arguments");
  Machine machine;
  if (!machine.Open(options.host, call.services, error)) return Unknown(call, options.json, error);
  ops::MachineStatus status;
  try {
    machine.operations().MachineState(status);
  } catch (const std::exception& failure) {
    return Unknown(call, options.json, failure.what());
  }
  const StatusVerdict verdict = Judge(status, thresholds);
  if (options.json) WriteStatusJson(call.out, verdict, &status);
  else call.out << verdict.summaryLine << "\n";
  return verdict.exitCode;
}

}  // namespace omb::ctl
