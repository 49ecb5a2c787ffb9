#include "backup/databases.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "domino/vaultinfo.h"
#include "platform/durable.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix_io.h"

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
      // A database reached again (a link to one of the tree) is listed
      // once: twice in backup mode, its second start would end the first.
      // One that cannot be examined (a dangling link) is listed as before.
      struct stat info {};
      const bool again = ::stat(platform::HostPath(path).c_str(), &info) == 0 &&
                         !walk.visited.insert({info.st_dev, info.st_ino}).second;
      if (linked && walk.linked != nullptr) walk.linked->push_back(path);
      if (again) continue;
      DatabaseRecord record;
      record.path = path;
      record.changeFileName = entry.name + ".dat";
      walk.list.push_back(record);
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

// The change-info files of one save pass, written under temporary names
// and made durable together: one pass of fsyncs, the renames, then one
// flush of each folder. A file therefore takes its place only once it is
// whole and on the disk; a restore never finds half of one, nor stale
// bytes behind a shorter one, and a crash leaves no file at all rather
// than a torn one.
class PendingFiles {
 public:
  // Opens the temporary file of a change-info file; 0 or an errno value.
  int Open(const std::string& windowsPath, platform::AtomicFile*& file) {
    auto pending = std::make_unique<platform::AtomicFile>();
    if (int error = pending->Open(platform::HostPath(windowsPath))) return error;
    file = pending.get();
    files_.push_back({windowsPath, std::move(pending)});
    return 0;
  }
  // Drops the file opened last (its writing failed).
  void DropLast() { files_.pop_back(); }
  // Flushes, renames and flushes the folders of every file, and the folders
  // above them up to `top` (the pass may have made them). Returns the path
  // of the first file that failed, or an empty text.
  std::string Commit(const std::string& top) {
    std::string failed;
    std::vector<size_t> synced;
    for (size_t i = 0; i < files_.size(); ++i) {
      if (files_[i].file->Close() == 0) {
        synced.push_back(i);
      } else if (failed.empty()) {
        failed = files_[i].path;
      }
    }
    // One sync of the file system flushes every closed file at once, far
    // cheaper than a flush per file; a file system that cannot be synced
    // so gets each file flushed on its own.
    if (!synced.empty() && !SyncFileSystem(files_[synced.front()].file->temporary())) {
      std::vector<size_t> flushed;
      for (size_t i : synced) {
        if (SyncTemporary(*files_[i].file)) {
          flushed.push_back(i);
        } else if (failed.empty()) {
          failed = files_[i].path;
        }
      }
      synced.swap(flushed);
    }
    std::set<std::filesystem::path> folders;
    for (size_t i : synced) {
      if (files_[i].file->Rename() == 0) {
        folders.insert(platform::HostPath(files_[i].path).parent_path());
      } else if (failed.empty()) {
        failed = files_[i].path;
      }
    }
    const std::filesystem::path topHost = platform::HostPath(top);
    std::set<std::filesystem::path> chain;
    for (std::filesystem::path folder : folders) {
      // Each folder up to the change-info directory, each flushed once.
      while (chain.insert(folder).second && folder != topHost && folder.has_relative_path() &&
             folder.string().size() > topHost.string().size()) {
        folder = folder.parent_path();
      }
    }
    for (const std::filesystem::path& folder : chain) platform::SyncFolder(folder);
    files_.clear();  // temporaries not renamed are removed
    return failed;
  }

 private:
  static bool SyncFileSystem(const std::filesystem::path& anyFile) {
    const int fd = platform::OpenFile(anyFile, O_RDONLY);
    if (fd < 0) return false;
    const bool synced = ::syncfs(fd) == 0;
    ::close(fd);
    return synced;
  }
  static bool SyncTemporary(const platform::AtomicFile& file) {
    const int fd = platform::OpenFile(file.temporary(), O_RDONLY);
    if (fd < 0) return false;
    const bool synced = platform::SyncFile(fd) == 0;
    ::close(fd);
    return synced;
  }
  struct Entry {
    std::string path;
    std::unique_ptr<platform::AtomicFile> file;
  };
  std::vector<Entry> files_;
};

// State shared by the databases of one save pass: the change-info
// directory, the one streaming buffer, the folder made last (databases
// come folder by folder, so most need no folder check at all) and the
// files waiting for the pass's flush.
struct SavePass {
  SavePass(notes::NotesApi& notesApi, const std::string& directory)
      : api(notesApi), changeInfoDirectory(directory) {}
  notes::NotesApi& api;
  std::string changeInfoDirectory;
  std::vector<char> buffer = std::vector<char>(kChangeInfoChunk);
  std::string folderMade;
  PendingFiles pending;
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
std::string StreamChangeInfo(notes::NotesApi& api, DatabaseRecord& record, platform::AtomicFile& file,
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
        file.Write(std::string_view(buffer.data(), record.filled)) != 0) {
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
  platform::AtomicFile* file = nullptr;
  int error = pass.pending.Open(filePath, file);
  if (error != 0) {
    return OpenErrnoLine(error) + "ERROR: Cannot open changeinfo file : " + filePath + "\r\n" +
           "Most likely due to failure to rename the recent " + filePath + ".\r\n" +
           "vaultinfo directory to it's time/date value." + "\r\n";
  }
  char header[8];
  PutLittleEndian(record.changeSizeLow, header);
  PutLittleEndian(record.changeSizeHigh, header + 4);
  std::string failure;
  if (file->Write(std::string_view(header, sizeof header)) != 0) {
    failure = "ERROR: Cannot write low/high bytes to change info file: " + filePath + ".\r\n" + "\r\n";
  } else {
    failure = StreamChangeInfo(pass.api, record, *file, filePath, pass.buffer);
  }
  if (!failure.empty()) {
    pass.pending.DropLast();
    // A stale file of an earlier backup must not stand in for the failed one.
    platform::DeleteOneFile(filePath);
  }
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
  // The files saved before a failure are still made durable: their
  // databases have left backup mode and their change information is gone
  // from Domino.
  const auto fail = [&](const std::string& message) {
    pass.pending.Commit(changeInfoDirectory);
    Emit(out, message);
    return -1;
  };
  for (DatabaseRecord& record : list) {
    if (!record.inBackup) continue;
    std::string failure = StopAndSaveOne(record, pass);
    if (!failure.empty()) {
      AbortRecord(api, record);
      return fail(failure);
    }
    notes::Status status = api.BackupEnd(record.handle, record.context, notes::kBackupEndNormal);
    record.lastStatus = status;
    if (status != 0) {
      // The database must not stay in backup mode, and a backup whose end
      // Domino refused is not reported as a success.
      AbortRecord(api, record);
      pass.pending.DropLast();
      platform::DeleteOneFile(ChangeInfoFilePath(changeInfoDirectory, record.path));
      return fail("ERROR: Cannot end backup mode of database : " + record.path + ".\r\n" +
                  notes::StatusTextOf(api, status) + "\r\n");
    }
    api.CloseDb(record.handle);
    record.inBackup = false;
  }
  const std::string failed = pass.pending.Commit(changeInfoDirectory);
  if (!failed.empty()) {
    Emit(out, "ERROR: Writing change information to file: " + failed + " failed.\r\n");
    return -1;
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
