#pragma once
// An in-memory Notes runtime for engine tests.
//
// What it models:
//  - databases by path (compared without regard to case): logged flag, log
//    id, instance id, first log extent, and the documents as an opaque byte
//    journal. AddDatabase also creates the database file on the machine root
//    so that directory enumeration finds it.
//  - backup mode: BackupStart freezes nothing; every document written while
//    a database is in backup mode, plus a configurable amount of filler, is
//    its change information, delivered in chunks by ReadChangeInfo.
//  - change-info application: every ApplyChangeInfoStart..End is recorded.
//  - transaction logs: a list of extents; ArchiveFirst/ArchiveNext walk the
//    ones that are ready and not yet archived, MarkArchived marks them.
//    VerifyLogExtent takes a file as good unless it is missing, empty or
//    marked damaged with MarkExtentDamaged.
//  - recovery: a script of results; each step may first call the archived
//    log callback with given requests and print text to standard output.
//  - failure injection: the Nth call of any method fails with a status.
//
// Pass it to a run as the Notes runtime of its RunServices.
#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "notes/notes.h"

namespace omb::test {

// Status the fake answers for a database or note that does not exist.
constexpr notes::Status kFakeNotFound = 259;
// Status VerifyLogExtent answers for an empty or damaged extent file.
constexpr notes::Status kFakeDamagedExtent = 5116;

enum class NotesMethod {
  InitRuntime, TermRuntime, GetServerName, AbbreviateName, GetLogStyle, TranslatePath,
  OpenDb, CloseDb, GetDbLogInfo, ReadDbInfoBlock, WriteDbInfoBlock,
  BackupStart, BackupStop, BackupEnd, GetChangeInfoSize, ReadChangeInfo,
  ApplyChangeInfoStart, ApplyChangeInfo, ApplyChangeInfoEnd,
  ArchiveBegin, ArchiveFirst, ArchiveNext, MarkArchived, MarkArchivedBatch, ArchiveEnd, Recover,
  VerifyLogExtent,
  FindDesignNote, OpenCollection, FindByName, ReadEntries, CloseCollection,
  CreateNote, OpenNote, GetTextItem, SetTextItem, UpdateNote, CloseNote,
};

// Every method that can fail, in declaration order (for fail-each-call loops).
const std::vector<NotesMethod>& AllNotesMethods();
const char* NotesMethodName(NotesMethod method);

class FakeNotes : public notes::NotesApi {
 public:
  struct Database {
    bool logged = true;
    notes::LogId logId{};
    notes::LogId instanceId{};
    uint32_t logExtent = 1;
    std::string documents;            // everything written to the database
    uint32_t changeInfoFiller = 0;    // extra change-info bytes of the next backup
    std::array<char, 128> infoBlock{};
    // Backup state.
    uint32_t context = 0;             // of the current backup
    bool inBackup = false;            // BackupStart .. BackupEnd
    bool backupStopped = false;       // BackupStop called
    std::string changeInfo;           // collected while in backup
    size_t changeInfoRead = 0;        // bytes already delivered
    std::vector<uint32_t> endFlags;   // flags of every BackupEnd
    std::string lastChangeInfo;       // the change info of the latest BackupStop
  };

  struct Extent {
    notes::LogId logId{};
    uint32_t number = 0;
    std::string path;
    bool ready = true;
    bool archived = false;
  };

  struct AppliedChangeInfo {
    std::string dbPath;
    uint32_t sizeLow = 0, sizeHigh = 0;
    std::string bytes;
    bool ended = false;
  };

  struct CallbackRequest {
    uint32_t firstExtent = 0;
    std::string requestedPath;
  };
  struct RecoverStep {
    notes::Status status = 0;
    uint32_t failingIndex = 0;
    std::vector<CallbackRequest> callbacks;  // made before returning
    std::string printed;                     // written to standard output
  };
  struct RecoverCall {
    std::vector<std::string> databases;
    uint32_t flags = 0;
    std::optional<uint64_t> untilTime;  // set by RecoverUntil
    std::vector<notes::Status> callbackResults;
  };

  FakeNotes();

  // ---- setup ----------------------------------------------------------
  void SetServerName(const std::string& canonical) { serverName_ = canonical; }
  // The identity of a runtime started on this notes.ini (partitioned
  // servers each have their own); others get SetServerName's.
  void SetServerNameFor(const std::string& notesIniPath, const std::string& canonical);
  // A style of kLogStyleCircular or kLogStyleArchive, or a status such as
  // kLoggingDisabled to answer instead.
  void SetLogStyle(int style, notes::Status status = 0);
  void SetLogId(const notes::LogId& id) { logId_ = id; }
  const notes::LogId& logId() const { return logId_; }

  // Registers a database (its log id is the server's) and, when createFile
  // is set, writes a small file at its path.
  Database& AddDatabase(const std::string& path, bool logged = true, bool createFile = true);
  Database* FindDatabase(const std::string& path);
  // Writes a document; while in backup mode it also becomes change info.
  void WriteDocument(const std::string& path, const std::string& bytes);
  // Databases opened by path but never added are taken as logged ones with
  // default settings when their file exists; otherwise OpenDb fails.
  void SetAutoRegister(bool on) { autoRegister_ = on; }

  // Adds a log extent; `contents` given: the file is written at `path`.
  void AddExtent(uint32_t number, const std::string& path, bool ready = true,
                 const std::optional<std::string>& contents = std::nullopt);

  // VerifyLogExtent answers kFakeDamagedExtent for this file from now on.
  void MarkExtentDamaged(const std::string& path);

  void ScriptRecover(const RecoverStep& step) { recoverScript_.push_back(step); }
  // What LastLogRecordTime answers.
  void SetLastLogRecordTime(uint64_t fileTime, notes::Status status = 0) {
    lastRecordTime_ = fileTime;
    lastRecordStatus_ = status;
  }

  // Fails the nth (1-based, counted from construction) call of a method with
  // `status`; nth == 0 fails every call from now on.
  void FailCall(NotesMethod method, int nth, notes::Status status);
  void ClearFailures() { failures_.clear(); }

  // ---- inspection -----------------------------------------------------
  int CallCount(NotesMethod method) const;
  int TotalCalls() const;
  bool runtimeActive() const { return runtimeActive_; }
  const std::vector<std::vector<std::string>>& initArgs() const { return initArgs_; }
  int DatabasesInBackup() const;
  int OpenDatabaseHandles() const { return static_cast<int>(dbHandles_.size()); }
  const std::vector<Extent>& extents() const { return extents_; }
  std::vector<uint32_t> ArchivedNumbers() const;
  bool archiveSessionOpen() const { return archiveOpen_; }
  const std::vector<AppliedChangeInfo>& applied() const { return applied_; }
  const std::vector<RecoverCall>& recoverCalls() const { return recoverCalls_; }
  // Every path VerifyLogExtent was asked about, in call order.
  const std::vector<std::string>& verifiedPaths() const { return verified_; }
  // The numbers of each MarkArchivedBatch call.
  const std::vector<std::vector<uint32_t>>& archiveBatches() const { return batches_; }

  // ---- notes and views (names.nsf) --------------------------------------
  // Adds a note with text items; returns its id.
  notes::NoteId AddNote(const std::string& dbPath, const std::map<std::string, std::string>& items);
  // A view (design note) whose entries are the notes having `keyItem`,
  // sorted by that item's value without regard to case.
  void AddView(const std::string& dbPath, const std::string& viewName, const std::string& keyItem);
  std::optional<std::string> NoteItem(const std::string& dbPath, notes::NoteId id,
                                      const std::string& item) const;

  // ---- NotesApi ---------------------------------------------------------
  notes::Status InitRuntime(const std::vector<std::string>& args) override;
  void TermRuntime() override;
  notes::Status GetServerName(std::string& canonical) override;
  notes::Status AbbreviateName(const std::string& canonical, std::string& abbreviated) override;
  notes::Status GetLogStyle(int& style) override;
  std::string StatusText(notes::Status status) override;
  notes::Status TranslatePath(int mode, const std::string& in, std::string& out) override;

  notes::Status OpenDb(const std::string& path, notes::Handle& db) override;
  notes::Status CloseDb(notes::Handle db) override;
  notes::Status GetDbLogInfo(notes::Handle db, notes::DbLogInfo& info) override;
  notes::Status ReadDbInfoBlock(notes::Handle db, std::array<char, 128>& block) override;
  notes::Status WriteDbInfoBlock(notes::Handle db, const std::array<char, 128>& block) override;

  notes::Status BackupStart(notes::Handle db, uint32_t& context, uint32_t& sizeLow,
                            uint32_t& sizeHigh) override;
  notes::Status BackupStop(notes::Handle db, uint32_t context) override;
  notes::Status BackupEnd(notes::Handle db, uint32_t context, uint32_t flags) override;
  notes::Status GetChangeInfoSize(notes::Handle db, uint32_t context, uint32_t& low,
                                  uint32_t& high) override;
  notes::Status ReadChangeInfo(notes::Handle db, uint32_t context, char* buffer, uint32_t size,
                               uint32_t& filled) override;
  notes::Status ApplyChangeInfoStart(const std::string& dbPath, uint32_t sizeLow, uint32_t sizeHigh,
                                     uint32_t& applyContext) override;
  notes::Status ApplyChangeInfo(uint32_t applyContext, const char* data, uint32_t size) override;
  notes::Status ApplyChangeInfoEnd(uint32_t applyContext) override;

  notes::Status ArchiveBegin() override;
  notes::Status ArchiveFirst(notes::LogExtent& extent) override;
  notes::Status ArchiveNext(notes::LogExtent& extent) override;
  notes::Status MarkArchived(const notes::LogId& logId, uint32_t number) override;
  notes::Status MarkArchivedBatch(const notes::LogId& logId, const std::vector<uint32_t>& numbers) override;
  notes::Status VerifyLogExtent(const std::string& path, uint32_t number) override;
  notes::Status ArchiveEnd() override;
  notes::Status Recover(std::string_view nameBuffer, const notes::ArchivedLogCallback& callback,
                        uint32_t flags, uint32_t& failingIndex) override;
  // Recover, with the time noted in the recorded call.
  notes::Status RecoverUntil(std::string_view nameBuffer, const notes::ArchivedLogCallback& callback,
                             uint32_t flags, uint64_t untilTime, uint32_t& failingIndex) override;
  notes::Status LastLogRecordTime(uint64_t& fileTime) override;

  notes::Status FindDesignNote(notes::Handle db, const std::string& name, notes::NoteId& id) override;
  notes::Status OpenCollection(notes::Handle db, notes::NoteId view, notes::Handle& collection) override;
  notes::Status FindByName(notes::Handle collection, const std::string& key, uint32_t& position,
                           uint32_t& matches) override;
  notes::Status ReadEntries(notes::Handle collection, uint32_t position, uint32_t count,
                            std::vector<notes::NoteId>& ids) override;
  notes::Status CloseCollection(notes::Handle collection) override;
  notes::Status CreateNote(notes::Handle db, notes::Handle& note) override;
  notes::Status OpenNote(notes::Handle db, notes::NoteId id, notes::Handle& note) override;
  notes::Status GetTextItem(notes::Handle note, const std::string& item, std::string& value) override;
  notes::Status SetTextItem(notes::Handle note, const std::string& item, const std::string& value) override;
  notes::Status UpdateNote(notes::Handle note) override;
  notes::Status CloseNote(notes::Handle note) override;

 private:
  struct Note {
    std::map<std::string, std::string> items;  // item names upper-cased
    bool isView = false;
    std::string viewName;                      // design notes only
    std::string viewKeyItem;
  };
  struct NoteStore {
    std::map<notes::NoteId, Note> notes;
    notes::NoteId nextId = 0x100;
  };
  struct OpenNoteState {
    std::string dbKey;
    notes::NoteId id = 0;  // 0 until a new note is first updated
    Note note;
  };
  struct CollectionState {
    std::string dbKey;
    std::string keyItem;                 // upper-cased item name
    std::vector<notes::NoteId> entries;  // sorted by key
  };

  // Counts the call and answers an injected failure status (0 = none).
  notes::Status Enter(NotesMethod method);
  Database* ByHandle(notes::Handle db, std::string* key = nullptr);
  Database* ByContext(notes::Handle db, uint32_t context);
  notes::Status NextReadyExtent(notes::LogExtent& extent);
  notes::Status MarkOne(const notes::LogId& logId, uint32_t number);
  notes::Handle NewHandle() { return nextHandle_++; }

  mutable std::recursive_mutex mutex_;
  std::string serverName_ = "CN=Mail1/OU=Sales/O=Acme";
  std::map<std::string, std::string> serverNamesByIni_;  // key: upper-cased notes.ini path
  std::string startedIni_;                               // of the current runtime
  int logStyle_ = notes::kLogStyleArchive;
  notes::Status logStyleStatus_ = 0;
  notes::LogId logId_{};
  bool autoRegister_ = true;
  bool runtimeActive_ = false;
  std::vector<std::vector<std::string>> initArgs_;

  std::map<std::string, Database> databases_;    // key: upper-cased path
  std::map<std::string, std::string> realPaths_; // key -> path as added
  std::map<notes::Handle, std::string> dbHandles_;
  std::map<std::string, NoteStore> noteStores_;
  std::map<notes::Handle, OpenNoteState> openNotes_;
  std::map<notes::Handle, CollectionState> collections_;

  std::vector<Extent> extents_;
  std::set<std::string> damaged_;  // upper-cased paths
  std::vector<std::string> verified_;
  std::vector<std::vector<uint32_t>> batches_;
  size_t archiveCursor_ = 0;
  bool archiveOpen_ = false;

  std::map<uint32_t, size_t> applyContexts_;  // context -> index in applied_
  std::vector<AppliedChangeInfo> applied_;

  std::vector<RecoverStep> recoverScript_;
  size_t recoverNext_ = 0;
  std::optional<uint64_t> nextUntil_;  // of the Recover call RecoverUntil makes
  uint64_t lastRecordTime_ = 0;
  notes::Status lastRecordStatus_ = 0;
  std::vector<RecoverCall> recoverCalls_;

  std::map<NotesMethod, int> calls_;
  struct Failure {
    NotesMethod method;
    int nth;
    notes::Status status;
  };
  std::vector<Failure> failures_;
  notes::Handle nextHandle_ = 1;
  uint32_t nextContext_ = 1;
};

}  // namespace omb::test
