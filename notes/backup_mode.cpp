// Backup mode and change information: the journal that records every
// change made while a database is in backup mode, its streaming, and its
// application to a restored database.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "notes/backup_journal.h"
#include "notes/runtime.h"
#include "notes/status.h"
#include "platform/posix_io.h"

namespace omb::notes {

namespace fs = std::filesystem;

namespace {

uint32_t RandomContext() {
  static std::mt19937 generator{std::random_device{}()};
  uint32_t value = 0;
  while (value == 0) value = static_cast<uint32_t>(generator());
  return value;
}

}  // namespace

Status Runtime::BackupStart(Handle db, uint32_t& context, uint32_t& sizeLow, uint32_t& sizeHigh) {
  std::lock_guard guard(mutex_);
  OpenDatabase* open = nullptr;
  std::unique_ptr<FileLock> lock;
  Database current;
  if (const Status status = LoadDbLocked(db, open, lock, current)) return status;
  // The file holds every log record of this database written so far, so
  // its roll-forward point moves up to the log's end: a restore of this
  // file needs no extent older than the current one.
  if (LogsFor(current)) {
    uint64_t lastLsn = 0;
    if (const Status status = Log().LastLsn(lastLsn)) return status;
    if (lastLsn > current.header.lastLsn) {
      current.header.lastLsn = lastLsn;
      // Only the roll-forward point moves; a crash that loses this write
      // leaves the previous file, and the next backup moves it again.
      if (const Status status = SaveDatabaseHeader(open->host, current)) return status;
    }
  }
  context = RandomContext();
  if (const Status status = BackupJournal(open->host).Start(context)) return status;
  changeReadOffsets_[context] = 0;
  FileStamp stamp;
  const uint64_t size = StampOf(open->host, stamp) ? static_cast<uint64_t>(stamp.size) : 0;
  sizeLow = static_cast<uint32_t>(size);
  sizeHigh = static_cast<uint32_t>(size >> 32);
  return kNoError;
}

Status Runtime::CheckBackup(OpenDatabase& open, uint32_t context) {
  BackupState state;
  if (const Status status = BackupJournal(open.host).Read(state)) return status;
  return state.context == context ? kNoError : kErrBadBackupContext;
}

Status Runtime::BackupStop(Handle db, uint32_t context) {
  std::lock_guard guard(mutex_);
  // Under the database lock, so no writer is half-way through recording.
  OpenDatabase* open = nullptr;
  std::unique_ptr<FileLock> lock;
  if (const Status status = FindDbLocked(db, open, lock)) return status;
  return BackupJournal(open->host).Stop(context);
}

Status Runtime::BackupEnd(Handle db, uint32_t context, uint32_t /*flags*/) {
  std::lock_guard guard(mutex_);
  OpenDatabase* open = nullptr;
  std::unique_ptr<FileLock> lock;
  if (const Status status = FindDbLocked(db, open, lock)) return status;
  // A normal end and an abort both drop the journal; only a normal end
  // follows a complete read of the change information.
  changeReadOffsets_.erase(context);
  return BackupJournal(open->host).End(context);
}

Status Runtime::GetChangeInfoSize(Handle db, uint32_t context, uint32_t& low, uint32_t& high) {
  std::lock_guard guard(mutex_);
  OpenDatabase* open = FindDb(db);
  if (!open) return kErrBadHandle;
  if (const Status status = CheckBackup(*open, context)) return status;
  FileStamp stamp;
  const BackupJournal journal(open->host);
  if (!StampOf(journal.journalPath(), stamp)) return kErrFileRead;
  low = static_cast<uint32_t>(static_cast<uint64_t>(stamp.size));
  high = static_cast<uint32_t>(static_cast<uint64_t>(stamp.size) >> 32);
  return kNoError;
}

Status Runtime::ReadChangeInfo(Handle db, uint32_t context, char* buffer, uint32_t size,
                               uint32_t& filled) {
  std::lock_guard guard(mutex_);
  filled = 0;
  OpenDatabase* open = FindDb(db);
  if (!open) return kErrBadHandle;
  if (const Status status = CheckBackup(*open, context)) return status;
  uint64_t& offset = changeReadOffsets_[context];
  const BackupJournal journal(open->host);
  const int fd = platform::OpenFile(journal.journalPath(), O_RDONLY);
  if (fd < 0) return kErrFileRead;
  ssize_t got = -1;
  do {
    got = ::pread(fd, buffer, size, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  if (got < 0) return kErrFileRead;
  filled = static_cast<uint32_t>(got);
  offset += filled;
  return kNoError;
}

Status Runtime::ApplyChangeInfoStart(const std::string& dbPath, uint32_t sizeLow, uint32_t sizeHigh,
                                     uint32_t& applyContext) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  ApplySession session;
  session.host = CanonicalHost(ResolvePath(dbPath));
  if (const Status status = LoadDatabase(session.host, session.db)) return status;
  session.expected = (uint64_t{sizeHigh} << 32) | sizeLow;
  applyContext = RandomContext();
  applies_[applyContext] = std::move(session);
  return kNoError;
}

Status Runtime::ApplyChangeInfo(uint32_t applyContext, const char* data, uint32_t size) {
  std::lock_guard guard(mutex_);
  auto found = applies_.find(applyContext);
  if (found == applies_.end()) return kErrBadHandle;
  ApplySession& session = found->second;
  if (session.failure != kNoError) return session.failure;
  session.received += size;
  if (session.received > session.expected) return session.failure = kErrChangeInfoDamaged;
  if (size > 0) session.pending.append(data, size);
  size_t offset = 0;
  ChangeRecord record;
  size_t consumed = 0;
  for (;;) {
    const FrameResult result =
        ParseFrame(std::string_view(session.pending).substr(offset), record, consumed);
    if (result == FrameResult::NeedMore) break;
    if (result == FrameResult::Corrupt) return session.failure = kErrChangeInfoDamaged;
    if (record.instanceId != session.db.header.instanceId) {
      return session.failure = kErrChangeInfoForeign;
    }
    // Changes the restored file already holds are not applied again.
    if (record.seq > session.db.header.lastSeq) ApplyChange(session.db, record);
    offset += consumed;
  }
  session.pending.erase(0, offset);
  return kNoError;
}

Status Runtime::ApplyChangeInfoEnd(uint32_t applyContext) {
  std::lock_guard guard(mutex_);
  auto found = applies_.find(applyContext);
  if (found == applies_.end()) return kErrBadHandle;
  ApplySession session = std::move(found->second);
  applies_.erase(found);
  if (session.failure != kNoError) return session.failure;
  if (!session.pending.empty() || session.received != session.expected) return kErrChangeInfoDamaged;
  auto lock = LockRuntime("db-" + PathKey(session.host));
  if (!lock) return kErrFileWrite;
  return SaveDatabase(session.host, session.db);
}

}  // namespace omb::notes
