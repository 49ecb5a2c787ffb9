// Replays the change information saved at backup time into the restored
// databases, streamed through one 32 KB buffer per database.
#include <cstring>
#include <vector>

#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "restore/messages.h"
#include "restore/restore.h"
#include "restore/restore_database.h"

namespace omb::restore {

namespace {

constexpr uint32_t kApplyBufferSize = 32768;

struct ChangeInfoPaths {
  std::string changeFile;    // <dir>\<db folder>\<name>.nsf.dat
  std::string restoredPath;  // the database re-rooted on the data drive
};

std::string WithoutLeadingBackslash(const std::string& directory) {
  size_t start = directory.find_first_not_of('\\');
  return start == std::string::npos ? std::string() : directory.substr(start);
}

ChangeInfoPaths PathsOf(const std::string& dbPath, const std::string& changeInfoDirectory,
                        const std::string& dataDrive) {
  platform::PathParts parts = platform::SplitPath(dbPath);
  std::string relativeFolder = WithoutLeadingBackslash(parts.directory);
  ChangeInfoPaths paths;
  paths.changeFile = platform::JoinPath(changeInfoDirectory, relativeFolder + parts.fileName +
                                                       platform::ToLower(parts.extension) + ".dat");
  paths.restoredPath = dataDrive + "\\" + relativeFolder + parts.fileName + parts.extension;
  return paths;
}

// " <restored> from the change information file:\r\n<file>\r\n", the tail of
// every apply failure message.
std::string FailureTail(const ChangeInfoPaths& paths) {
  return " " + paths.restoredPath +
         " from the change information file:\r\n" + paths.changeFile + "\r\n";
}

// Reads the two little-endian size words that head the file. A file
// shorter than its header is damaged and must not be applied.
bool ReadSizeWords(platform::BinaryFile& file, uint32_t& low, uint32_t& high) {
  unsigned char header[8];
  unsigned long have = 0;
  while (have < sizeof header) {
    long got = file.Read(reinterpret_cast<char*>(header) + have, sizeof header - have);
    if (got <= 0) return false;
    have += static_cast<unsigned long>(got);
  }
  auto word = [&](int offset) {
    return static_cast<uint32_t>(header[offset]) | static_cast<uint32_t>(header[offset + 1]) << 8 |
           static_cast<uint32_t>(header[offset + 2]) << 16 |
           static_cast<uint32_t>(header[offset + 3]) << 24;
  };
  low = word(0);
  high = word(4);
  return true;
}

void ReportReadError(RestoreJob& job, const ChangeInfoPaths& paths) {
  Say(job, "ERROR: Read error occured during reading of change information file into buffer: " +
               FailureTail(paths));
}

// Streams the file's data into an open apply context. 0 or -1.
int StreamChangeInfo(RestoreJob& job, platform::BinaryFile& file, uint32_t context,
                     const ChangeInfoPaths& paths, uint64_t& total) {
  std::vector<char> buffer(kApplyBufferSize);
  for (;;) {
    std::memset(buffer.data(), 0, buffer.size());
    long got = file.Read(buffer.data(), kApplyBufferSize);
    if (got < 0) {
      ReportReadError(job, paths);
      return -1;
    }
    if (got == 0) return 0;
    notes::Status status =
        job.services.notes.ApplyChangeInfo(context, buffer.data(), static_cast<uint32_t>(got));
    if (status != 0) {
      Say(job, "ERROR: Cannot apply change information to restore database: " +
                   FailureTail(paths) + notes::StatusTextOf(job.services.notes, status));
      return -1;
    }
    total += static_cast<uint64_t>(got);
  }
}

// Whether the runtime logs the restored database. One that cannot be
// opened is taken as logged: its state cannot be vouched for either.
bool IsLogged(notes::NotesApi& api, const std::string& path) {
  notes::Handle db = 0;
  if (api.OpenDb(path, db) != 0) return true;
  notes::DbLogInfo info;
  const bool logged = api.GetDbLogInfo(db, info) != 0 || info.logged;
  api.CloseDb(db);
  return logged;
}

// 0 when applied or when the database has no change information; -1. The
// backup saves change information for every database it held in backup
// mode, so a logged database without it has lost the changes made while
// the snapshot was taken: it is recorded as a shortfall.
int ApplyOne(RestoreJob& job, backup::DatabaseRecord& database, const ChangeInfoPaths& paths,
             Shortfalls* shortfalls) {
  platform::BinaryFile file;
  if (file.Open(paths.changeFile, platform::BinaryFile::Mode::Read) != 0) {
    if (shortfalls && IsLogged(job.services.notes, paths.restoredPath)) {
      shortfalls->Add(database.path, "has no change information from the backup (" + paths.changeFile +
                                         ") and was not brought to the snapshot's state");
    }
    return 0;
  }
  if (!ReadSizeWords(file, database.changeSizeLow, database.changeSizeHigh)) {
    ReportReadError(job, paths);
    return -1;
  }
  uint32_t context = 0;
  notes::Status status = job.services.notes.ApplyChangeInfoStart(
      paths.restoredPath, database.changeSizeLow, database.changeSizeHigh, context);
  if (status != 0) {
    Say(job, "ERROR: Could not activate 'apply change info mode' to restored database: " +
                 FailureTail(paths) + notes::StatusTextOf(job.services.notes, status));
    return -1;
  }
  uint64_t total = 0;
  if (StreamChangeInfo(job, file, context, paths, total) != 0) {
    // Release the runtime's apply context; the run stops either way.
    job.services.notes.ApplyChangeInfoEnd(context);
    return -1;
  }
  file.Close();
  if (total != 0) {
    Say(job, "Applied " + std::to_string(total) + " bytes to " + paths.restoredPath + "\r\n");
  }
  status = job.services.notes.ApplyChangeInfoEnd(context);
  if (status != 0) {
    Say(job,
        "ERROR: Cannot end the application of change information to restore database: " +
            FailureTail(paths) + notes::StatusTextOf(job.services.notes, status));
    return -1;
  }
  return 0;
}

}  // namespace

int ApplyChangeInfoToCopy(RestoreJob& job, backup::DatabaseRecord& database,
                          const std::string& changeInfoDirectory, const std::string& restoredPath,
                          Shortfalls* shortfalls) {
  if (changeInfoDirectory.empty() || restoredPath.empty()) return -1;
  ChangeInfoPaths paths = PathsOf(database.path, changeInfoDirectory, "");
  paths.restoredPath = restoredPath;
  return ApplyOne(job, database, paths, shortfalls);
}

int ApplyChangeInfo(RestoreJob& job, std::vector<backup::DatabaseRecord>& databases,
                    const std::string& changeInfoDirectory, const std::string& dataDrive,
                    Shortfalls* shortfalls) {
  if (changeInfoDirectory.empty() || dataDrive.empty()) return -1;
  for (backup::DatabaseRecord& database : databases) {
    ChangeInfoPaths paths = PathsOf(database.path, changeInfoDirectory, dataDrive);
    if (ApplyOne(job, database, paths, shortfalls) != 0) return -1;
  }
  return 0;
}

}  // namespace omb::restore
