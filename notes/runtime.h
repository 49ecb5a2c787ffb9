#pragma once
// The built-in Notes runtime: databases, backup mode and change
// information, transaction logs with archiving, recovery and the names.nsf
// view, over this program's own file formats (docs/adr/0002). Several
// processes (omb, dominosim) may use the same files at once: a database is
// changed under its lock file, a log is appended to under the log's lock
// file, and backup-mode state lives on disk outside the data drive.
//
// One object holds the state of one runtime (the notes.ini in use and the
// open handles), guarded by one mutex; notes::Api() is a process-wide one.
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "notes/database.h"
#include "notes/host_files.h"
#include "notes/notes.h"
#include "notes/txlog.h"
#include "platform/clock.h"

namespace omb::notes {

struct RecoveryRun;

constexpr const char* kDefaultNotesIni = "C:\\Lotus\\Domino\\notes.ini";
constexpr uint64_t kDefaultExtentSize = 64ull << 20;

// What InitRuntime read from notes.ini.
struct RuntimeConfig {
  std::string notesIni;
  std::string serverName;  // canonical
  std::string dataDir;     // without a trailing backslash
  bool loggingOn = false;
  int logStyle = kLogStyleCircular;
  std::string logDir;      // absolute, without a trailing backslash
  uint64_t extentSize = kDefaultExtentSize;
};

class Runtime : public NotesApi {
 public:
  Status InitRuntime(const std::vector<std::string>& args) override;
  void TermRuntime() override;
  Status GetServerName(std::string& canonical) override;
  Status AbbreviateName(const std::string& canonical, std::string& abbreviated) override;
  Status GetLogStyle(int& style) override;
  std::string StatusText(Status status) override;
  Status TranslatePath(int mode, const std::string& in, std::string& out) override;

  Status OpenDb(const std::string& path, Handle& db) override;
  Status CloseDb(Handle db) override;
  Status GetDbLogInfo(Handle db, DbLogInfo& info) override;
  Status ReadDbInfoBlock(Handle db, std::array<char, 128>& block) override;
  Status WriteDbInfoBlock(Handle db, const std::array<char, 128>& block) override;

  Status BackupStart(Handle db, uint32_t& context, uint32_t& sizeLow, uint32_t& sizeHigh) override;
  Status BackupStop(Handle db, uint32_t context) override;
  Status BackupEnd(Handle db, uint32_t context, uint32_t flags) override;
  Status GetChangeInfoSize(Handle db, uint32_t context, uint32_t& low, uint32_t& high) override;
  Status ReadChangeInfo(Handle db, uint32_t context, char* buffer, uint32_t size,
                        uint32_t& filled) override;
  Status ApplyChangeInfoStart(const std::string& dbPath, uint32_t sizeLow, uint32_t sizeHigh,
                              uint32_t& applyContext) override;
  Status ApplyChangeInfo(uint32_t applyContext, const char* data, uint32_t size) override;
  Status ApplyChangeInfoEnd(uint32_t applyContext) override;

  Status ArchiveBegin() override;
  Status ArchiveFirst(LogExtent& extent) override;
  Status ArchiveNext(LogExtent& extent) override;
  Status MarkArchived(const LogId& logId, uint32_t number) override;
  Status MarkArchivedBatch(const LogId& logId, const std::vector<uint32_t>& numbers) override;
  Status VerifyLogExtent(const std::string& path, uint32_t number) override;
  Status ArchiveEnd() override;
  Status Recover(std::string_view nameBuffer, const ArchivedLogCallback& callback, uint32_t flags,
                 uint32_t& failingIndex) override;
  Status RecoverUntil(std::string_view nameBuffer, const ArchivedLogCallback& callback,
                      uint32_t flags, uint64_t untilTime, uint32_t& failingIndex) override;
  Status LastLogRecordTime(uint64_t& fileTime) override;

  Status CopyLogForRecovery(const std::string& targetDirectory) override;
  Status AssignNewInstanceId(const std::string& path, LogId& instanceId) override;
  Status IsDatabaseOpen(const std::string& path, bool& open) override;
  Status ReplaceDatabase(const std::string& restoredPath, const std::string& targetPath) override;

  Status FindDesignNote(Handle db, const std::string& name, NoteId& id) override;
  Status OpenCollection(Handle db, NoteId view, Handle& collection) override;
  Status FindByName(Handle collection, const std::string& key, uint32_t& position,
                    uint32_t& matches) override;
  Status ReadEntries(Handle collection, uint32_t position, uint32_t count,
                     std::vector<NoteId>& ids) override;
  Status CloseCollection(Handle collection) override;
  Status CreateNote(Handle db, Handle& note) override;
  Status OpenNote(Handle db, NoteId id, Handle& note) override;
  Status GetTextItem(Handle note, const std::string& item, std::string& value) override;
  Status SetTextItem(Handle note, const std::string& item, const std::string& value) override;
  Status UpdateNote(Handle note) override;
  Status CloseNote(Handle note) override;

  // ---- beyond the Notes calls: for dominosim and tests -------------------
  // Makes a new database holding `notes` (ids given or assigned from 1) with
  // `title` in its information block. Fails when the file exists.
  Status CreateDatabase(const std::string& path, bool logged, const std::string& title,
                        std::vector<Note> notes);
  struct DatabaseSpec {
    std::string path;
    bool logged = true;
    std::string title;
    std::vector<Note> notes;
  };
  // Makes many new databases with one file-system sync, for setting up a
  // machine; nothing else may write these databases meanwhile.
  Status CreateDatabases(std::vector<DatabaseSpec> specs);
  // Adds documents as the running server would: one database rewrite, the
  // log records appended under one log lock, journalled in backup mode.
  // A missing database is created, logged when the server logs.
  Status AddDocuments(const std::string& path, std::vector<Note> documents,
                      std::vector<NoteId>* ids = nullptr);
  Status DeleteDocument(const std::string& path, NoteId id);
  // Rewrites a database as a copy-style compaction does: the same documents
  // under a new instance identifier, so its later changes are logged under
  // that one. Refused with kErrDbInBackup while it is in backup mode.
  Status CompactDatabase(const std::string& path, LogId* newInstanceId = nullptr);
  Status Summarize(const std::string& path, DbSummary& summary);
  // Holds the databases open as a running server does, until TermRuntime:
  // ReplaceDatabase refuses them meanwhile. Answers how many it holds.
  size_t HoldDatabasesOpen(const std::vector<std::string>& paths);
  // The settings read from notes.ini (empty before InitRuntime).
  RuntimeConfig Config() const;
  // The clock that stamps each change with the time it is written (the
  // system clock unless a test sets another; null restores it).
  void SetClock(platform::Clock* clock);

 private:
  struct OpenDatabase {
    std::string path;
    std::filesystem::path host;
    Database db;
    FileStamp stamp;
  };
  struct OpenNoteState {
    Handle db = 0;
    Note note;
  };
  struct ApplySession {
    std::filesystem::path host;
    Database db;
    uint64_t expected = 0;
    uint64_t received = 0;
    std::string pending;
    Status failure = kNoError;
  };

  Status Ready() const;
  std::string ResolvePath(const std::string& path) const;
  bool LogsFor(const Database& db) const;
  TransactionLog Log() const;
  OpenDatabase* FindDb(Handle db);
  Status Refresh(OpenDatabase& open);
  // The open database of a handle, reloaded first when its file changed.
  Status FindFreshDb(Handle db, OpenDatabase*& open);
  // The open database of a handle with its file lock taken into `lock`, so
  // the caller can read and rewrite the file without a concurrent writer.
  Status FindDbLocked(Handle db, OpenDatabase*& open, std::unique_ptr<FileLock>& lock);
  // FindDbLocked, then the database as its file holds it now, for a
  // read-modify-write under the lock.
  Status LoadDbLocked(Handle db, OpenDatabase*& open, std::unique_ptr<FileLock>& lock, Database& current);
  Status CommitLocked(const std::filesystem::path& host, Database& db,
                      std::vector<ChangeRecord>& changes);
  Status Commit(const std::filesystem::path& host, std::vector<ChangeRecord>& changes,
                bool createWhenMissing);
  Status NewDatabase(bool logged, const std::string& title, Database& db);
  static void AddNotes(Database& db, std::vector<Note> notes);
  Status CheckBackup(OpenDatabase& open, uint32_t context);
  Status NextExtent(LogExtent& extent);
  Status LoadRecoveryTargets(std::string_view nameBuffer, RecoveryRun& run,
                             uint32_t& failingIndex);
  Status RecoverTo(std::string_view nameBuffer, const ArchivedLogCallback& callback,
                   uint64_t untilTime, uint32_t& failingIndex);
  uint64_t Now() const;

  mutable std::recursive_mutex mutex_;
  platform::Clock* clock_ = nullptr;
  std::optional<RuntimeConfig> config_;
  Handle nextHandle_ = 1;
  std::map<Handle, OpenDatabase> dbs_;
  std::map<Handle, OpenNoteState> notes_;
  std::map<Handle, std::vector<std::pair<std::string, NoteId>>> collections_;
  std::map<uint32_t, ApplySession> applies_;
  std::map<uint32_t, uint64_t> changeReadOffsets_;
  bool archiving_ = false;
  std::vector<LogExtent> extentList_;
  std::vector<std::unique_ptr<FileLock>> heldOpen_;
  size_t extentPos_ = 0;
};

}  // namespace omb::notes
