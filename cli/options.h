#pragma once
// The command-line options of omb: the grammar, the checks made while
// parsing, the usage text and every message the parser shows.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace omb {

struct CliOptions {
  bool backupRequested = false;
  std::vector<int32_t> partitions;  // zero-based, in the order given, duplicates kept
  bool deleteGiven = false;
  int32_t deleteCount = -1;         // keep at most this many snapshots
  bool snapshotGiven = false;
  int32_t snapshotNumber = -1;      // 1 = the most recent snapshot
  bool pointInTime = false;
  bool restoreRequested = false;
  int32_t restorePartition = -1;    // 1-based
  bool invalid = true;              // false only when parsing ended cleanly
  int exitCode = -1;                // 0..255: the program ends at once with this code
};

constexpr int32_t kMaxSnapshotsPerVolume = 31;

using OptionPair = std::pair<std::string, std::string>;  // name, value

// "--name=value" arguments as pairs; "-h", "/?" or "-?" ends the scan with
// ("help", ""); arguments not starting with "--" are ignored.
std::vector<OptionPair> SplitArguments(int argc, const char* const* argv);

// Never throws: errors are shown in message boxes and leave `invalid` set.
// A delete count outside 1..31 stops the parse and sets exitCode to 255.
CliOptions ParseCommandLine(int argc, const char* const* argv);

void ShowUsage();
std::string UsageText();

}  // namespace omb
