#pragma once
// The Domino servers of the machine as discovery describes them.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "component/snapshot_entry.h"
#include "core/progress.h"

namespace omb {

// The virtual disk under a directory.
struct VldInfo {
  char driveLetter = 0;      // upper case; 0 when not on a virtual disk
  std::string volumePath;
  std::string storagePath;
  bool onVld = false;
  std::string volume;        // "Data Vol"
  std::string filer;         // "Filer"
  std::string fileName;      // "Filename"
};

struct PartitionInfo {
  int partitionNumber = 0;   // 1..8
  bool selected = false;
  VldInfo dataDisk;
  VldInfo logDisk;
  std::string dataPath;
  std::string logPath;       // absolute; empty when notes.ini names none
  std::string notesIniPath;
  std::string serverName;    // "Mail1/Sales/Acme"
  std::string shortName;     // "Mail1"; empty when the name has no "/"
  std::string dataPathValueName;  // "PARTITION<n>" or "DataPath"
  bool logEnabled = false;
  std::vector<SnapshotEntry> snapshots;  // oldest first, the recent one last
  ProgressSink progress;
  bool partitioned = false;
  int32_t logStyleCode = 0;
  int archiveLogging = 0;
  bool notesReadable = false;
  std::string logStyle;      // "Archive", "Circular", "No Logging", "Information not available."
  int logPathRelative = 0;
  uint32_t dominoVersion = 0;  // 6 for the newer registry layout
};

struct ServerList {
  std::string machineName;
  bool partitioned = false;
  std::vector<PartitionInfo> servers;
  std::map<std::string, PartitionInfo> byServerName;
  std::map<std::string, PartitionInfo> byDataPath;
  size_t count() const { return servers.size(); }
};

}  // namespace omb
