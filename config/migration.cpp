// Moving one server's data or log directory: copy first (made durable and
// checked), repoint second. The source directory stays where it was.
#include <string>

#include "config/configuration.h"
#include "config/tree_copy.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace omb::config {

namespace {

const std::string kDominoKey = "SOFTWARE\\Lotus\\Domino";
const std::string kDomino5Key = "SOFTWARE\\Lotus\\Domino\\5.0";

struct RegistryPlace {
  std::string key;
  std::string value;
};

// Where the server's data path lives in the registry: the first place
// discovery reads it from that holds it, so that discovery finds the moved
// server again; when none does, the place its Domino release uses.
RegistryPlace DataPathPlace(const PartitionInfo& server, std::string& current) {
  const std::string number = std::to_string(server.partitionNumber);
  const RegistryPlace candidates[] = {
      server.partitioned ? RegistryPlace{kDomino5Key, "PARTITION" + number} : RegistryPlace{kDomino5Key, "DataPath"},
      server.partitioned ? RegistryPlace{kDominoKey + "\\" + number, "DataPath"} : RegistryPlace{kDominoKey, "DataPath"},
  };
  for (const RegistryPlace& place : candidates) {
    if (ReadRegistryValue(place.key, place.value, current) == 0) return place;
  }
  current = server.dataPath;
  if (server.dominoVersion == 6) return {kDominoKey + "\\" + number, "DataPath"};
  return {kDomino5Key, server.dataPathValueName};
}

std::string WithoutTrailingBackslash(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// The partitioned server's old notes.ini gets ".old" so that it is not
// picked up again; said as it happened.
void RetireOldNotesIni(MigrationContext& run, const std::string& notesIni) {
  const std::string retired = notesIni + ".old";
  if (int error = platform::MoveFileOrDirectory(notesIni, retired)) {
    Emit(run.progress, "WARNING: Could not rename " + notesIni + " to \r\n" + retired + "\r\n" +
                           platform::FormatMessageText(static_cast<uint32_t>(error)));
    return;
  }
  Emit(run.progress, "Renamed " + notesIni + " to \r\n" + retired + "\r\n");
}

void UpdateLogSettings(MigrationContext& run, const MigrationEntry& entry) {
  const std::string newLogPath = DestinationDirectory(entry);
  Emit(run.progress, "Updating the partition server's names.nsf and notes.ini with new log location.\r\n");
  // Its own messages are the report; the run goes on either way.
  UpdateServerRecord(run.progress, run.services.notes, entry.server, entry.server.notesIniPath, newLogPath);
}

}  // namespace

int MigrateDirectories(MigrationContext& run, std::vector<MigrationEntry>& entries, int kind) {
  for (MigrationEntry& entry : entries) {
    if (MigrateDirectory(run, entry, kind) != 0) {
      Emit(run.progress, "ERROR: Could not complete copy.\r\n");
      return -1;
    }
  }
  return 0;
}

int MigrateDirectory(MigrationContext& run, MigrationEntry& entry, int kind) {
  const std::string kindName = KindName(kind);
  const std::string& serverName = entry.server.serverName;
  Emit(run.progress, "Starting migration of " + kindName + " directory for " + serverName + "\r\n");
  const std::string source = SourceDirectory(entry);
  if (DirectoryExists(source) != 0) {
    Emit(run.progress, "ERROR: Server " + serverName + " " + kindName + " directory\r\ndoesn't exist!\r\n");
    return -1;
  }
  std::string destination;
  if (PrepareDestination(run, entry, destination) != 0) {
    Emit(run.progress, "ERROR: Creation of directory " + DestinationDirectory(entry) + " FAILED.\r\n");
    return -1;
  }
  Emit(run.progress, "Now copying from: \r\n" + source + "\r\nTo new location: \r\n" + destination + "\r\n");
  if (CopyDirectoryTree(run, entry, destination, kindName) != 0) {
    Emit(run.progress, "ERROR: Copy of " + kindName + " directory to \r\n" + destination + " FAILED.\r\n");
    return -1;
  }
  Emit(run.progress, "Copy successfully completed.\r\n");
  if (kind == kKindLog) {
    UpdateLogSettings(run, entry);
    return 0;
  }
  int shortcutFailure = 0;
  // The old notes.ini is retired only once the new one holds the settings.
  const bool updated = UpdateDataDirectorySettings(run, entry, destination, shortcutFailure) == 0;
  if (updated && entry.server.partitioned) RetireOldNotesIni(run, entry.server.notesIniPath);
  if (shortcutFailure != 0) {
    run.services.messages.Show("Could not modify the shortcut for " + serverName +
                                   ".  You will need to modify it manually. Check the configurator report\r\n",
                               "Configurator Wizard", platform::MessageIcon::Warning);
  }
  return 0;
}

int PrepareDestination(MigrationContext& run, const MigrationEntry& entry, std::string& destination) {
  const std::string wanted = DestinationDirectory(entry);
  // An existing destination is used as it is: it may hold what a server
  // already relies on, so it is never removed.
  if (!platform::IsDirectory(wanted)) CreateDirectoryPath(wanted);
  if (!platform::IsDirectory(wanted)) {
    Emit(run.progress, "ERROR: Could not create destination directory:\r\n " + wanted);
    return -1;
  }
  destination = wanted;
  return 0;
}

int CopyDirectoryTree(MigrationContext& run, const MigrationEntry& entry, const std::string& destination,
                      const std::string& kindName) {
  const std::string source = SourceDirectory(entry);
  std::vector<TreeEntry> tree;
  CopyFailure failure{source, destination, ""};
  bool copied = false;
  if (int error = ListTree(source, tree)) {
    failure.reason = platform::FormatMessageText(static_cast<uint32_t>(error));
  } else {
    int files = 0;
    for (const TreeEntry& item : tree) files += item.isDirectory ? 0 : 1;
    if (run.observer) run.observer->Range(0, files, 1);
    auto step = [&run] {
      if (run.observer) run.observer->Step();
    };
    copied = CopyTree(source, destination, tree, step, failure);
  }
  if (!copied) {
    Emit(run.progress, "Cannot copy " + failure.source + " to " + failure.target + "\n" + failure.reason);
    Emit(run.progress, "Directory copy FAILED\n");
    return -1;
  }
  Emit(run.progress, "\r\n\r\nCopy Domino " + kindName + " directory SUCCEEDED.\r\n\r\n");
  if (run.observer) run.observer->Position(0);
  return 0;
}

int UpdateDataDirectorySettings(MigrationContext& run, const MigrationEntry& entry, const std::string& destination,
                                int& shortcutFailure) {
  Emit(run.progress, "Updating Windows registry to reflect changes:\r\n");
  std::string current;
  const RegistryPlace place = DataPathPlace(entry.server, current);
  if (WriteRegistryValue(place.key, place.value, destination) != 0) {
    Emit(run.progress, "ERROR: Could not update registry with new data directory.\r\n");
    return -1;
  }
  Emit(run.progress, "Registry update complete.\r\n");
  const std::string newDirectory = WithoutTrailingBackslash(destination);
  Emit(run.progress, "\r\nUpdating the partition server's notes.ini with new data directory location.\r\n"
                     "Current directory entry is:\r\n" + current + "Updating directory entry to:\r\n" + newDirectory);
  const std::string notesIni =
      entry.server.partitioned ? platform::JoinPath(destination, "notes.ini") : entry.server.notesIniPath;
  if (WriteNotesIniValue("Directory", newDirectory, notesIni) != 1) {
    Emit(run.progress, "ERROR: Could not update " + notesIni + " with new data directory.\r\n");
    return -1;
  }
  if (entry.server.partitioned) {
    Emit(run.progress, "Modifying program shortcut.");
    if (int failed = RepointServerShortcut(entry.server, run.progress, notesIni)) {
      shortcutFailure = failed;
      Emit(run.progress, "WARNING: Could not modify shortcut.\r\n");
    }
  }
  Emit(run.progress, "Updated Domino notes.ini with new directory value.\r\n");
  return 0;
}

}  // namespace omb::config
