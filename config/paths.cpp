// The names and paths an entry of the plan derives.
#include "config/configuration.h"

namespace omb::config {

std::string KindName(int kind) { return kind == kKindData ? "Data" : "Log"; }

std::string SourceDirectory(const MigrationEntry& entry) {
  return entry.kind == kKindData ? entry.server.dataPath : entry.server.logPath;
}

// The drive letter is ASCII; any other target leaves the path unchanged
// rather than writing half a character into it.
std::string DestinationDirectory(const MigrationEntry& entry) {
  std::string destination = SourceDirectory(entry);
  if (!destination.empty() && entry.targetDriveLetter > 0 && entry.targetDriveLetter < 0x80) {
    destination[0] = static_cast<char>(entry.targetDriveLetter);
  }
  return destination;
}

}  // namespace omb::config
