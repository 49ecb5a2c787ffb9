// ombctl restore: the whole-volume restore of one snapshot, up to the
// minute, at the snapshot's point in time (--nr), or recovered to a chosen
// time (--until). The snapshot is numbered as omb --snapshot=N numbers it.
// What can be checked before the run is checked here, so that a refused
// restore exits 1 with nothing touched; the run checks again itself.
#include <algorithm>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/system.h"
#include "reports/reports.h"
#include "tools/ombctl/listing.h"

namespace omb::ctl {

namespace {

constexpr const char* kName = "restore";
constexpr uint64_t kLastTickOfSecond = 10'000'000 - 1;

constexpr const char* kHelp =
    "Usage: ombctl restore --partition P --snapshot N [--nr | --until TIME] [--host H[:PORT]]\n\n"
    "Reverts the data disk of Domino partition P to its snapshot N (1 is the\n"
    "newest complete snapshot, as in omb --restore=P --snapshot=N and ombctl\n"
    "snapshots), applies the change information of the backup, and then\n"
    "  (default)     rolls every logged database forward up to the minute,\n"
    "  --nr          leaves the databases at the snapshot's point in time,\n"
    "  --until TIME  rolls them forward to TIME, local time written\n"
    "                \"YYYY-MM-DD HH:MM:SS\" or \"YYYY-MM-DDTHH:MM:SS\"; every change\n"
    "                made up to the end of that second is kept. TIME must lie in\n"
    "                the snapshot's recovery range (ombctl snapshots).\n"
    "Domino must not be running. The report goes to the Restore category.\n\n"
    "Exit status: 0 restored, 1 refused (bad options, Domino running, another\n"
    "run in progress, a time outside the range; nothing was touched), 2 the\n"
    "restore failed or left a database short of the requested point.\n";

constexpr const char* kDominoRunning =
    "Domino is running. It needs to be shutdown before the restore process occurs.";

struct RestoreOptions {
  int partition = 0;
  int snapshot = 0;
  bool pointInTime = false;
  std::optional<uint64_t> until;  // the last tick of the second given
  std::string host;
};

// "1".."max" as a number; 0 for anything else.
int SmallNumber(const std::string& text, int max) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  const int value = std::stoi(text);
  return value >= 1 && value <= max ? value : 0;
}

bool Store(const std::string& name, const std::string& value, RestoreOptions& options, std::string& error) {
  if (name == "--partition") {
    options.partition = SmallNumber(value, 8);
    if (options.partition == 0) error = "--partition takes a number from 1 to 8";
  } else if (name == "--snapshot") {
    options.snapshot = SmallNumber(value, 999);
    if (options.snapshot == 0) error = "--snapshot takes a number from 1 (the newest complete snapshot)";
  } else if (name == "--until") {
    const std::optional<uint64_t> start = platform::ParseLocalTimeText(value);
    if (start) options.until = *start + kLastTickOfSecond;
    else error = "--until takes a local time \"YYYY-MM-DD HH:MM:SS\", not '" + value + "'";
  } else {
    options.host = value;
  }
  return error.empty();
}

bool ParseOptions(const std::vector<std::string>& args, RestoreOptions& options, std::string& error) {
  const std::vector<std::string> valued = {"--partition", "--snapshot", "--until", "--host"};
  std::vector<std::string> seen;
  for (size_t index = 0; index < args.size(); ++index) {
    const std::string& arg = args[index];
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    for (const std::string& earlier : seen) {
      if (earlier == name) {
        error = "option " + name + " is given twice";
        return false;
      }
    }
    seen.push_back(name);
    if (arg == "--nr") {
      options.pointInTime = true;
      continue;
    }
    if (std::find(valued.begin(), valued.end(), name) == valued.end()) {
      error = "unknown option '" + arg + "'";
      return false;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (index + 1 < args.size()) {
      value = args[++index];
    } else {
      error = "option " + name + " needs a value";
      return false;
    }
    if (!Store(name, value, options, error)) return false;
  }
  if (options.partition == 0 || options.snapshot == 0) error = "--partition P and --snapshot N are required";
  else if (options.pointInTime && options.until) error = "--nr and --until exclude each other";
  return error.empty();
}

const PartitionInfo* FindPartition(const ServerList& list, int partition) {
  for (const PartitionInfo& server : list.servers) {
    if (server.partitionNumber == partition) return &server;
  }
  return nullptr;
}

const SnapshotEntry* FindNumbered(const PartitionInfo& server, int number) {
  const std::vector<int> numbers = ops::SnapshotNumbers(server.snapshots);
  for (size_t index = 0; index < numbers.size(); ++index) {
    if (numbers[index] == number) return &server.snapshots[index];
  }
  return nullptr;
}

// The recovery range of the snapshot as the listing gives it; an empty
// reason when the time lies in it.
std::string OutsideRange(ops::Operations& operations, const PartitionInfo& server, const SnapshotEntry& entry,
                         uint64_t until) {
  std::vector<ops::SnapshotDetails> list;
  operations.ListSnapshots(list);
  for (const ops::SnapshotDetails& details : list) {
    if (details.partition != server.partitionNumber || details.name != entry.name) continue;
    if (details.recoverTo == 0) {
      return "snapshot " + entry.name + " cannot be recovered to a time: the log extents it needs are not all there";
    }
    if (until >= details.recoverFrom && until <= details.recoverTo) return "";
    return "the time " + LocalTimeText(until) + " is " +
           (until < details.recoverFrom ? "before the snapshot was taken" : "after the newest log record") +
           "; snapshot " + entry.name + " can be recovered to a time from " + LocalTimeText(details.recoverFrom) +
           " to " + LocalTimeText(details.recoverTo);
  }
  return "snapshot " + entry.name + " is not in the snapshot listing";
}

// A run that the engine refused before touching anything, by its own words.
bool RefusedByTheRun(const std::string& text) {
  return text.find("A current BACKUP/RESTORE is in progress") != std::string::npos ||
         text.find(kDominoRunning) != std::string::npos;
}

int Restore(Invocation& call, ops::Operations& operations, const RestoreOptions& options, bool remote) {
  if (operations.DominoRunning()) return Refuse(call, kName, kDominoRunning);
  ServerList servers;
  operations.ListServers(servers);
  const PartitionInfo* server = FindPartition(servers, options.partition);
  if (server == nullptr) return Refuse(call, kName, "there is no Domino partition " + std::to_string(options.partition));
  const SnapshotEntry* entry = FindNumbered(*server, options.snapshot);
  if (entry == nullptr) {
    return Refuse(call, kName,
                  "partition " + std::to_string(options.partition) + " has no complete snapshot " +
                      std::to_string(options.snapshot) + "; see 'ombctl snapshots'");
  }
  if (options.until) {
    const std::string why = OutsideRange(operations, *server, *entry, *options.until);
    if (!why.empty()) return Refuse(call, kName, why);
  }
  restore::RestoreJob job(call.services);
  job.server = *server;
  job.snapshot = *entry;
  job.pointInTime = options.pointInTime ? 1 : 0;
  job.recoverUntil = options.until;
  // On the real standard output the text goes out as it comes, through the
  // console descriptor: the recovery captures descriptor 1 while it runs.
  const bool live = &call.out == &std::cout;
  job.progress.toConsole = live;
  if (!remote) reports::EnsureReportFolder();
  const int result = operations.RunRestore(job);
  if (!live) call.out << job.progress.accumulated;
  if (result == 0) return kExitDone;
  if (RefusedByTheRun(job.progress.accumulated)) return kExitRefused;
  call.err << "ombctl restore: the restore of " << entry->name << " failed; see its report\n";
  return kExitFailed;
}

}  // namespace

int RunRestore(Invocation& call) {
  if (WantsHelp(call.args)) {
    call.out << kHelp;
    return kExitDone;
  }
  RestoreOptions options;
  std::string error;
  if (!ParseOptions(call.args, options, error)) return Refuse(call, kName, error + "; see 'ombctl restore --help'");
  Machine machine;
  if (!machine.Open(options.host, call.services, error)) return Refuse(call, kName, error);
  try {
    return Restore(call, machine.operations(), options, machine.remote());
  } catch (const OMBError& failure) {
    call.err << "ombctl restore: " << failure.message() << "\n";
    return kExitFailed;
  }
}

}  // namespace omb::ctl
