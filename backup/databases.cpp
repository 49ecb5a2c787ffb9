#include "backup/databases.h"

#include <sys/stat.h>

#include <cerrno>
#include <set>
#include <utility>
#include <vector>

#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace omb::backup {

namespace {

// Change information is streamed through one buffer of this size.
constexpr uint32_t kChangeInfoChunk = 32768;

std::string ExtensionOf(const std::string& fileName) {
  size_t dot = fileName.rfind('.');
  return dot == std::string::npos ? std::string() : fileName.substr(dot);
}

bool IsDatabaseFile(const std::string& fileName) {
  std::string extension = platform::ToLower(ExtensionOf(fileName));
  return extension == ".nsf" || extension == ".ntf" || extension == ".box";
}

// The folders of one enumeration, by device and inode, so that a directory
// link back into the tree (or two links to one folder) is walked once.
struct DatabaseWalk {
  std::set<std::pair<dev_t, ino_t>> visited;
  std::vector<DatabaseRecord>& list;
  std::vector<std::string>* linked;
};

bool IsLink(const std::string& windowsPath) {
  struct stat info {};
  return ::lstat(platform::HostPath(windowsPath).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// False when the folder was walked already (or cannot be examined).
bool FirstVisit(DatabaseWalk& walk, const std::string& windowsPath) {
  struct stat info {};
  if (::stat(platform::HostPath(windowsPath).c_str(), &info) != 0) return false;
  return walk.visited.insert({info.st_dev, info.st_ino}).second;
}

void CollectDatabases(DatabaseWalk& walk, const std::string& directory, bool viaLink) {
  std::vector<platform::DirEntry> entries;
  if (!FirstVisit(walk, directory) || platform::ListDirectory(directory, entries) != 0) return;
  for (const platform::DirEntry& entry : entries) {
    std::string path = platform::JoinPath(directory, entry.name);
    const bool linked = viaLink || IsLink(path);
    if (entry.isDirectory) {
      CollectDatabases(walk, path, linked);
    } else if (IsDatabaseFile(entry.name)) {
      DatabaseRecord record;
      record.path = path;
      record.changeFileName = entry.name + ".dat";
      walk.list.push_back(record);
      if (linked && walk.linked != nullptr) walk.linked->push_back(path);
    }
  }
}

// The line that names an errno value of a failed open; empty for others.
std::string OpenErrnoLine(int error) {
  switch (error) {
    case ENOENT: return "ERROR: (ENOENT) File or path not found\r\n";
    case EACCES: return "ERROR: (EACCES) Tried to open read-only file for writing\r\n";
    case EEXIST: return "ERROR: (EEXIST) Filename already exists\r\n";
    case EINVAL: return "ERROR: (EINVAL) Invalid oflag or pmode argument \r\n";
    case EMFILE: return "ERROR: (EMFILE) No more file handles available (too many open files)\r\n";
    default: return "";
  }
}

std::string FolderOf(const std::string& filePath) {
  size_t slash = filePath.rfind('\\');
  return slash == std::string::npos ? std::string() : filePath.substr(0, slash + 1);
}

void PutLittleEndian(uint32_t value, char* out) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// State shared by the databases of one save pass: the change-info
// directory, the one streaming buffer, and the folder made last (databases
// come folder by folder, so most need no folder check at all).
struct SavePass {
  SavePass(notes::NotesApi& notesApi, const std::string& directory)
      : api(notesApi), changeInfoDirectory(directory) {}
  notes::NotesApi& api;
  std::string changeInfoDirectory;
  std::vector<char> buffer = std::vector<char>(kChangeInfoChunk);
  std::string folderMade;
};

// Ends backup mode with the abort flag and closes the database; its change
// information is dropped.
void AbortRecord(notes::NotesApi& api, DatabaseRecord& record) {
  record.inBackup = false;
  api.BackupEnd(record.handle, record.context, notes::kBackupEndAbort);
  api.CloseDb(record.handle);
}

// Reads the change information chunk by chunk into the open file. Returns
// the failure message, or an empty text when everything was written.
std::string StreamChangeInfo(notes::NotesApi& api, DatabaseRecord& record, platform::BinaryFile& file,
                             const std::string& filePath, std::vector<char>& buffer) {
  for (;;) {
    record.filled = 0;
    notes::Status status =
        api.ReadChangeInfo(record.handle, record.context, buffer.data(), kChangeInfoChunk, record.filled);
    record.lastStatus = status;
    if (status != 0) {
      return "ERROR: Getting change information (Notes API) failed (while writing to " + filePath +
             ").\r\n" + "\r\n";
    }
    if (record.filled == 0) return "";
    // A runtime that claims more than the buffer holds is not trusted.
    if (record.filled > kChangeInfoChunk ||
        file.Write(buffer.data(), record.filled) != static_cast<long>(record.filled)) {
      return "ERROR: Writing change information to file: " + filePath + " failed.\r\n";
    }
  }
}

// Writes the change-info file of one database. Returns the failure message,
// or an empty text on success. A file that could not be completed is
// removed, so that a restore never applies torn change information.
std::string SaveChangeInfo(DatabaseRecord& record, SavePass& pass) {
  std::string filePath = ChangeInfoFilePath(pass.changeInfoDirectory, record.path);
  std::string folder = FolderOf(filePath);
  if (folder != pass.folderMade) {
    CreateDirectoryPath(folder);
    pass.folderMade = folder;
  }
  platform::BinaryFile file;
  // The file takes the place of any earlier one only once it is whole: a
  // restore never finds half of it, nor stale bytes behind a shorter one.
  int error = file.Open(filePath, platform::BinaryFile::Mode::Replace);
  if (error != 0) {
    return OpenErrnoLine(error) + "ERROR: Cannot open changeinfo file : " + filePath + "\r\n" +
           "Most likely due to failure to rename the recent " + filePath + ".\r\n" +
           "vaultinfo directory to it's time/date value." + "\r\n";
  }
  char header[8];
  PutLittleEndian(record.changeSizeLow, header);
  PutLittleEndian(record.changeSizeHigh, header + 4);
  std::string failure;
  if (file.Write(header, sizeof header) != static_cast<long>(sizeof header)) {
    failure = "ERROR: Cannot write low/high bytes to change info file: " + filePath + ".\r\n" + "\r\n";
  } else {
    failure = StreamChangeInfo(pass.api, record, file, filePath, pass.buffer);
  }
  if (failure.empty() && file.Commit() != 0) {
    failure = "ERROR: Writing change information to file: " + filePath + " failed.\r\n";
  }
  file.Close();
  // A stale file of an earlier backup must not stand in for the failed one.
  if (!failure.empty()) platform::DeleteOneFile(filePath);
  return failure;
}

// Stops backup mode of one database and saves its change information.
std::string StopAndSaveOne(DatabaseRecord& record, SavePass& pass) {
  notes::NotesApi& api = pass.api;
  notes::Status status = api.BackupStop(record.handle, record.context);
  record.lastStatus = status;
  if (status != 0) {
    return "ERROR: Cannot stop backupmode of  database : " + record.path + ".\r\n" + notes::StatusTextOf(api, status) +
           "\r\n";
  }
  status = api.GetChangeInfoSize(record.handle, record.context, record.changeSizeLow, record.changeSizeHigh);
  record.lastStatus = status;
  if (status != 0) {
    return "ERROR: Cannot get changeinfo size of database : " + record.path + ".\r\n" + notes::StatusTextOf(api, status) +
           "\r\n";
  }
  return SaveChangeInfo(record, pass);
}

}  // namespace

int EnumerateDatabases(const std::string& directory, std::vector<DatabaseRecord>& list,
                       std::vector<std::string>* linked) {
  std::vector<platform::DirEntry> entries;
  int error = platform::ListDirectory(directory, entries);
  if (error != 0) return error;
  DatabaseWalk walk{{}, list, linked};
  CollectDatabases(walk, directory, false);
  return 0;
}

std::string ChangeInfoFilePath(const std::string& changeInfoDirectory, const std::string& dbPath) {
  std::string relative = dbPath;
  if (relative.size() >= 2 && relative[1] == ':') relative.erase(0, 2);
  size_t firstKept = relative.find_first_not_of('\\');
  relative.erase(0, firstKept == std::string::npos ? relative.size() : firstKept);
  size_t nameStart = relative.rfind('\\');
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  size_t dot = relative.rfind('.');
  if (dot != std::string::npos && dot >= nameStart) {
    relative = relative.substr(0, dot) + platform::ToLower(relative.substr(dot));
  }
  return platform::JoinPath(changeInfoDirectory, relative + ".dat");
}

int StartBackup(notes::NotesApi& api, ProgressSink& out, std::vector<DatabaseRecord>& list,
                std::vector<std::string>& disabled) {
  int unlogged = 0;
  for (DatabaseRecord& record : list) {
    // A database that cannot be put in backup mode is closed again and
    // leaves the run with the error that stopped it.
    const auto giveUp = [&](const std::string& error, notes::Status status) {
      Emit(out, error);
      record.inBackup = false;
      api.CloseDb(record.handle);
      return status;
    };
    notes::Status status = api.OpenDb(record.path, record.handle);
    record.lastStatus = status;
    if (status != 0) {
      Emit(out, "ERROR: Cannot open database: " + record.path + "\r\n" + "Domino Reports: " +
                    notes::StatusTextOf(api, status) + "\r\nAborting backup of all databases.\r\n");
      return status;
    }
    record.inBackup = true;
    notes::DbLogInfo info;
    status = api.GetDbLogInfo(record.handle, info);
    record.lastStatus = status;
    if (status != 0) {
      return giveUp("ERROR: Could not obtain log information for " + record.path + " \r\n" + notes::StatusTextOf(api, status) +
                        "\r\n",
                    status);
    }
    record.logged = info.logged;
    record.logId = info.logId;
    record.instanceId = info.instanceId;
    record.logExtent = info.logExtent;
    status = api.BackupStart(record.handle, record.context, record.fileSizeLow, record.fileSizeHigh);
    record.lastStatus = status;
    if (status != 0) {
      return giveUp("ERROR: Cannot place database : " + record.path + " in backup mode.\r\n" + notes::StatusTextOf(api, status) +
                        "\r\nPlease restart your computer and try again.\r\n",
                    status);
    }
    Trace("backuping up db: " + record.path + "\r\n");
    if (!record.logged && ++unlogged < 20) {
      Emit(out, "WARNING: Database " + record.path + " is disabled for logging (WILL NOT BE RECOVERABLE).\r\n");
      disabled.push_back(record.path);
    }
  }
  return 0;
}

int StopBackupAndSave(notes::NotesApi& api, ProgressSink& out, std::vector<DatabaseRecord>& list,
                      const std::string& changeInfoDirectory) {
  SavePass pass(api, changeInfoDirectory);
  for (DatabaseRecord& record : list) {
    if (!record.inBackup) continue;
    std::string failure = StopAndSaveOne(record, pass);
    if (!failure.empty()) {
      AbortRecord(api, record);
      Emit(out, failure);
      return -1;
    }
    notes::Status status = api.BackupEnd(record.handle, record.context, notes::kBackupEndNormal);
    record.lastStatus = status;
    if (status != 0) {
      // The database must not stay in backup mode, and a backup whose end
      // Domino refused is not reported as a success.
      AbortRecord(api, record);
      platform::DeleteOneFile(ChangeInfoFilePath(changeInfoDirectory, record.path));
      Emit(out, "ERROR: Cannot end backup mode of database : " + record.path + ".\r\n" + notes::StatusTextOf(api, status) +
                    "\r\n");
      return -1;
    }
    api.CloseDb(record.handle);
    record.inBackup = false;
  }
  return 0;
}

int ReleaseAll(notes::NotesApi& api, std::vector<DatabaseRecord>& list) {
  for (DatabaseRecord& record : list) {
    if (!record.inBackup) continue;
    api.BackupStop(record.handle, record.context);
    AbortRecord(api, record);
  }
  return 0;
}

}  // namespace omb::backup
