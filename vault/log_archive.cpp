#include "vault/log_archive.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "domino/vaultinfo.h"
#include "notes/notes.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix_io.h"

namespace omb::backup {

namespace {

std::string LogsDirectory(const std::string& changeInfoDirectory) {
  return changeInfoDirectory + (changeInfoDirectory.back() == '\\' ? "logs\\" : "\\logs\\");
}

// Files (not folders) directly inside a folder; 0 when it cannot be listed.
int CountFiles(const std::string& directory) {
  std::vector<platform::DirEntry> entries;
  if (directory.empty() || platform::ListDirectory(directory, entries) != 0) return 0;
  int files = 0;
  for (const platform::DirEntry& entry : entries)
    if (!entry.isDirectory) ++files;
  return files;
}

bool EndsWithTxn(const std::string& name) {
  return name.size() >= 4 && platform::EqualsNoCase(name.substr(name.size() - 4), ".txn");
}

// Makes the logs folder (one level); an existing one is fine.
void CreateTargetDirectory(notes::NotesApi& api, const std::string& targetDirectory) {
  std::string translated;
  if (api.TranslatePath(1, targetDirectory, translated) != 0) translated = targetDirectory;
  platform::CreateOneDirectory(translated);
}

// Flushes the file's data to the disk.
bool SyncWindowsFile(const std::string& windowsPath) {
  const int fd = platform::OpenFile(platform::HostPath(windowsPath), O_RDONLY);
  if (fd < 0) return false;
  const bool synced = platform::SyncFile(fd) == 0;
  ::close(fd);
  return synced;
}

// The extents of one archiving pass, copied but not yet durable. Each is
// copied to a hidden temporary name beside its final one; a flush makes
// the whole batch durable with one pass of fsyncs, renames the copies into
// place, flushes the folder, and only then tells Domino, with one call,
// that they are archived. An extent whose copy is not on the disk under
// its final name is never marked, so Domino never reuses an unsaved one;
// a temporary left by a killed run is no archived log (it does not end in
// ".TXN") and is overwritten by the next copy of that extent.
class ArchiveBatch {
 public:
  ArchiveBatch(notes::NotesApi& api, ProgressSink& out, const std::string& targetDirectory)
      : api_(api), out_(out), targetDirectory_(targetDirectory) {}
  ~ArchiveBatch() { Discard(); }
  ArchiveBatch(const ArchiveBatch&) = delete;
  ArchiveBatch& operator=(const ArchiveBatch&) = delete;

  // Copies one extent. False stops the archiving: the extent and all later
  // ones stay for the next run.
  bool Add(const notes::LogExtent& extent, std::vector<uint32_t>& archived) {
    CreateTargetDirectory(api_, targetDirectory_);
    if (out_.window) out_.window->Step();
    const std::string name = ArchivedLogName(extent.number);
    const std::string target = targetDirectory_ + name;
    Emit(out_, "Archiving " + extent.path + "\r\n");
    archived.push_back(extent.number);
    const std::string temporary = targetDirectory_ + "." + name + ".tmp";
    // An archived copy that exists already is never overwritten.
    const bool copied = !extent.path.empty() && !platform::PathExists(target) &&
                        platform::CopyOneFile(extent.path, temporary, false) == 0;
    if (!copied) {
      platform::DeleteOneFile(temporary);
      Emit(out_, "WARNING: Could not copy " + extent.path + "\r\n");
      return false;
    }
    if (!pending_.empty() && pending_.front().extent.logId != extent.logId && !Flush()) return false;
    pending_.push_back({extent, temporary, target});
    return pending_.size() < kBatchSize || Flush();
  }

  // Makes the pending copies durable and marks them archived. False when
  // any step failed; the copies before the failing one are still marked.
  bool Flush() {
    if (pending_.empty()) return true;
    size_t durable = 0;
    while (durable < pending_.size() && SyncWindowsFile(pending_[durable].temporary)) ++durable;
    size_t placed = 0;
    while (placed < durable &&
           platform::MoveFileOrDirectory(pending_[placed].temporary, pending_[placed].target) == 0) {
      ++placed;
    }
    if (placed > 0) SyncFolders();
    std::vector<uint32_t> numbers;
    for (size_t i = 0; i < placed; ++i) numbers.push_back(pending_[i].extent.number);
    bool ok = placed == pending_.size();
    if (!ok) Emit(out_, "WARNING: Could not copy " + pending_[placed].extent.path + "\r\n");
    if (!numbers.empty() && api_.MarkArchivedBatch(pending_.front().extent.logId, numbers) != 0) ok = false;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(placed));
    Discard();
    return ok;
  }

 private:
  // Copies flushed together: enough to spread the cost of the folder flush
  // and the control-file update, few enough that a crash loses little work.
  static constexpr size_t kBatchSize = 64;
  struct Pending {
    notes::LogExtent extent;
    std::string temporary;
    std::string target;
  };
  // The logs folder holds the new names; its parent holds the folder
  // itself, which the first pass may just have made.
  void SyncFolders() {
    std::filesystem::path folder = platform::HostPath(targetDirectory_);
    if (folder.filename().empty()) folder = folder.parent_path();
    platform::SyncFolder(folder);
    if (!parentSynced_) platform::SyncFolder(folder.parent_path());
    parentSynced_ = true;
  }
  void Discard() {
    for (const Pending& pending : pending_) platform::DeleteOneFile(pending.temporary);
    pending_.clear();
  }

  notes::NotesApi& api_;
  ProgressSink& out_;
  std::string targetDirectory_;
  std::vector<Pending> pending_;
  bool parentSynced_ = false;
};

}  // namespace

std::string ArchivedLogName(uint32_t extentNumber) {
  char name[32];
  std::snprintf(name, sizeof name, "S%07u.TXN", extentNumber);
  return name;
}

int CopyLogsToVaultinfo(notes::NotesApi& api, PartitionInfo& server, const std::string& changeInfoDirectory) {
  if (changeInfoDirectory.empty()) return -1;
  std::string target = LogsDirectory(changeInfoDirectory);
  if (ProgressObserver* bar = server.progress.window) bar->Range(0, CountFiles(server.logPath), 1);
  std::vector<uint32_t> archived;
  ArchiveLogs(api, server.progress, target, archived);
  return 0;
}

int ArchiveLogs(notes::NotesApi& api, ProgressSink& out, const std::string& targetDirectory,
                std::vector<uint32_t>& archived) {
  std::printf("Archiving logs in log dir: %s\n", targetDirectory.c_str());
  std::fflush(stdout);
  notes::Status status = api.ArchiveBegin();
  if (status != 0) {
    Emit(out, "ERROR: " + notes::StatusTextOf(api, status) + "\r\n");
    return -1;
  }
  ArchiveBatch batch(api, out, targetDirectory);
  for (int calls = 1;; ++calls) {
    notes::LogExtent extent;
    status = calls == 1 ? api.ArchiveFirst(extent) : api.ArchiveNext(extent);
    if (status == notes::kNoMoreExtents) {
      batch.Flush();
      api.ArchiveEnd();
      if (calls == 1) Emit(out, "Domino reports no logs to archive\r\n");
      return 0;
    }
    if (status != 0) {
      batch.Flush();
      api.ArchiveEnd();
      return -1;
    }
    if (!batch.Add(extent, archived)) break;
  }
  batch.Flush();
  return api.ArchiveEnd() != 0 ? -1 : 0;
}

void ListArchivedLogs(const std::string& directory, std::vector<std::string>& paths) {
  std::vector<platform::DirEntry> entries;
  if (platform::ListDirectory(directory, entries) != 0) return;
  for (const platform::DirEntry& entry : entries) {
    if (entry.isDirectory) {
      if (entry.name.empty() || entry.name[0] == '.') continue;
      ListArchivedLogs(platform::JoinPath(directory, entry.name), paths);
    } else if (EndsWithTxn(entry.name)) {
      paths.push_back(platform::JoinPath(directory, entry.name));
    }
  }
}

int CurrentLogSeries(notes::NotesApi& api, uint32_t& lastExtent, std::string& series) {
  uint32_t last = 0;
  notes::LogExtent extent;
  notes::Status status = api.ArchiveFirst(extent);
  for (;;) {
    series = notes::LogSeriesText(extent.logId);
    if (extent.number != 0) last = extent.number;
    if (status != 0) break;
    status = api.ArchiveNext(extent);
  }
  if (status == notes::kNoMoreExtents) lastExtent = last == 0 ? 1 : last;
  return 0;
}

}  // namespace omb::backup
