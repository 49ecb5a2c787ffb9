#include "notes/runtime.h"

#include <algorithm>
#include <random>

#include "notes/backup_journal.h"
#include "notes/status.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/paths.h"

namespace omb::notes {

namespace fs = std::filesystem;

namespace {

bool HasDrive(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':') || path.rfind("\\\\", 0) == 0;
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string IniText(const std::string& ini, const char* key) {
  return platform::ReadIniValue(ini, "Notes", key).value_or("");
}

uint64_t ParseExtentSize(const std::string& text) {
  constexpr uint64_t kMin = 4096, kMax = 1ull << 30;
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12) {
    return kDefaultExtentSize;
  }
  return std::clamp<uint64_t>(std::stoull(text), kMin, kMax);
}

LogId RandomInstanceId() {
  std::random_device device;
  LogId id{};
  for (auto& byte : id) byte = static_cast<uint8_t>(device());
  return id;
}

}  // namespace

// ---- runtime ------------------------------------------------------------------

Status Runtime::InitRuntime(const std::vector<std::string>& args) {
  std::lock_guard guard(mutex_);
  std::string ini = kDefaultNotesIni;
  for (const std::string& arg : args) {
    if (arg.size() > 1 && arg[0] == '=') ini = arg.substr(1);
  }
  if (!platform::IsFile(ini)) return kErrNoNotesIni;
  RuntimeConfig config;
  config.notesIni = ini;
  config.serverName = IniText(ini, "ServerName");
  if (config.serverName.empty()) return kErrNoServerName;
  const std::string directory = IniText(ini, "Directory");
  config.dataDir = WithoutTrailingSlash(directory.empty() ? FolderOf(ini) : directory);
  config.loggingOn = IniText(ini, "TRANSLOG_Status") == "1";
  config.logStyle = IniText(ini, "TRANSLOG_Style") == "1" ? kLogStyleArchive : kLogStyleCircular;
  const std::string logPath = IniText(ini, "TRANSLOG_Path");
  if (!logPath.empty()) {
    config.logDir = WithoutTrailingSlash(HasDrive(logPath) ? logPath : config.dataDir + "\\" + logPath);
  } else if (config.loggingOn) {
    config.logDir = config.dataDir + "\\logdir";
  }
  config.extentSize = ParseExtentSize(IniText(ini, "TRANSLOG_ExtentSize"));
  TermRuntime();
  config_ = config;
  return kNoError;
}

void Runtime::TermRuntime() {
  std::lock_guard guard(mutex_);
  config_.reset();
  dbs_.clear();
  notes_.clear();
  collections_.clear();
  applies_.clear();
  changeReadOffsets_.clear();
  archiving_ = false;
  extentList_.clear();
  extentPos_ = 0;
  BackupJournal::DropEndedJournals();
  heldOpen_.clear();
}

RuntimeConfig Runtime::Config() const {
  std::lock_guard guard(mutex_);
  return config_.value_or(RuntimeConfig{});
}

Status Runtime::Ready() const { return config_ ? kNoError : kErrNotInitialized; }

Status Runtime::GetServerName(std::string& canonical) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  canonical = config_->serverName;
  return kNoError;
}

Status Runtime::AbbreviateName(const std::string& canonical, std::string& abbreviated) {
  abbreviated.clear();
  size_t start = 0;
  while (start <= canonical.size()) {
    size_t end = canonical.find('/', start);
    if (end == std::string::npos) end = canonical.size();
    std::string part = canonical.substr(start, end - start);
    const size_t equals = part.find('=');
    if (equals != std::string::npos) part = part.substr(equals + 1);
    if (start > 0) abbreviated += '/';
    abbreviated += part;
    start = end + 1;
  }
  return kNoError;
}

Status Runtime::GetLogStyle(int& style) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  if (!config_->loggingOn) return kLoggingDisabled;
  style = config_->logStyle;
  return kNoError;
}

std::string Runtime::StatusText(Status status) { return RuntimeStatusText(status); }

Status Runtime::TranslatePath(int mode, const std::string& in, std::string& out) {
  if (mode != 1) return kErrBadArgument;
  out = in;  // this system's file names are narrow text already
  return kNoError;
}

// ---- databases ------------------------------------------------------------------

std::string Runtime::ResolvePath(const std::string& path) const {
  return HasDrive(path) ? path : config_->dataDir + "\\" + path;
}

bool Runtime::LogsFor(const Database& db) const {
  return db.header.logged && config_->loggingOn && !config_->logDir.empty();
}

TransactionLog Runtime::Log() const {
  return TransactionLog({config_->logDir, config_->logStyle, config_->extentSize});
}

Runtime::OpenDatabase* Runtime::FindDb(Handle db) {
  auto found = dbs_.find(db);
  return found == dbs_.end() ? nullptr : &found->second;
}

Status Runtime::FindFreshDb(Handle db, OpenDatabase*& open) {
  open = FindDb(db);
  if (!open) return kErrBadHandle;
  return Refresh(*open);
}

Status Runtime::FindDbLocked(Handle db, OpenDatabase*& open, std::unique_ptr<FileLock>& lock) {
  open = FindDb(db);
  if (!open) return kErrBadHandle;
  lock = LockRuntime("db-" + PathKey(open->host));
  return lock ? kNoError : kErrFileWrite;
}

Status Runtime::LoadDbLocked(Handle db, OpenDatabase*& open, std::unique_ptr<FileLock>& lock,
                             Database& current) {
  if (const Status status = FindDbLocked(db, open, lock)) return status;
  return LoadDatabase(open->host, current);
}

Status Runtime::Refresh(OpenDatabase& open) {
  FileStamp stamp;
  if (!StampOf(open.host, stamp)) return kErrFileNotFound;
  if (stamp == open.stamp) return kNoError;
  Database fresh;
  const Status status = LoadDatabase(open.host, fresh);
  if (status != kNoError) return status;
  open.db = std::move(fresh);
  open.stamp = stamp;
  return kNoError;
}

Status Runtime::OpenDb(const std::string& path, Handle& db) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  OpenDatabase open;
  open.path = ResolvePath(path);
  open.host = CanonicalHost(open.path);
  if (const Status status = Refresh(open)) return status;
  db = nextHandle_++;
  dbs_[db] = std::move(open);
  return kNoError;
}

Status Runtime::CloseDb(Handle db) {
  std::lock_guard guard(mutex_);
  return dbs_.erase(db) ? kNoError : kErrBadHandle;
}

Status Runtime::GetDbLogInfo(Handle db, DbLogInfo& info) {
  std::lock_guard guard(mutex_);
  OpenDatabase* open = nullptr;
  if (const Status status = FindFreshDb(db, open)) return status;
  info = DbLogInfo{};
  info.instanceId = open->db.header.instanceId;
  if (!LogsFor(open->db)) return kNoError;
  LogControl control;
  if (const Status status = Log().Load(control)) return status;
  info.logged = true;
  info.logId = control.logId;
  info.logExtent = control.current;
  return kNoError;
}

Status Runtime::ReadDbInfoBlock(Handle db, std::array<char, 128>& block) {
  std::lock_guard guard(mutex_);
  OpenDatabase* open = nullptr;
  if (const Status status = FindFreshDb(db, open)) return status;
  block = open->db.header.infoBlock;
  return kNoError;
}

Status Runtime::WriteDbInfoBlock(Handle db, const std::array<char, 128>& block) {
  std::lock_guard guard(mutex_);
  OpenDatabase* open = nullptr;
  std::unique_ptr<FileLock> lock;
  Database current;
  if (const Status status = LoadDbLocked(db, open, lock, current)) return status;
  current.header.infoBlock = block;
  return SaveDatabase(open->host, current);
}

// ---- writing changes ----------------------------------------------------------

void Runtime::SetClock(platform::Clock* clock) {
  std::lock_guard guard(mutex_);
  clock_ = clock;
}

uint64_t Runtime::Now() const { return (clock_ ? *clock_ : platform::SystemClock()).NowFileTime(); }

Status Runtime::CommitLocked(const fs::path& host, Database& db, std::vector<ChangeRecord>& changes) {
  NoteId nextId = db.header.nextNoteId;
  uint64_t seq = db.header.lastSeq;
  const uint64_t now = Now();
  for (ChangeRecord& change : changes) {
    change.instanceId = db.header.instanceId;
    change.seq = ++seq;
    change.lsn = 0;
    change.time = now;
    if (change.note.id == 0) change.note.id = nextId++;
    nextId = std::max(nextId, change.note.id + 1);
  }
  // The log first, then the backup journal, then the database itself: a
  // change that reached the database is always in both.
  if (LogsFor(db)) {
    if (const Status status = Log().Append(changes)) return status;
  }
  std::string frames;
  for (const ChangeRecord& change : changes) AppendFrame(change, frames);
  if (const Status status = BackupJournal(host).Record(frames)) return status;
  for (const ChangeRecord& change : changes) ApplyChange(db, change);
  return SaveDatabase(host, db);
}

Status Runtime::Commit(const fs::path& host, std::vector<ChangeRecord>& changes,
                       bool createWhenMissing) {
  auto lock = LockRuntime("db-" + PathKey(host));
  if (!lock) return kErrFileWrite;
  Database db;
  Status status = LoadDatabase(host, db);
  if (status == kErrFileNotFound && createWhenMissing) {
    std::error_code ignored;
    fs::create_directories(host.parent_path(), ignored);
    status = NewDatabase(config_->loggingOn, host.stem().string(), db);
  }
  return status != kNoError ? status : CommitLocked(host, db, changes);
}

Status Runtime::NewDatabase(bool logged, const std::string& title, Database& db) {
  db = Database{};
  db.header.instanceId = RandomInstanceId();
  db.header.logged = logged;
  std::copy_n(title.begin(), std::min(title.size(), db.header.infoBlock.size() - 1),
              db.header.infoBlock.begin());
  // A new database needs none of the log written before it.
  if (LogsFor(db)) return Log().LastLsn(db.header.lastLsn);
  return kNoError;
}

void Runtime::AddNotes(Database& db, std::vector<Note> notes) {
  for (Note& note : notes) {
    if (note.id == 0) note.id = db.header.nextNoteId;
    db.header.nextNoteId = std::max(db.header.nextNoteId, note.id + 1);
    db.notes[note.id] = std::move(note);
  }
}

Status Runtime::CreateDatabase(const std::string& path, bool logged, const std::string& title,
                               std::vector<Note> notes) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  const fs::path host = CanonicalHost(ResolvePath(path));
  auto lock = LockRuntime("db-" + PathKey(host));
  if (!lock) return kErrFileWrite;
  std::error_code ignored;
  if (fs::exists(host, ignored)) return kErrFileWrite;
  fs::create_directories(host.parent_path(), ignored);
  Database db;
  if (const Status status = NewDatabase(logged, title, db)) return status;
  AddNotes(db, std::move(notes));
  return SaveDatabase(host, db);
}

Status Runtime::CreateDatabases(std::vector<DatabaseSpec> specs) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  std::vector<Database> databases(specs.size());
  std::vector<std::pair<fs::path, const Database*>> files;
  for (size_t i = 0; i < specs.size(); ++i) {
    const fs::path host = CanonicalHost(ResolvePath(specs[i].path));
    std::error_code ignored;
    if (fs::exists(host, ignored)) return kErrFileWrite;
    fs::create_directories(host.parent_path(), ignored);
    if (const Status status = NewDatabase(specs[i].logged, specs[i].title, databases[i])) return status;
    AddNotes(databases[i], std::move(specs[i].notes));
    files.emplace_back(host, &databases[i]);
  }
  return SaveDatabases(files);
}

Status Runtime::AddDocuments(const std::string& path, std::vector<Note> documents,
                             std::vector<NoteId>* ids) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  std::vector<ChangeRecord> changes(documents.size());
  for (size_t i = 0; i < documents.size(); ++i) changes[i].note = std::move(documents[i]);
  const Status status = Commit(CanonicalHost(ResolvePath(path)), changes, true);
  if (status == kNoError && ids) {
    for (const ChangeRecord& change : changes) ids->push_back(change.note.id);
  }
  return status;
}

Status Runtime::DeleteDocument(const std::string& path, NoteId id) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  std::vector<ChangeRecord> changes(1);
  changes[0].kind = ChangeKind::DeleteNote;
  changes[0].note.id = id;
  return Commit(CanonicalHost(ResolvePath(path)), changes, false);
}

Status Runtime::CompactDatabase(const std::string& path, LogId* newInstanceId) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  const fs::path host = CanonicalHost(ResolvePath(path));
  auto lock = LockRuntime("db-" + PathKey(host));
  if (!lock) return kErrFileWrite;
  Database db;
  if (const Status status = LoadDatabase(host, db)) return status;
  // A backup holds the file as it was when backup mode began; a rewrite
  // under another identity would leave its change information foreign.
  BackupState state;
  if (BackupJournal(host).Read(state) == kNoError) return kErrDbInBackup;
  const LogId previous = db.header.instanceId;
  while (db.header.instanceId == previous) db.header.instanceId = RandomInstanceId();
  // Every log record so far belongs to the old identity: the copy needs none.
  if (LogsFor(db)) {
    if (const Status status = Log().LastLsn(db.header.lastLsn)) return status;
  }
  if (const Status status = SaveDatabase(host, db)) return status;
  if (newInstanceId) *newInstanceId = db.header.instanceId;
  return kNoError;
}

Status Runtime::Summarize(const std::string& path, DbSummary& summary) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  Database db;
  if (const Status status = LoadDatabase(CanonicalHost(ResolvePath(path)), db)) return status;
  summary = SummarizeDatabase(db);
  return kNoError;
}

}  // namespace omb::notes
