#include "vault/log_archive.h"

#include <cstdio>

#include "domino/vaultinfo.h"
#include "notes/notes.h"
#include "platform/files.h"
#include "platform/paths.h"

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

// Copies one extent and marks it archived once the copy exists. False
// stops the archiving: the extent and all later ones stay for the next run.
bool ArchiveExtent(notes::NotesApi& api, ProgressSink& out, const std::string& targetDirectory,
                   const notes::LogExtent& extent, std::vector<uint32_t>& archived) {
  CreateTargetDirectory(api, targetDirectory);
  if (out.window) out.window->Step();
  std::string targetFile = targetDirectory + ArchivedLogName(extent.number);
  Emit(out, "Archiving " + extent.path + "\r\n");
  archived.push_back(extent.number);
  if (platform::CopyOneFile(extent.path, targetFile, true) != 0) {
    Emit(out, "Could not copy " + extent.path + "\r\n");
    return false;
  }
  return api.MarkArchived(extent.logId, extent.number) == 0;
}

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
  for (int calls = 1;; ++calls) {
    notes::LogExtent extent;
    status = calls == 1 ? api.ArchiveFirst(extent) : api.ArchiveNext(extent);
    if (status == notes::kNoMoreExtents) {
      api.ArchiveEnd();
      if (calls == 1) Emit(out, "Domino reports no logs to archive\r\n");
      return 0;
    }
    if (status != 0) {
      api.ArchiveEnd();
      return -1;
    }
    if (!ArchiveExtent(api, out, targetDirectory, extent, archived)) break;
  }
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
