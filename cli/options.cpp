#include "cli/options.h"

#include <limits>

#include "core/errors.h"
#include "platform/messagebox.h"

namespace omb {

namespace {

using platform::MessageIcon;

bool AllDigits(const std::string& text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Converts a checked run of digits; values beyond the 32-bit range stay at
// its maximum instead of wrapping round to a small or negative number.
int32_t ToNumber(const std::string& digits) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  int64_t value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > kMax) return static_cast<int32_t>(kMax);
  }
  return static_cast<int32_t>(value);
}

std::vector<std::string> SplitAtColons(const std::string& value) {
  std::vector<std::string> items;
  size_t start = 0;
  for (size_t colon = value.find(':'); colon != std::string::npos;
       colon = value.find(':', start)) {
    items.push_back(value.substr(start, colon - start));
    start = colon + 1;
  }
  items.push_back(value.substr(start));
  return items;
}

void HandleBackup(const std::string& value, CliOptions& options) {
  options.backupRequested = true;
  for (const std::string& item : SplitAtColons(value)) {
    if (item.empty() || !AllDigits(item) || ToNumber(item) <= 0)
      throw CLIInvalidBackupOption(item, value);
    options.partitions.push_back(ToNumber(item) - 1);
  }
}

// The program cannot go on with such a count: it ends with 255.
constexpr int kDeleteCountRefused = 255;

void RefuseDeleteCount(CliOptions& options) {
  platform::ShowMessageBox(
      "Invalid number for -DEL argument. Please specify a value between 1 and " +
          std::to_string(kMaxSnapshotsPerVolume),
      "OMB CLI Error", MessageIcon::Error);
  options.exitCode = kDeleteCountRefused;
}

void HandleDelete(const std::string& value, CliOptions& options) {
  if (value.empty()) throw CLINoArgToDeleteOption();
  if (!AllDigits(value)) throw CLIInvalidDeleteOption(value);
  options.deleteGiven = true;
  options.deleteCount = ToNumber(value);
  if (options.deleteCount > kMaxSnapshotsPerVolume || options.deleteCount < 1)
    RefuseDeleteCount(options);
}

void HandleRestore(const std::string& value, CliOptions& options) {
  if (value.empty()) throw CLINoArgToRestoreOption();
  if (!AllDigits(value) || ToNumber(value) <= 0) throw CLIInvalidRestoreOption(value);
  options.restoreRequested = true;
  options.restorePartition = ToNumber(value);
}

void HandleSnapshot(const std::string& value, CliOptions& options) {
  if (value.empty()) throw CLINoArgToSnapshotOption();
  if (!AllDigits(value)) throw CLIInvalidSnapshotOption(value);
  options.snapshotGiven = true;
  options.snapshotNumber = ToNumber(value);
}

void HandlePair(const OptionPair& pair, CliOptions& options) {
  const auto& [name, value] = pair;
  if (name == "backup") return HandleBackup(value, options);
  if (name == "del") return HandleDelete(value, options);
  if (name == "restore") return HandleRestore(value, options);
  if (name == "snapshot") return HandleSnapshot(value, options);
  if (name == "nr") {
    if (!value.empty()) throw CLIArgToPointInTimeOption();
    options.pointInTime = true;
    return;
  }
  if (name == "?" || name == "h" || name == "help") return ShowUsage();
  throw CLIUnknownOption(name);
}

std::string CombinationProblems(const CliOptions& options) {
  std::string message;
  if (options.restoreRequested && options.backupRequested)
    message += "Cannot specify restore and backup options simultaneously.\n";
  if (options.backupRequested && options.partitions.empty())
    message += "No valid partitions selected for backup.\n";
  return message;
}

}  // namespace

std::vector<OptionPair> SplitArguments(int argc, const char* const* argv) {
  std::vector<OptionPair> pairs;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i] != nullptr ? argv[i] : "";
    if (argument == "-h" || argument == "/?" || argument == "-?") {
      pairs.emplace_back("help", "");
      break;
    }
    if (argument.rfind("--", 0) != 0) continue;
    size_t equals = argument.find('=', 2);
    if (equals == std::string::npos) {
      pairs.emplace_back(argument.substr(2), "");
    } else {
      pairs.emplace_back(argument.substr(2, equals - 2), argument.substr(equals + 1));
    }
  }
  return pairs;
}

CliOptions ParseCommandLine(int argc, const char* const* argv) {
  CliOptions options;
  try {
    for (const OptionPair& pair : SplitArguments(argc, argv)) {
      HandlePair(pair, options);
      if (options.exitCode >= 0) return options;
    }
  } catch (const OMBError& error) {
    platform::ShowMessageBox(error.message(), "OMB Error", MessageIcon::Error);
    return options;
  }
  std::string problems = CombinationProblems(options);
  if (!problems.empty()) {
    platform::ShowMessageBox(problems, "Invalid Combination of Options", MessageIcon::Error);
    return options;
  }
  options.invalid = false;
  return options;
}

std::string UsageText() {
  return "Usage: omb [<option>]\n\n"
         "Ombrel for Lotus Domino Command Line Options:\n\n"
         "Backup Switches:\n"
         "--BACKUP=<P1>:<P2>:<Pn>\tCreates a snapshot of one or more Domino partitions.\r\n"
         "\t\t\t\t<Pn> represents the Domino partition number.\r\n"
         "--DEL=<N>\t\t\tDelete snapshots in excess of <N>.\n\n"
         "Restore Switches:\n"
         "--RESTORE\t\t\tRestores a snapshot (must include the --SNAPSHOT=<N> switch)\n"
         "--SNAPSHOT=<N>\t\t\tRestore the <Nth> snapshot.\n"
         "\t\t\t\t<N> ranges from 1 to maxium number of snapshots for this Domino partition,\n"
         "\t\t\t\twhere 1 is the most recent snapshot, 2 is the second oldest snapshot, etc.\n\n"
         "--P\t\t\t\tRestore a snapshot to Point-in-Time only\n"
         "\t\t\t\tExcluding this option causes an Up-to-the-Minute Restore.\n\n"
         "Backup Examples:.\n"
         "Create a snapshot of a single Domino server without deleting any snapshots.\n"
         "\tomb --backup=1\t\t.\n\n"
         "Create a snapshot of a single Domino server and delete snapshots in excess of 10.\n"
         "\tomb --backup=1 --del=10\t\t.\n\n"
         "Create a snapshot of Domino server partitions 1 and 2 and then delete snapshots\n"
         "in excess of 10 for each Domino partition server.\n"
         "\tomb --backup=1:2 --del=10\t\t.\n\n\n"
         "Restore Examples:.\n"
         "Up-to-the-Minute Restore of the most recent snapshot for a single Domino server.\n"
         "\tomb --restore=1 --snapshot=1\t\t.\n\n"
         "Up-to-the-Minute Restore of the third oldest snapshot for the second partition server.\n"
         "\tomb --restore=2 --snapshot=3\t\t.\n\n"
         "Point-in-Time Restore of the third oldest snapshot for a single Domino server.\n"
         "\tomb --restore=1 --snapshot=3 --p\t\t.\n\n";
}

void ShowUsage() {
  platform::ShowMessageBox(UsageText(), "OMB Help", MessageIcon::Information);
}

}  // namespace omb
