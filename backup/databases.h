#pragma once
// The databases of a server: enumeration, backup mode and the capture of
// their change information into change-info files.
#include <cstdint>
#include <string>
#include <vector>

#include "core/progress.h"
#include "notes/notes.h"

namespace omb::backup {

struct DatabaseRecord {
  std::string path;
  std::string changeFileName;  // file name + ".dat"
  notes::Handle handle = 0;
  uint32_t context = 0;
  uint32_t fileSizeLow = 0, fileSizeHigh = 0;
  bool logged = false;
  notes::LogId logId{};
  notes::LogId instanceId{};
  uint32_t logExtent = 0;
  bool inBackup = false;
  notes::Status lastStatus = 0;
  uint32_t changeSizeLow = 0, changeSizeHigh = 0;
  uint32_t filled = 0;
};

// Recursive, depth first; .nsf, .ntf and .box (any case). 0 or the Win32
// error of the first listing. Each folder is walked once, however many
// links lead to it, so a link back into the tree is no loop, and each
// database file is listed once, at the first path that reaches it; `linked`,
// when given, receives every path reached through a symbolic link.
int EnumerateDatabases(const std::string& directory, std::vector<DatabaseRecord>& list,
                       std::vector<std::string>* linked = nullptr);

// The change-info file of a database inside a change-info directory:
// <dir>\<db folder without drive>\<name><.nsf|.ntf|.box>.dat (lower case).
std::string ChangeInfoFilePath(const std::string& changeInfoDirectory, const std::string& dbPath);

int StartBackup(notes::NotesApi& api, ProgressSink& out, std::vector<DatabaseRecord>& list,
                std::vector<std::string>& disabled);
int StopBackupAndSave(notes::NotesApi& api, ProgressSink& out, std::vector<DatabaseRecord>& list,
                      const std::string& changeInfoDirectory);
int ReleaseAll(notes::NotesApi& api, std::vector<DatabaseRecord>& list);

}  // namespace omb::backup
