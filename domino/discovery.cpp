// Discovery of the Domino servers of this machine: registry layout, each
// server's notes.ini and identity through the Notes runtime, then the
// virtual disks and snapshot lists when the storage component is installed.
#include "domino/discovery.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "component/component.h"
#include "domino/incomplete.h"
#include "domino/pins.h"
#include "domino/notes_runtime.h"
#include "domino/vaultinfo.h"
#include "notes/notes.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "platform/text.h"
#include "storage/storage.h"

namespace omb {

// Defined in domino/disks.cpp.
int FillVirtualDiskInfo(std::vector<PartitionInfo>& servers, storage::Component& component);

namespace {

const std::string kDominoKey = "SOFTWARE\\Lotus\\Domino";
const std::string kDomino5Key = "SOFTWARE\\Lotus\\Domino\\5.0";
constexpr int kMaxPartitions = 8;
constexpr size_t kMachineNameLimit = 256;
constexpr size_t kHintLineLimit = 255;
constexpr int64_t kHintFileLimit = 1 << 20;

// Reads a value under the 5.0 key, else under the Domino key: 0 or 1.
int ReadFromEitherKey(const std::string& valueName, std::string& value, bool* fromDominoKey = nullptr) {
  if (ReadRegistryValue(kDomino5Key, valueName, value) == 0) return 0;
  int result = ReadRegistryValue(kDominoKey, valueName, value);
  if (fromDominoKey) *fromDominoKey = result == 0;
  return result;
}

// The newer layout keeps "Version" under the Domino key; its "Partitions"
// value with exactly one separator marks a single server.
bool ReadNewerLayout(bool& partitioned) {
  std::string version;
  if (ReadRegistryValue(kDominoKey, "Version", version) != 0) return false;
  std::string partitions;
  std::vector<std::string> pieces;
  ReadRegistryValue(kDominoKey, "Partitions", partitions);
  if (platform::SplitText(partitions, ",", pieces) == 1) partitioned = false;
  return true;
}

void ApplyServerName(notes::NotesApi& api, PartitionInfo& server) {
  std::string canonical;
  if (api.GetServerName(canonical) == notes::kNoError &&
      api.AbbreviateName(canonical, server.serverName) != notes::kNoError) {
    server.serverName = canonical;
  }
  server.notesReadable = true;
  size_t slash = server.serverName.find('/');
  if (slash != std::string::npos) server.shortName = server.serverName.substr(0, slash);
}

void ApplyLogPath(PartitionInfo& server) {
  std::string logPath;
  if (ReadNotesIniValue("TRANSLOG_Path", logPath, server.notesIniPath) <= 0) return;
  if (platform::SplitPath(logPath).drive.empty()) {
    server.logPath = platform::JoinPath(server.dataPath, logPath);
    server.logPathRelative = 1;
  } else {
    server.logPath = logPath;
    server.logPathRelative = 0;
  }
}

void ApplyLogStyle(notes::NotesApi& api, PartitionInfo& server) {
  int style = 0;
  notes::Status status = api.GetLogStyle(style);
  server.logStyleCode = status != notes::kNoError ? static_cast<int32_t>(status) : style;
  server.logEnabled = false;
  server.archiveLogging = 0;
  server.logStyle = "Information not available.";
  if (server.logStyleCode == notes::kLogStyleCircular) {
    server.logStyle = "Circular";
    server.logEnabled = true;
  } else if (server.logStyleCode == notes::kLogStyleArchive) {
    server.logStyle = "Archive";
    server.logEnabled = true;
    server.archiveLogging = 1;
  } else if (server.logStyleCode == notes::kLoggingDisabled) {
    server.logStyle = "No Logging";
  }
}

// Starts the runtime for the server's notes.ini, reads what it reports and
// ends it again.
notes::Status ReadNotesFacts(notes::NotesApi& api, PartitionInfo& server) {
  const int status = StartNotesRuntime(api, server.notesIniPath);
  if (status != notes::kNoError) return static_cast<notes::Status>(status);
  NotesRuntimeScope runtime(api);
  ApplyServerName(api, server);
  ApplyLogPath(server);
  ApplyLogStyle(api, server);
  return notes::kNoError;
}

// Where partition n keeps its data path; false when it has none.
bool ReadPartitionDataPath(int n, std::string& dataPath) {
  if (ReadRegistryValue(kDomino5Key, "PARTITION" + std::to_string(n), dataPath) == 0) return true;
  return ReadRegistryValue(kDominoKey + "\\" + std::to_string(n), "DataPath", dataPath) == 0;
}

void AddToLookups(ServerList& list, const PartitionInfo& server) {
  list.byServerName[server.serverName] = server;
  list.byDataPath[server.dataPath] = server;
}

// Read the part after the last "__" of a time/date snapshot name
// ("4-7-2003_9.5.2") as year, month, day, hour, minute, second.
using NameTime = std::tuple<int, int, int, int, int, int>;

int NumberOf(const std::vector<std::string>& pieces, size_t index) {
  return index < pieces.size() ? std::atoi(pieces[index].c_str()) : 0;
}

std::string SuffixOf(const std::string& name) {
  size_t separator = name.rfind("__");
  return separator == std::string::npos ? name : name.substr(separator + 2);
}

NameTime TimeOfName(const std::string& name) {
  std::vector<std::string> halves, date, time;
  platform::SplitText(SuffixOf(name), "_", halves);
  if (halves.size() < 2) return {};
  platform::SplitText(halves[0], "-", date);
  platform::SplitText(halves[1], ".", time);
  return {NumberOf(date, 2), NumberOf(date, 0), NumberOf(date, 1),
          NumberOf(time, 0), NumberOf(time, 1), NumberOf(time, 2)};
}

bool IsRecentName(const std::string& name) { return platform::EqualsNoCase(SuffixOf(name), "recent"); }

// Oldest first by the time in the name, the recent snapshot last. Names do
// not sort by time as text (month 10 sorts before month 9).
void OrderByCreationTime(std::vector<SnapshotEntry>& snapshots) {
  std::stable_sort(snapshots.begin(), snapshots.end(), [](const SnapshotEntry& a, const SnapshotEntry& b) {
    bool aRecent = IsRecentName(a.name), bRecent = IsRecentName(b.name);
    if (aRecent != bRecent) return bRecent;
    return TimeOfName(a.name) < TimeOfName(b.name);
  });
}

// The hint file's names: lines of at most 255 characters up to the first
// empty line, sorted, each name once. False when the file cannot be read.
bool ReadHintNames(const std::string& hintPath, std::vector<std::string>& names) {
  int64_t size = platform::FileSize(hintPath);
  std::string text;
  if (size < 0 || size > kHintFileLimit || platform::ReadTextFile(hintPath, text) != 0) return false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, std::min(end - start, kHintLineLimit));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    names.push_back(line);
    start = end + 1;
  }
  // Sorted without regard to case so that repeats in any case lie side by side.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return platform::ToUpper(a) < platform::ToUpper(b);
  });
  names.erase(std::unique(names.begin(), names.end(),
                          [](const std::string& a, const std::string& b) { return platform::EqualsNoCase(a, b); }),
              names.end());
  return true;
}

// The hint file of the server, made (empty, with its folders) when missing.
bool EnsureHintFile(const PartitionInfo& server, std::string& hintPath) {
  std::string directory;
  if (GetHintPath(server, hintPath) != 0 || GetServerVaultinfoDir(server, "", directory) != 0) return false;
  if (platform::IsFile(hintPath)) return true;
  CreateDirectoryPath(directory);
  platform::WriteTextFile(hintPath, "");
  return platform::IsFile(hintPath);
}

}  // namespace

int DiscoverServers(ServerList& list, const RunServices& services) {
  list = ServerList{};
  list.machineName = platform::ComputerName().substr(0, kMachineNameLimit);
  bool storageInstalled = !storage::Failed(services.storage.GetDiskFactory());
  list.partitioned = true;
  bool newerLayout = ReadNewerLayout(list.partitioned);

  for (int n = 1; n <= kMaxPartitions; ++n) {
    PartitionInfo server;
    std::string dataPath;
    bool singleServer = false;
    if (!ReadPartitionDataPath(n, dataPath)) {
      if (n > 1) break;
      singleServer = true;
      list.partitioned = false;
      bool fromDominoKey = false;
      int result = ReadFromEitherKey("DataPath", dataPath, &fromDominoKey);
      if (result != 0) return result;
      if (fromDominoKey) server.dominoVersion = 6;
    }
    server.partitionNumber = n;
    if (newerLayout) server.dominoVersion = 6;

    std::string iniFolder = dataPath;
    if (list.partitioned) {
      server.dataPathValueName = "PARTITION" + std::to_string(n);
      server.partitioned = true;
    } else {
      server.dataPathValueName = "DataPath";
      int result = ReadFromEitherKey("Path", iniFolder);
      if (result != 0) return result;
    }
    server.notesIniPath = platform::JoinPath(iniFolder, "notes.ini");
    server.dataPath = dataPath;

    notes::Status status = ReadNotesFacts(services.notes, server);
    if (status != notes::kNoError) return status;
    list.servers.push_back(server);
    AddToLookups(list, server);
    if (singleServer) break;
  }

  if (storageInstalled) {
    FillVirtualDiskInfo(list.servers, services.storage);
    for (PartitionInfo& server : list.servers) {
      LoadSnapshotList(server, services.storage);
      // The lookups hand out copies: refresh them with the disk facts.
      AddToLookups(list, server);
    }
  }
  return 0;
}

void LoadSnapshotList(PartitionInfo& server, storage::Component& component) {
  server.snapshots.clear();
  std::string hintPath;
  std::vector<std::string> names;
  if (!EnsureHintFile(server, hintPath) || !ReadHintNames(hintPath, names)) return;
  std::vector<SnapshotEntry> onVolume;
  if (server.dataDisk.driveLetter == 0 || snapshot::ListSnapshots(component, server.dataDisk.driveLetter, onVolume) != 0) return;
  for (const std::string& name : names) {
    auto match = std::find_if(onVolume.begin(), onVolume.end(),
                              [&](const SnapshotEntry& entry) { return platform::EqualsNoCase(entry.name, name); });
    if (match == onVolume.end()) continue;
    SnapshotEntry entry = *match;
    entry.name = name;
    entry.wideName = storage::ToUtf16(name);
    entry.incomplete = IsSnapshotIncomplete(server, name);
    entry.pinned = IsSnapshotPinned(server, name);
    server.snapshots.push_back(entry);
  }
  OrderByCreationTime(server.snapshots);
}

namespace {

// The volume's snapshots that belong to the server: their names start
// with "dominosnap__" + computer + "__" + short name + "__".
bool IsServerSnapshot(const PartitionInfo& server, const std::string& name) {
  const std::string prefix = "dominosnap__" + platform::ComputerName() + "__" + server.shortName + "__";
  return name.size() > prefix.size() && platform::EqualsNoCase(std::string_view(name).substr(0, prefix.size()), prefix);
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& each) { return platform::EqualsNoCase(each, name); });
}

// The names of the hint file that the volume holds, with a warning for
// each one it no longer holds.
void KeepNamesOnVolume(PartitionInfo& server, const std::vector<std::string>& names,
                       const std::vector<SnapshotEntry>& onVolume, const std::string& hintPath) {
  for (const std::string& name : names) {
    auto match = std::find_if(onVolume.begin(), onVolume.end(),
                              [&](const SnapshotEntry& entry) { return platform::EqualsNoCase(entry.name, name); });
    if (match == onVolume.end()) {
      Emit(server.progress, "WARNING: Snapshot " + name + " of the hint file " + hintPath +
                                " is no longer on the volume; it was removed from the list.\r\n");
      continue;
    }
    SnapshotEntry entry = *match;
    entry.name = name;
    entry.wideName = storage::ToUtf16(name);
    server.snapshots.push_back(entry);
  }
}

// Snapshots of the server on the volume that the hint file does not name
// (a hint file removed or damaged, a run killed between the snapshot's
// rename and the list's update) are entered again. An incomplete one is
// entered without a warning: its failed backup never listed it.
void EnterMissingSnapshots(PartitionInfo& server, const std::vector<std::string>& names,
                           const std::vector<SnapshotEntry>& onVolume, const std::string& hintPath) {
  for (const SnapshotEntry& entry : onVolume) {
    if (!IsServerSnapshot(server, entry.name) || Contains(names, entry.name)) continue;
    SnapshotEntry added = entry;
    added.incomplete = IsSnapshotIncomplete(server, entry.name);
    added.pinned = IsSnapshotPinned(server, entry.name);
    if (!added.incomplete) {
      Emit(server.progress, "WARNING: Snapshot " + entry.name + " is on the volume but missing from the hint file " +
                                hintPath + "; it was entered again.\r\n");
    }
    server.snapshots.push_back(added);
  }
}

}  // namespace

int ReconcileSnapshotList(PartitionInfo& server, storage::Component& component) {
  server.snapshots.clear();
  std::string hintPath;
  if (GetHintPath(server, hintPath) != 0) {
    Emit(server.progress, "Could not obtain snapshot hint filename (probably due to invalid Vaultinfo directory.\r\n");
    Emit(server.progress, MissingChangeInfoDirText());
    return -1;
  }
  std::vector<std::string> names;
  // An unreadable hint file is never taken as an empty list: rewriting it
  // would drop every snapshot that only it names.
  if (!EnsureHintFile(server, hintPath) || !ReadHintNames(hintPath, names)) {
    Emit(server.progress, "Could not read\\create Snapshot hint file:" + hintPath + "\r\n");
    return -1;
  }
  std::vector<SnapshotEntry> onVolume;
  if (server.dataDisk.driveLetter == 0 ||
      snapshot::ListSnapshots(component, server.dataDisk.driveLetter, onVolume) != 0) {
    Emit(server.progress, "ERROR: Could not enumerate snapshots.(COM FAILED)\r\n");
    return -1;
  }
  KeepNamesOnVolume(server, names, onVolume, hintPath);
  const size_t kept = server.snapshots.size();
  for (SnapshotEntry& entry : server.snapshots) {
    entry.incomplete = IsSnapshotIncomplete(server, entry.name);
    entry.pinned = IsSnapshotPinned(server, entry.name);
  }
  EnterMissingSnapshots(server, names, onVolume, hintPath);
  OrderByCreationTime(server.snapshots);
  if (kept == names.size() && server.snapshots.size() == kept) return 0;
  if (WriteNameList(hintPath, server.snapshots) != 0) {
    Emit(server.progress, "WARNING: Could not update snapshot hint file: " + hintPath + "\r\n");
  }
  return 0;
}

}  // namespace omb
