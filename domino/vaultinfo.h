#pragma once
// The Vaultinfo tree, the program's ini file and the small file, folder,
// ini, registry and time-stamp helpers that every engine uses (the general
// path and text helpers are platform's). Paths are Windows paths.
#include <cstdint>
#include <string>
#include <vector>

#include "domino/server_info.h"
#include "platform/clock.h"
#include "storage/storage.h"

namespace omb {

// ---- Vaultinfo paths ------------------------------------------------------
std::string GetIniPath();                 // C:\Windows\omb.ini
std::string GetVaultinfoRoot();           // CHANGE_INFO_DIR with a trailing "\" ("" when missing)
int GetServerVaultinfoDir(const PartitionInfo& server, const std::string& subdirectory,
                          std::string& out);  // 0, or -1 without CHANGE_INFO_DIR
int GetHintPath(const PartitionInfo& server, std::string& out);
bool IsConfigured();
// The "ERROR: " line of a run that finds no CHANGE_INFO_DIR in omb.ini.
std::string MissingChangeInfoDirText();

// ---- ini files (section "NOTES") ----------------------------------------
int ReadNotesIniValue(const std::string& key, std::string& value, const std::string& file);
int WriteNotesIniValue(const std::string& key, const std::string& value, const std::string& file);

// ---- registry (HKEY_LOCAL_MACHINE) ----------------------------------------
int ReadRegistryValue(const std::string& subkey, const std::string& valueName, std::string& value);
int WriteRegistryValue(const std::string& subkey, const std::string& valueName,
                       const std::string& text);

// ---- files and folders ----------------------------------------------------
int DirectoryExists(const std::string& path);       // 0 exists, 1 not, -1 empty path
int CreateDirectoryPath(const std::string& path);   // 1 all exist, 0 failed, -1 empty
int DeleteDirectoryTree(const std::string& path);   // 0, or an error; -1 empty
uint32_t GetFreeMegabytes(char driveLetter);        // 0 when it cannot be queried
int IsProgramDrive(char driveLetter);               // -1 when it holds the Domino programs
int CountVirtualDisks(storage::Component& component);
int WriteNameList(const std::string& file, const std::vector<SnapshotEntry>& snapshots);
int WriteNameList(const std::string& file, const std::vector<std::string>& names);

// ---- log paths and time stamps -----------------------------------------------
// The log folder below a data folder; "" without a data folder.
std::string ResolveLogPath(const std::string& dataPath, const std::string& logPath);
// The clock's local time as "%d/%d/%d %02d:%02d:%02d:%02d": month, day,
// year, hour, minute, second, milliseconds.
std::string FormatTimestamp(platform::Clock& clock);

}  // namespace omb
