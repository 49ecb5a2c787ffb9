#include "backup/healing.h"

#include <unistd.h>

#include <vector>

#include "backup/databases.h"
#include "domino/vaultinfo.h"
#include "notes/status.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace omb::backup {

namespace {

constexpr const char* kRecordFile = "backup_mode_run";
// The record is one short line; anything larger is not ours.
constexpr int64_t kMaxRecordSize = 4096;

bool RecordPath(const PartitionInfo& server, std::string& path) {
  std::string directory;
  if (GetServerVaultinfoDir(server, "", directory) != 0) return false;
  path = directory + kRecordFile;
  return true;
}

// Ends backup mode of one database if it is in it. A database that is not
// answers "not in backup mode" to a stop with any context; one that is
// answers a context mismatch (or stops). Backup mode is then restarted with
// a context of ours and ended as abandoned, dropping its change record.
bool EndLeftoverBackupMode(notes::NotesApi& api, const std::string& path) {
  notes::Handle db = 0;
  if (api.OpenDb(path, db) != notes::kNoError) return false;
  bool ended = false;
  if (api.BackupStop(db, 0) != notes::kErrNotInBackup) {
    uint32_t context = 0, low = 0, high = 0;
    ended = api.BackupStart(db, context, low, high) == notes::kNoError &&
            api.BackupEnd(db, context, notes::kBackupEndAbort) == notes::kNoError;
  }
  api.CloseDb(db);
  return ended;
}

std::string NameList(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

int RecordBackupModeRun(const PartitionInfo& server, platform::Clock& clock) {
  std::string path;
  if (!RecordPath(server, path)) return -1;
  const std::string text = "process " + std::to_string(::getpid()) + ", started " + FormatTimestamp(clock) + "\n";
  return platform::WriteTextFile(path, text) == 0 ? 0 : -1;
}

void ForgetBackupModeRun(const PartitionInfo& server) {
  std::string path;
  if (RecordPath(server, path)) platform::DeleteOneFile(path);
}

int HealBackupMode(notes::NotesApi& api, const PartitionInfo& server, ProgressSink& out) {
  std::string path;
  if (!RecordPath(server, path) || !platform::IsFile(path)) return 0;
  std::string run;
  const int64_t size = platform::FileSize(path);
  if (size >= 0 && size <= kMaxRecordSize && platform::ReadTextFile(path, run) == 0) {
    while (!run.empty() && (run.back() == '\n' || run.back() == '\r')) run.pop_back();
  }
  if (run.empty()) run = "unknown";

  std::vector<DatabaseRecord> list;
  if (!server.dataPath.empty()) EnumerateDatabases(server.dataPath, list);
  std::vector<std::string> healed;
  for (const DatabaseRecord& record : list)
    if (EndLeftoverBackupMode(api, record.path)) healed.push_back(record.path);
  if (!healed.empty()) {
    Emit(out, "WARNING: " + std::to_string(healed.size()) +
                              " database(s) were left in backup mode by a run that did not finish (" + run +
                              "); backup mode was ended for: " + NameList(healed) + "\r\n");
  }
  ForgetBackupModeRun(server);
  return static_cast<int>(healed.size());
}

}  // namespace omb::backup
