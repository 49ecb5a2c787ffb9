// ombctl snapshots: every snapshot of the machine's servers with the
// number omb --snapshot=N restores it by, whether the backup that took it
// got to its end, and the log extents a roll-forward from it needs.
#include <ostream>

#include "tools/ombctl/listing.h"

namespace omb::ctl {

namespace {

constexpr const char* kName = "snapshots";

constexpr const char* kHelp =
    "Usage: ombctl snapshots [--partition P] [--json] [--host H[:PORT]]\n\n"
    "Lists the snapshots of every server (or of partition P), oldest first:\n"
    "the number for omb --restore=P --snapshot=N (none for an incomplete one,\n"
    "which cannot be restored), the creation time, complete or incomplete\n"
    "(\"complete,pinned\" for one that excess deletion keeps; see ombctl pin),\n"
    "and the log extents an up-to-the-minute restore needs.\n"
    "LOGS is present (all needed extents are there), missing(K), other-series\n"
    "(the server has started a new log series since), none-needed, or\n"
    "no-hint (no log hint: point in time only).\n"
    "RECOVER-UNTIL is the latest time ombctl restore --until can recover the\n"
    "snapshot to (the earliest is CREATED), or - when its logs are not all there.\n";

std::string StateText(const ops::SnapshotDetails& details) {
  std::string state = details.complete ? "complete" : "incomplete";
  if (details.pinned) state += ",pinned";
  return state;
}

bool NeedsLogs(const ops::SnapshotDetails& details) { return details.logHint && details.firstLog < details.lastLog; }

std::string LogsState(const ops::SnapshotDetails& details) {
  if (!details.logHint) return "no-hint";
  if (!details.seriesCurrent) return "other-series";
  if (!NeedsLogs(details)) return "none-needed";
  if (details.missingCount != 0) return "missing(" + std::to_string(details.missingCount) + ")";
  return "present";
}

nlohmann::ordered_json LogsJson(const ops::SnapshotDetails& details) {
  if (!details.logHint) return nullptr;
  nlohmann::ordered_json json;
  json["series"] = details.logSeries;
  json["series_current"] = details.seriesCurrent;
  json["first_needed"] = NeedsLogs(details) ? nlohmann::ordered_json(ExtentName(details.firstLog)) : nullptr;
  json["last_needed"] = NeedsLogs(details) ? nlohmann::ordered_json(ExtentName(details.lastLog - 1)) : nullptr;
  json["missing_count"] = details.missingCount;
  nlohmann::ordered_json missing = nlohmann::ordered_json::array();
  for (uint32_t number : details.missingLogs) missing.push_back(ExtentName(number));
  json["missing"] = std::move(missing);
  json["all_present"] = details.logsPresent;
  return json;
}

bool Recoverable(const ops::SnapshotDetails& details) { return details.recoverTo != 0; }

nlohmann::ordered_json RecoveryRangeJson(const ops::SnapshotDetails& details) {
  if (!Recoverable(details)) return nullptr;
  nlohmann::ordered_json json;
  json["from"] = UtcTimeText(details.recoverFrom);
  json["to"] = UtcTimeText(details.recoverTo);
  return json;
}

void WriteSnapshotsJson(std::ostream& out, const std::vector<ops::SnapshotDetails>& list) {
  nlohmann::ordered_json document = JsonDocument("snapshots");
  nlohmann::ordered_json snapshots = nlohmann::ordered_json::array();
  for (const ops::SnapshotDetails& details : list) {
    nlohmann::ordered_json json;
    json["partition"] = details.partition;
    json["server"] = details.server;
    json["number"] = details.number == 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(details.number);
    json["name"] = details.name;
    json["created"] = UtcTimeText(details.creationTime);
    json["complete"] = details.complete;
    json["pinned"] = details.pinned;
    json["logs"] = LogsJson(details);
    json["recovery_range"] = RecoveryRangeJson(details);
    snapshots.push_back(std::move(json));
  }
  document["snapshots"] = std::move(snapshots);
  WriteJson(out, document);
}

void WriteSnapshotsText(std::ostream& out, const std::vector<ops::SnapshotDetails>& list) {
  if (list.empty()) {
    out << "No snapshots.\n";
    return;
  }
  std::vector<std::vector<std::string>> rows = {
      {"PART", "N", "CREATED", "STATE", "FIRST-LOG", "LAST-LOG", "LOGS", "RECOVER-UNTIL", "NAME"}};
  for (const ops::SnapshotDetails& details : list) {
    const bool needs = NeedsLogs(details);
    rows.push_back({std::to_string(details.partition), details.number == 0 ? "-" : std::to_string(details.number),
                    LocalTimeText(details.creationTime), StateText(details),
                    needs ? ExtentName(details.firstLog) : "-", needs ? ExtentName(details.lastLog - 1) : "-",
                    LogsState(details), Recoverable(details) ? LocalTimeText(details.recoverTo) : "-",
                    details.name});
  }
  WriteTable(out, rows);
}

// 1..8, or 0 for every partition; -1 for anything else.
int ParsePartition(const std::string& text) {
  if (text.empty()) return 0;
  if (text.size() != 1 || text[0] < '1' || text[0] > '8') return -1;
  return text[0] - '0';
}

}  // namespace

int RunSnapshots(Invocation& call) {
  if (WantsHelp(call.args)) {
    call.out << kHelp;
    return kExitDone;
  }
  ListingOptions options;
  std::string error;
  if (!ParseListingOptions(call.args, {"--partition"}, options, error)) return Refuse(call, kName, error);
  if (!options.positional.empty()) return Refuse(call, kName, "takes no arguments");
  const int partition = ParsePartition(options.values["--partition"]);
  if (partition < 0) return Refuse(call, kName, "--partition takes a number from 1 to 8");
  Machine machine;
  if (!machine.Open(options.host, call.services, error)) return Refuse(call, kName, error);
  std::vector<ops::SnapshotDetails> all;
  const int result = machine.operations().ListSnapshots(all);
  std::vector<ops::SnapshotDetails> shown;
  for (ops::SnapshotDetails& details : all) {
    if (partition == 0 || details.partition == partition) shown.push_back(std::move(details));
  }
  if (options.json) WriteSnapshotsJson(call.out, shown);
  else WriteSnapshotsText(call.out, shown);
  if (result != 0) {
    call.err << "ombctl snapshots: discovery ended with " << result << "; the list holds what was found\n";
    return kExitFailed;
  }
  return kExitDone;
}

}  // namespace omb::ctl
