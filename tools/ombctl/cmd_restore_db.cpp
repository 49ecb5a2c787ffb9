// ombctl restore-db: one database out of a snapshot while the server keeps
// running, beside the original, to a path of its own, or in its place.
#include <iostream>
#include <ostream>
#include <stdexcept>

#include "operations/database_restore.h"
#include "tools/ombctl/listing.h"
#include "tools/ombctl/stream_observer.h"
#include "tools/ombctl/time_option.h"

namespace omb::ctl {

namespace {

constexpr const char* kName = "restore-db";

constexpr const char* kHelp =
    "Usage: ombctl restore-db --partition P --snapshot N --db PATH\n"
    "                         [--to NEWPATH | --replace] [--nr | --until TIME] [--host H[:PORT]]\n\n"
    "Restores one database of partition P from its snapshot N (1 the newest complete\n"
    "one, as omb --snapshot=N counts) while the server keeps running. PATH is the\n"
    "database's path, full or relative to the data directory (mail\\user1.nsf).\n"
    "The database is copied out of the snapshot, its change information from the\n"
    "backup is applied, and it is recovered with the transaction log: up to the\n"
    "minute (default), to the snapshot's time (--nr), or to TIME (--until, local\n"
    "time \"YYYY-MM-DD HH:MM:SS\"). The live log and the live database are not\n"
    "touched, and the restored copy gets an instance id of its own.\n\n"
    "It goes beside the original as NAME_restored.nsf (never over an existing\n"
    "file), to NEWPATH with --to, or takes the original's place with --replace,\n"
    "which is refused while the server has the database open.\n\n"
    "Exit status: 0 restored, 1 refused (nothing changed), 2 failed (the original\n"
    "is unchanged and no restored copy is left).\n";

class OptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RestoreDbOptions {
  ops::DatabaseRestoreRequest request;
  std::string host;
};

int Number(const std::string& option, const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) {
    throw OptionError(option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high));
  }
  const int value = std::stoi(text);
  if (value < low || value > high) {
    throw OptionError(option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high));
  }
  return value;
}

// Splits "--name=value" and "--name value" for the options that take one.
bool TakeValue(const std::vector<std::string>& args, size_t& index, std::string& name, std::string& value) {
  name = args[index];
  const size_t equals = name.find('=');
  if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
    value = name.substr(equals + 1);
    name = name.substr(0, equals);
    return true;
  }
  static const char* const kValued[] = {"--partition", "--snapshot", "--db", "--to", "--until", "--host"};
  for (const char* valued : kValued) {
    if (name != valued) continue;
    if (index + 1 >= args.size()) throw OptionError(name + " needs a value");
    value = args[++index];
    return true;
  }
  return false;
}

void SetOnce(std::string& slot, const std::string& name, const std::string& value) {
  if (!slot.empty()) throw OptionError(name + " is given twice");
  if (value.empty()) throw OptionError(name + " needs a value");
  slot = value;
}

RestoreDbOptions ParseOptions(const std::vector<std::string>& args) {
  RestoreDbOptions options;
  std::string partition, snapshot, until;
  bool pointInTime = false;
  for (size_t index = 0; index < args.size(); ++index) {
    std::string name, value;
    const bool valued = TakeValue(args, index, name, value);
    if (name == "--replace" && !valued) {
      options.request.replace = true;
    } else if (name == "--nr" && !valued) {
      pointInTime = true;
    } else if (name == "--partition") {
      SetOnce(partition, name, value);
    } else if (name == "--snapshot") {
      SetOnce(snapshot, name, value);
    } else if (name == "--db") {
      SetOnce(options.request.database, name, value);
    } else if (name == "--to") {
      SetOnce(options.request.target, name, value);
    } else if (name == "--until") {
      SetOnce(until, name, value);
    } else if (name == "--host") {
      SetOnce(options.host, name, value);
    } else {
      throw OptionError("unknown option '" + args[index] + "'");
    }
  }
  if (partition.empty() || snapshot.empty() || options.request.database.empty()) {
    throw OptionError("--partition, --snapshot and --db are required");
  }
  options.request.partition = Number("--partition", partition, 1, 8);
  options.request.snapshotNumber = Number("--snapshot", snapshot, 1, 9999);
  if (options.request.replace && !options.request.target.empty()) {
    throw OptionError("--to and --replace exclude each other");
  }
  if (pointInTime && !until.empty()) throw OptionError("--nr and --until exclude each other");
  if (pointInTime) options.request.point = restore::RecoveryPoint::SnapshotTime;
  if (!until.empty()) {
    if (!ParseLocalTime(until, options.request.untilTime)) {
      throw OptionError("--until takes a local time as \"YYYY-MM-DD HH:MM:SS\", not '" + until + "'");
    }
    options.request.point = restore::RecoveryPoint::UntilTime;
  }
  return options;
}

}  // namespace

int RunRestoreDb(Invocation& call) {
  if (WantsHelp(call.args)) {
    call.out << kHelp;
    return kExitDone;
  }
  RestoreDbOptions options;
  try {
    options = ParseOptions(call.args);
  } catch (const OptionError& error) {
    return Refuse(call, kName, error.what());
  }
  Machine machine;
  std::string error;
  if (!machine.Open(options.host, call.services, error)) return Refuse(call, kName, error);
  StreamObserver observer(call.out, true);
  ProgressSink output;
  // A local run captures standard output while the Notes recovery prints;
  // its messages then go to the descriptor the process started with, so
  // they do not flow back into the capture.
  if (&call.out == &std::cout && !machine.remote()) {
    output.toConsole = true;
  } else {
    output.window = &observer;
  }
  int result = restore::kDatabaseRestoreFailed;
  try {
    result = machine.operations().RestoreDatabase(options.request, output);
  } catch (const OMBError& failure) {
    return Refuse(call, kName, failure.message());
  }
  if (result == restore::kDatabaseRestoreDone) return kExitDone;
  return result == restore::kDatabaseRestoreRefused ? kExitRefused : kExitFailed;
}

}  // namespace omb::ctl
