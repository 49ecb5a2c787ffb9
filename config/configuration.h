#pragma once
// The configuration run: moves each chosen server's transaction-log and
// data directories to the same paths on virtual disks, repoints the
// registry, notes.ini, the server document in names.nsf and the start-menu
// shortcut, creates the Vaultinfo directory and records it in omb.ini.
//
// Every step returns 0 or -1 (the server record update a Notes status) and
// says why in "ERROR: " lines through the run's progress channel; nothing
// here throws or shows a window.
#include <cstdint>
#include <string>
#include <vector>

#include "core/observer.h"
#include "core/progress.h"
#include "core/services.h"
#include "domino/server_info.h"

namespace omb::config {

// The kinds of directory an entry moves.
inline constexpr int kKindLog = 1;
inline constexpr int kKindData = 2;

// "Data" for kKindData, "Log" for kKindLog.
std::string KindName(int kind);

// One server and one kind of directory to move.
struct MigrationEntry {
  char16_t targetDriveLetter = 0;  // drive letter of the target virtual disk
  PartitionInfo server;            // its data, log and notes.ini paths, name, release
  int kind = kKindData;
};

// The plan handed to the run by the wizard or the command line.
struct ConfigureJob {
  ConfigureJob() = default;
  explicit ConfigureJob(const RunServices& runServices) : services(runServices) {}

  std::vector<MigrationEntry> dataEntries;
  std::vector<MigrationEntry> logEntries;
  std::string vaultinfoPath;
  ProgressSink progress;  // every message of the run goes here
  // Who watches the run's progress bar, wait cursor and end (the console's
  // "Configurator Status" dialog); nullptr uses progress.window.
  ProgressObserver* statusDialog = nullptr;
  // Everything the run reaches outside itself.
  RunServices services = DefaultRunServices();
};

// What the steps of one run share: where messages go, who shows the
// progress bar (may be nobody) and the run's services.
struct MigrationContext {
  ProgressSink& progress;
  ProgressObserver* observer;
  const RunServices& services;
};

// Source and destination of an entry: the directory it moves, and the same
// path with its drive letter replaced by the target's.
std::string SourceDirectory(const MigrationEntry& entry);
std::string DestinationDirectory(const MigrationEntry& entry);

// ---- the run ----------------------------------------------------------------

// Logs first, then data directories, then the Vaultinfo directory; saves
// the "Configure" report. 0 on success, -1 on failure.
int RunConfiguration(ConfigureJob& job);

// Each entry in order; -1 at the first that fails.
int MigrateDirectories(MigrationContext& run, std::vector<MigrationEntry>& entries, int kind);
// Copies one directory, makes the copy durable, then repoints the settings.
int MigrateDirectory(MigrationContext& run, MigrationEntry& entry, int kind);
// Creates the destination and its missing parents; an existing destination
// is used as it is, never removed.
int PrepareDestination(MigrationContext& run, const MigrationEntry& entry, std::string& destination);
// Copies every file of the source tree, overwriting files of the same name,
// flushes the copy to disk and checks that each copied file equals its source.
int CopyDirectoryTree(MigrationContext& run, const MigrationEntry& entry, const std::string& destination,
                      const std::string& kindName);
// Registry data path and notes.ini "Directory"; for a partitioned server
// also its shortcut (a failure of that goes to shortcutFailure).
int UpdateDataDirectorySettings(MigrationContext& run, const MigrationEntry& entry,
                                const std::string& destination, int& shortcutFailure);
// Creates what is missing of the Vaultinfo path (an existing tree is kept
// with everything in it) and records it as CHANGE_INFO_DIR.
int CreateVaultinfoDirectory(MigrationContext& run, const std::string& path);

// ---- the server record ----------------------------------------------------

// The runtime could not be started for the notes.ini.
inline constexpr uint16_t kRuntimeNotStarted = 0xFFFF;
// names.nsf was updated but the server's notes.ini could not be written.
inline constexpr uint16_t kIniNotUpdated = 0xFFFE;

// Sets TRANSLOG_Path of the server's document in names.nsf, then
// TRANSLOG_Path and Previous_TRANSLOG_Path of its notes.ini, with the Notes
// runtime started on that notes.ini. 0, a Notes status, kRuntimeNotStarted or
// kIniNotUpdated.
uint16_t UpdateServerRecord(ProgressSink& progress, notes::NotesApi& api, const PartitionInfo& server,
                            const std::string& notesIniPath, const std::string& newLogPath);

// ---- the start-menu shortcut ------------------------------------------------

// "<all-users Programs>\Lotus Applications\Domino(<data path without drive
// and backslashes>).lnk" for the server's (old) data path.
std::string ServerShortcutPath(const std::string& dataPath);

// Points the partitioned server's shortcut at newNotesIniPath. 0; -1 when the
// shortcut could not be found or loaded; -2 when it could not be saved.
int RepointServerShortcut(const PartitionInfo& server, ProgressSink& progress,
                          const std::string& newNotesIniPath);

}  // namespace omb::config
