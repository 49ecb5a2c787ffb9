#include "tests/support/fake_notes.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/files.h"
#include "platform/paths.h"

namespace omb::test {

namespace {

// Status of a call made in a state the real runtime would refuse (backup
// mode not started, change info read before backup mode stopped, ...).
constexpr notes::Status kFakeBadState = 5000;

struct MethodInfo {
  NotesMethod method;
  const char* name;
};

constexpr MethodInfo kMethods[] = {
    {NotesMethod::InitRuntime, "InitRuntime"},
    {NotesMethod::TermRuntime, "TermRuntime"},
    {NotesMethod::GetServerName, "GetServerName"},
    {NotesMethod::AbbreviateName, "AbbreviateName"},
    {NotesMethod::GetLogStyle, "GetLogStyle"},
    {NotesMethod::TranslatePath, "TranslatePath"},
    {NotesMethod::OpenDb, "OpenDb"},
    {NotesMethod::CloseDb, "CloseDb"},
    {NotesMethod::GetDbLogInfo, "GetDbLogInfo"},
    {NotesMethod::ReadDbInfoBlock, "ReadDbInfoBlock"},
    {NotesMethod::WriteDbInfoBlock, "WriteDbInfoBlock"},
    {NotesMethod::BackupStart, "BackupStart"},
    {NotesMethod::BackupStop, "BackupStop"},
    {NotesMethod::BackupEnd, "BackupEnd"},
    {NotesMethod::GetChangeInfoSize, "GetChangeInfoSize"},
    {NotesMethod::ReadChangeInfo, "ReadChangeInfo"},
    {NotesMethod::ApplyChangeInfoStart, "ApplyChangeInfoStart"},
    {NotesMethod::ApplyChangeInfo, "ApplyChangeInfo"},
    {NotesMethod::ApplyChangeInfoEnd, "ApplyChangeInfoEnd"},
    {NotesMethod::ArchiveBegin, "ArchiveBegin"},
    {NotesMethod::ArchiveFirst, "ArchiveFirst"},
    {NotesMethod::ArchiveNext, "ArchiveNext"},
    {NotesMethod::MarkArchived, "MarkArchived"},
    {NotesMethod::MarkArchivedBatch, "MarkArchivedBatch"},
    {NotesMethod::ArchiveEnd, "ArchiveEnd"},
    {NotesMethod::Recover, "Recover"},
    {NotesMethod::VerifyLogExtent, "VerifyLogExtent"},
    {NotesMethod::FindDesignNote, "FindDesignNote"},
    {NotesMethod::OpenCollection, "OpenCollection"},
    {NotesMethod::FindByName, "FindByName"},
    {NotesMethod::ReadEntries, "ReadEntries"},
    {NotesMethod::CloseCollection, "CloseCollection"},
    {NotesMethod::CreateNote, "CreateNote"},
    {NotesMethod::OpenNote, "OpenNote"},
    {NotesMethod::GetTextItem, "GetTextItem"},
    {NotesMethod::SetTextItem, "SetTextItem"},
    {NotesMethod::UpdateNote, "UpdateNote"},
    {NotesMethod::CloseNote, "CloseNote"},
};

std::string Key(const std::string& text) { return platform::ToUpper(text); }

// Creates the folders above a file, one level at a time.
void CreateParentFolders(const std::string& filePath) {
  size_t position = filePath.find('\\', 3);
  while (position != std::string::npos) {
    platform::CreateOneDirectory(filePath.substr(0, position));
    position = filePath.find('\\', position + 1);
  }
}

// A repeatable byte pattern for change-info filler.
std::string Filler(const std::string& seed, uint32_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 2166136261u;
  for (char c : seed) state = (state ^ static_cast<uint8_t>(c)) * 16777619u;
  for (uint32_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(state >> 16);
  }
  return bytes;
}

notes::LogId InstanceIdFor(const std::string& key) {
  notes::LogId id{};
  std::string pattern = Filler(key, 16);
  std::copy(pattern.begin(), pattern.end(), id.begin());
  return id;
}

}  // namespace

const std::vector<NotesMethod>& AllNotesMethods() {
  static const std::vector<NotesMethod> all = [] {
    std::vector<NotesMethod> methods;
    for (const MethodInfo& info : kMethods) methods.push_back(info.method);
    return methods;
  }();
  return all;
}

const char* NotesMethodName(NotesMethod method) {
  for (const MethodInfo& info : kMethods)
    if (info.method == method) return info.name;
  return "?";
}

FakeNotes::FakeNotes() {
  for (size_t i = 0; i < logId_.size(); ++i) logId_[i] = static_cast<uint8_t>(0x11 * (i + 1));
}

// ---- setup ------------------------------------------------------------------

void FakeNotes::SetLogStyle(int style, notes::Status status) {
  std::lock_guard lock(mutex_);
  logStyle_ = style;
  logStyleStatus_ = status;
}

FakeNotes::Database& FakeNotes::AddDatabase(const std::string& path, bool logged, bool createFile) {
  std::lock_guard lock(mutex_);
  std::string key = Key(path);
  Database& db = databases_[key];
  realPaths_[key] = path;
  db.logged = logged;
  db.logId = logId_;
  db.instanceId = InstanceIdFor(key);
  if (createFile && !platform::IsFile(path)) {
    CreateParentFolders(path);
    platform::WriteFileAtomic(path, "fake database " + path);
  }
  return db;
}

FakeNotes::Database* FakeNotes::FindDatabase(const std::string& path) {
  std::lock_guard lock(mutex_);
  auto found = databases_.find(Key(path));
  return found == databases_.end() ? nullptr : &found->second;
}

void FakeNotes::WriteDocument(const std::string& path, const std::string& bytes) {
  std::lock_guard lock(mutex_);
  Database* db = FindDatabase(path);
  if (!db) db = &AddDatabase(path, true, false);
  db->documents += bytes;
  if (db->inBackup && !db->backupStopped) db->changeInfo += bytes;
}

void FakeNotes::AddExtent(uint32_t number, const std::string& path, bool ready,
                          const std::optional<std::string>& contents) {
  std::lock_guard lock(mutex_);
  extents_.push_back(Extent{logId_, number, path, ready, false});
  if (contents) {
    CreateParentFolders(path);
    platform::WriteFileAtomic(path, *contents);
  }
}

void FakeNotes::FailCall(NotesMethod method, int nth, notes::Status status) {
  std::lock_guard lock(mutex_);
  failures_.push_back(Failure{method, nth, status});
}

// ---- inspection -------------------------------------------------------------

int FakeNotes::CallCount(NotesMethod method) const {
  std::lock_guard lock(mutex_);
  auto found = calls_.find(method);
  return found == calls_.end() ? 0 : found->second;
}

int FakeNotes::TotalCalls() const {
  std::lock_guard lock(mutex_);
  int total = 0;
  for (const auto& [method, count] : calls_) total += count;
  return total;
}

int FakeNotes::DatabasesInBackup() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(databases_.begin(), databases_.end(),
                                        [](const auto& entry) { return entry.second.inBackup; }));
}

std::vector<uint32_t> FakeNotes::ArchivedNumbers() const {
  std::lock_guard lock(mutex_);
  std::vector<uint32_t> numbers;
  for (const Extent& extent : extents_)
    if (extent.archived) numbers.push_back(extent.number);
  return numbers;
}

// ---- internals --------------------------------------------------------------

notes::Status FakeNotes::Enter(NotesMethod method) {
  int count = ++calls_[method];
  for (const Failure& failure : failures_)
    if (failure.method == method && (failure.nth == 0 || failure.nth == count)) return failure.status;
  return 0;
}

FakeNotes::Database* FakeNotes::ByHandle(notes::Handle db, std::string* key) {
  auto handle = dbHandles_.find(db);
  if (handle == dbHandles_.end()) return nullptr;
  if (key) *key = handle->second;
  auto found = databases_.find(handle->second);
  return found == databases_.end() ? nullptr : &found->second;
}

FakeNotes::Database* FakeNotes::ByContext(notes::Handle db, uint32_t context) {
  Database* database = ByHandle(db);
  if (!database || !database->inBackup || database->context != context) return nullptr;
  return database;
}

notes::Status FakeNotes::NextReadyExtent(notes::LogExtent& extent) {
  for (; archiveCursor_ < extents_.size(); ++archiveCursor_) {
    const Extent& candidate = extents_[archiveCursor_];
    if (!candidate.ready || candidate.archived) continue;
    extent = notes::LogExtent{candidate.logId, candidate.number, candidate.path};
    ++archiveCursor_;
    return 0;
  }
  // Nothing more: the answer still carries the current log's identifier.
  extent = notes::LogExtent{logId_, 0, ""};
  return notes::kNoMoreExtents;
}

// ---- runtime ------------------------------------------------------------------

notes::Status FakeNotes::InitRuntime(const std::vector<std::string>& args) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::InitRuntime)) return status;
  initArgs_.push_back(args);
  runtimeActive_ = true;
  startedIni_ = !args.empty() && !args[0].empty() && args[0][0] == '=' ? Key(args[0].substr(1)) : "";
  return 0;
}

void FakeNotes::SetServerNameFor(const std::string& notesIniPath, const std::string& canonical) {
  std::lock_guard lock(mutex_);
  serverNamesByIni_[Key(notesIniPath)] = canonical;
}

void FakeNotes::TermRuntime() {
  std::lock_guard lock(mutex_);
  Enter(NotesMethod::TermRuntime);
  runtimeActive_ = false;
}

notes::Status FakeNotes::GetServerName(std::string& canonical) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::GetServerName)) return status;
  auto own = serverNamesByIni_.find(startedIni_);
  canonical = own != serverNamesByIni_.end() ? own->second : serverName_;
  return 0;
}

notes::Status FakeNotes::AbbreviateName(const std::string& canonical, std::string& abbreviated) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::AbbreviateName)) return status;
  abbreviated.clear();
  size_t start = 0;
  while (start <= canonical.size()) {
    size_t end = canonical.find('/', start);
    std::string part = canonical.substr(start, end == std::string::npos ? std::string::npos : end - start);
    size_t equals = part.find('=');
    if (equals != std::string::npos) part = part.substr(equals + 1);
    if (!abbreviated.empty()) abbreviated += '/';
    abbreviated += part;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return 0;
}

notes::Status FakeNotes::GetLogStyle(int& style) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::GetLogStyle)) return status;
  if (logStyleStatus_) return logStyleStatus_;
  style = logStyle_;
  return 0;
}

std::string FakeNotes::StatusText(notes::Status status) {
  switch (status & 0x3FFF) {
    case kFakeNotFound: return "File does not exist";
    case kFakeBadState: return "Invalid backup state";
    case notes::kNoMoreExtents: return "No more log extents to archive";
    case notes::kLogFilesNotFound: return "Could not find the required log files";
    case notes::kDbNotLogged: return "Database is not enabled for transaction logging";
    case notes::kLoggingDisabled: return "Transaction logging is disabled";
    case kFakeDamagedExtent: return "The transaction log is damaged";
    default: return "Fake Notes status " + std::to_string(status & 0x3FFF);
  }
}

notes::Status FakeNotes::TranslatePath(int, const std::string& in, std::string& out) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::TranslatePath)) return status;
  out = in;
  return 0;
}

// ---- databases ------------------------------------------------------------------

notes::Status FakeNotes::OpenDb(const std::string& path, notes::Handle& db) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::OpenDb)) return status;
  std::string key = Key(path);
  if (!databases_.count(key)) {
    if (!autoRegister_ || !platform::IsFile(path)) return kFakeNotFound;
    AddDatabase(path, true, false);
  }
  db = NewHandle();
  dbHandles_[db] = key;
  return 0;
}

notes::Status FakeNotes::CloseDb(notes::Handle db) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::CloseDb)) return status;
  return dbHandles_.erase(db) ? 0 : kFakeBadState;
}

notes::Status FakeNotes::GetDbLogInfo(notes::Handle db, notes::DbLogInfo& info) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::GetDbLogInfo)) return status;
  Database* database = ByHandle(db);
  if (!database) return kFakeBadState;
  info = notes::DbLogInfo{database->logged, database->logId, database->instanceId, database->logExtent};
  return 0;
}

notes::Status FakeNotes::ReadDbInfoBlock(notes::Handle db, std::array<char, 128>& block) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::ReadDbInfoBlock)) return status;
  Database* database = ByHandle(db);
  if (!database) return kFakeBadState;
  block = database->infoBlock;
  return 0;
}

notes::Status FakeNotes::WriteDbInfoBlock(notes::Handle db, const std::array<char, 128>& block) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::WriteDbInfoBlock)) return status;
  Database* database = ByHandle(db);
  if (!database) return kFakeBadState;
  database->infoBlock = block;
  return 0;
}

// ---- backup mode ----------------------------------------------------------------

notes::Status FakeNotes::BackupStart(notes::Handle db, uint32_t& context, uint32_t& sizeLow,
                                     uint32_t& sizeHigh) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::BackupStart)) return status;
  Database* database = ByHandle(db);
  if (!database || database->inBackup) return kFakeBadState;
  database->inBackup = true;
  database->backupStopped = false;
  database->changeInfo.clear();
  database->changeInfoRead = 0;
  database->context = nextContext_++;
  context = database->context;
  uint64_t size = database->documents.size();
  sizeLow = static_cast<uint32_t>(size);
  sizeHigh = static_cast<uint32_t>(size >> 32);
  return 0;
}

notes::Status FakeNotes::BackupStop(notes::Handle db, uint32_t context) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::BackupStop)) return status;
  std::string key;
  Database* database = ByHandle(db, &key);
  if (!database || !database->inBackup || database->context != context) return kFakeBadState;
  if (!database->backupStopped) {
    database->changeInfo += Filler(key, database->changeInfoFiller);
    database->lastChangeInfo = database->changeInfo;
    database->backupStopped = true;
  }
  return 0;
}

notes::Status FakeNotes::BackupEnd(notes::Handle db, uint32_t context, uint32_t flags) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::BackupEnd)) return status;
  Database* database = ByContext(db, context);
  if (!database) return kFakeBadState;
  database->inBackup = false;
  database->backupStopped = false;
  database->changeInfo.clear();
  database->endFlags.push_back(flags);
  return 0;
}

notes::Status FakeNotes::GetChangeInfoSize(notes::Handle db, uint32_t context, uint32_t& low,
                                           uint32_t& high) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::GetChangeInfoSize)) return status;
  Database* database = ByContext(db, context);
  if (!database || !database->backupStopped) return kFakeBadState;
  uint64_t size = database->changeInfo.size();
  low = static_cast<uint32_t>(size);
  high = static_cast<uint32_t>(size >> 32);
  return 0;
}

notes::Status FakeNotes::ReadChangeInfo(notes::Handle db, uint32_t context, char* buffer,
                                        uint32_t size, uint32_t& filled) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::ReadChangeInfo)) return status;
  Database* database = ByContext(db, context);
  if (!database || !database->backupStopped) return kFakeBadState;
  size_t remaining = database->changeInfo.size() - database->changeInfoRead;
  filled = static_cast<uint32_t>(std::min<size_t>(remaining, size));
  std::copy_n(database->changeInfo.data() + database->changeInfoRead, filled, buffer);
  database->changeInfoRead += filled;
  return 0;
}

notes::Status FakeNotes::ApplyChangeInfoStart(const std::string& dbPath, uint32_t sizeLow,
                                              uint32_t sizeHigh, uint32_t& applyContext) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::ApplyChangeInfoStart)) return status;
  applied_.push_back(AppliedChangeInfo{dbPath, sizeLow, sizeHigh, "", false});
  applyContext = nextContext_++;
  applyContexts_[applyContext] = applied_.size() - 1;
  return 0;
}

notes::Status FakeNotes::ApplyChangeInfo(uint32_t applyContext, const char* data, uint32_t size) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::ApplyChangeInfo)) return status;
  auto found = applyContexts_.find(applyContext);
  if (found == applyContexts_.end()) return kFakeBadState;
  applied_[found->second].bytes.append(data, size);
  return 0;
}

notes::Status FakeNotes::ApplyChangeInfoEnd(uint32_t applyContext) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::ApplyChangeInfoEnd)) return status;
  auto found = applyContexts_.find(applyContext);
  if (found == applyContexts_.end()) return kFakeBadState;
  AppliedChangeInfo& record = applied_[found->second];
  record.ended = true;
  if (Database* database = FindDatabase(record.dbPath)) database->documents += record.bytes;
  applyContexts_.erase(found);
  return 0;
}

// ---- transaction logs -------------------------------------------------------------

notes::Status FakeNotes::ArchiveBegin() {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::ArchiveBegin)) return status;
  archiveOpen_ = true;
  archiveCursor_ = 0;
  return 0;
}

notes::Status FakeNotes::ArchiveFirst(notes::LogExtent& extent) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::ArchiveFirst)) return status;
  archiveCursor_ = 0;
  return NextReadyExtent(extent);
}

notes::Status FakeNotes::ArchiveNext(notes::LogExtent& extent) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::ArchiveNext)) return status;
  return NextReadyExtent(extent);
}

notes::Status FakeNotes::MarkArchived(const notes::LogId& logId, uint32_t number) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::MarkArchived)) return status;
  return MarkOne(logId, number);
}

notes::Status FakeNotes::MarkArchivedBatch(const notes::LogId& logId, const std::vector<uint32_t>& numbers) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::MarkArchivedBatch)) return status;
  batches_.push_back(numbers);
  notes::Status first = 0;
  for (uint32_t number : numbers) {
    notes::Status status = MarkOne(logId, number);
    if (first == 0) first = status;
  }
  return first;
}

void FakeNotes::MarkExtentDamaged(const std::string& path) {
  std::lock_guard lock(mutex_);
  damaged_.insert(Key(path));
}

notes::Status FakeNotes::VerifyLogExtent(const std::string& path, uint32_t /*number*/) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::VerifyLogExtent)) return status;
  verified_.push_back(path);
  if (!platform::IsFile(path)) return kFakeNotFound;
  if (platform::FileSize(path) <= 0 || damaged_.count(Key(path)) != 0) return kFakeDamagedExtent;
  return 0;
}

notes::Status FakeNotes::MarkOne(const notes::LogId& logId, uint32_t number) {
  for (Extent& extent : extents_) {
    if (extent.number == number && extent.logId == logId && extent.ready) {
      extent.archived = true;
      return 0;
    }
  }
  return kFakeNotFound;
}

notes::Status FakeNotes::ArchiveEnd() {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::ArchiveEnd)) return status;
  archiveOpen_ = false;
  return 0;
}

notes::Status FakeNotes::RecoverUntil(std::string_view nameBuffer, const notes::ArchivedLogCallback& callback,
                                      uint32_t flags, uint64_t untilTime, uint32_t& failingIndex) {
  {
    std::lock_guard lock(mutex_);
    nextUntil_ = untilTime;
  }
  return Recover(nameBuffer, callback, flags, failingIndex);
}

notes::Status FakeNotes::LastLogRecordTime(uint64_t& fileTime) {
  std::lock_guard lock(mutex_);
  fileTime = lastRecordTime_;
  return lastRecordStatus_;
}

notes::Status FakeNotes::Recover(std::string_view nameBuffer, const notes::ArchivedLogCallback& callback,
                                 uint32_t flags, uint32_t& failingIndex) {
  RecoverStep step;
  size_t callIndex = 0;
  {
    std::lock_guard lock(mutex_);
    if (notes::Status status = Enter(NotesMethod::Recover)) return status;
    RecoverCall call;
    call.flags = flags;
    call.untilTime = std::exchange(nextUntil_, std::nullopt);
    size_t start = 0;
    while (start < nameBuffer.size() && nameBuffer[start] != '\0') {
      size_t end = nameBuffer.find('\0', start);
      if (end == std::string_view::npos) end = nameBuffer.size();
      call.databases.emplace_back(nameBuffer.substr(start, end - start));
      start = end + 1;
    }
    recoverCalls_.push_back(call);
    callIndex = recoverCalls_.size() - 1;
    if (recoverNext_ < recoverScript_.size()) step = recoverScript_[recoverNext_++];
  }
  // The callback runs without the lock: it may call back into this API.
  std::vector<notes::Status> results;
  for (const CallbackRequest& request : step.callbacks)
    results.push_back(callback ? callback(request.firstExtent, request.requestedPath) : 0xFFFF);
  if (!step.printed.empty()) {
    std::fwrite(step.printed.data(), 1, step.printed.size(), stdout);
    std::fflush(stdout);
  }
  std::lock_guard lock(mutex_);
  recoverCalls_[callIndex].callbackResults = results;
  failingIndex = step.failingIndex;
  return step.status;
}

// ---- notes and views ----------------------------------------------------------------

notes::NoteId FakeNotes::AddNote(const std::string& dbPath, const std::map<std::string, std::string>& items) {
  std::lock_guard lock(mutex_);
  NoteStore& store = noteStores_[Key(dbPath)];
  notes::NoteId id = store.nextId;
  store.nextId += 4;
  Note& note = store.notes[id];
  for (const auto& [name, value] : items) note.items[Key(name)] = value;
  return id;
}

void FakeNotes::AddView(const std::string& dbPath, const std::string& viewName, const std::string& keyItem) {
  std::lock_guard lock(mutex_);
  NoteStore& store = noteStores_[Key(dbPath)];
  notes::NoteId id = store.nextId;
  store.nextId += 4;
  Note& view = store.notes[id];
  view.isView = true;
  view.viewName = viewName;
  view.viewKeyItem = Key(keyItem);
}

std::optional<std::string> FakeNotes::NoteItem(const std::string& dbPath, notes::NoteId id,
                                               const std::string& item) const {
  std::lock_guard lock(mutex_);
  auto store = noteStores_.find(Key(dbPath));
  if (store == noteStores_.end()) return std::nullopt;
  auto note = store->second.notes.find(id);
  if (note == store->second.notes.end()) return std::nullopt;
  auto value = note->second.items.find(Key(item));
  if (value == note->second.items.end()) return std::nullopt;
  return value->second;
}

notes::Status FakeNotes::FindDesignNote(notes::Handle db, const std::string& name, notes::NoteId& id) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::FindDesignNote)) return status;
  std::string key;
  if (!ByHandle(db, &key)) return kFakeBadState;
  for (const auto& [noteId, note] : noteStores_[key].notes) {
    if (note.isView && platform::EqualsNoCase(note.viewName, name)) {
      id = noteId;
      return 0;
    }
  }
  return kFakeNotFound;
}

notes::Status FakeNotes::OpenCollection(notes::Handle db, notes::NoteId view, notes::Handle& collection) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::OpenCollection)) return status;
  std::string key;
  if (!ByHandle(db, &key)) return kFakeBadState;
  NoteStore& store = noteStores_[key];
  auto viewNote = store.notes.find(view);
  if (viewNote == store.notes.end() || !viewNote->second.isView) return kFakeNotFound;
  const std::string& keyItem = viewNote->second.viewKeyItem;
  CollectionState state{key, keyItem, {}};
  for (const auto& [noteId, note] : store.notes)
    if (!note.isView && note.items.count(keyItem)) state.entries.push_back(noteId);
  std::stable_sort(state.entries.begin(), state.entries.end(), [&](notes::NoteId a, notes::NoteId b) {
    return platform::ToUpper(store.notes[a].items[keyItem]) < platform::ToUpper(store.notes[b].items[keyItem]);
  });
  collection = NewHandle();
  collections_[collection] = state;
  return 0;
}

notes::Status FakeNotes::FindByName(notes::Handle collection, const std::string& key, uint32_t& position,
                                    uint32_t& matches) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::FindByName)) return status;
  auto found = collections_.find(collection);
  if (found == collections_.end()) return kFakeBadState;
  const std::string& keyItem = found->second.keyItem;
  NoteStore& store = noteStores_[found->second.dbKey];
  position = 0;
  matches = 0;
  for (size_t i = 0; i < found->second.entries.size(); ++i) {
    if (!platform::EqualsNoCase(store.notes[found->second.entries[i]].items[keyItem], key)) continue;
    if (matches++ == 0) position = static_cast<uint32_t>(i + 1);
  }
  return matches ? 0 : kFakeNotFound;
}

notes::Status FakeNotes::ReadEntries(notes::Handle collection, uint32_t position, uint32_t count,
                                     std::vector<notes::NoteId>& ids) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::ReadEntries)) return status;
  auto found = collections_.find(collection);
  if (found == collections_.end() || position == 0) return kFakeBadState;
  ids.clear();
  const std::vector<notes::NoteId>& entries = found->second.entries;
  for (size_t i = position - 1; i < entries.size() && ids.size() < count; ++i) ids.push_back(entries[i]);
  return 0;
}

notes::Status FakeNotes::CloseCollection(notes::Handle collection) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::CloseCollection)) return status;
  return collections_.erase(collection) ? 0 : kFakeBadState;
}

notes::Status FakeNotes::CreateNote(notes::Handle db, notes::Handle& note) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::CreateNote)) return status;
  std::string key;
  if (!ByHandle(db, &key)) return kFakeBadState;
  note = NewHandle();
  openNotes_[note] = OpenNoteState{key, 0, Note{}};
  return 0;
}

notes::Status FakeNotes::OpenNote(notes::Handle db, notes::NoteId id, notes::Handle& note) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::OpenNote)) return status;
  std::string key;
  if (!ByHandle(db, &key)) return kFakeBadState;
  auto stored = noteStores_[key].notes.find(id);
  if (stored == noteStores_[key].notes.end()) return kFakeNotFound;
  note = NewHandle();
  openNotes_[note] = OpenNoteState{key, id, stored->second};
  return 0;
}

notes::Status FakeNotes::GetTextItem(notes::Handle note, const std::string& item, std::string& value) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::GetTextItem)) return status;
  auto found = openNotes_.find(note);
  if (found == openNotes_.end()) return kFakeBadState;
  auto text = found->second.note.items.find(Key(item));
  value = text == found->second.note.items.end() ? "" : text->second;
  return 0;
}

notes::Status FakeNotes::SetTextItem(notes::Handle note, const std::string& item, const std::string& value) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::SetTextItem)) return status;
  auto found = openNotes_.find(note);
  if (found == openNotes_.end()) return kFakeBadState;
  found->second.note.items[Key(item)] = value;
  return 0;
}

notes::Status FakeNotes::UpdateNote(notes::Handle note) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::UpdateNote)) return status;
  auto found = openNotes_.find(note);
  if (found == openNotes_.end()) return kFakeBadState;
  OpenNoteState& state = found->second;
  NoteStore& store = noteStores_[state.dbKey];
  if (state.id == 0) {
    state.id = store.nextId;
    store.nextId += 4;
  }
  store.notes[state.id] = state.note;
  // An update is a document write: it reaches the journal and, in backup
  // mode, the change information.
  auto path = realPaths_.find(state.dbKey);
  if (path != realPaths_.end()) WriteDocument(path->second, "note " + std::to_string(state.id) + "\n");
  return 0;
}

notes::Status FakeNotes::CloseNote(notes::Handle note) {
  std::lock_guard lock(mutex_);
  if (notes::Status status = Enter(NotesMethod::CloseNote)) return status;
  return openNotes_.erase(note) ? 0 : kFakeBadState;
}

}  // namespace omb::test
