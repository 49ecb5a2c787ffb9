#pragma once
// The Lotus Notes runtime, one method per role that the engines call. The
// ordinal of the real entry point is given with each method. Statuses are
// 16-bit; 0 is success. Paths are Windows paths.
//
// The default implementation (notes/runtime.h) is this program's own
// runtime over its own file formats; tests hand fakes to the runs.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace omb::notes {

using Status = uint16_t;
using Handle = uint32_t;
using NoteId = uint32_t;

constexpr Status kNoError = 0;
constexpr Status kNoMoreExtents = 5086;     // log-extent enumeration/archiving: nothing more
constexpr Status kLogFilesNotFound = 5091;  // recovery: an extent could not be had
constexpr Status kDbNotLogged = 5109;       // recovery: the failing database is not logged
constexpr int kLogStyleCircular = 0;
constexpr int kLogStyleArchive = 1;
constexpr Status kLoggingDisabled = 5119;   // logging-style query: logging is off
constexpr Status kDbInUse = 5140;           // the database is held open by a running server
constexpr Status kNotSupported = 5141;      // this runtime has no such call
constexpr Status kRecoveryTimeUnsupported = 5120;  // this runtime cannot recover to a time
constexpr Status kPastRecoveryTime = 5121;  // recovery: the database holds changes after the time

constexpr uint32_t kBackupEndNormal = 0;
constexpr uint32_t kBackupEndAbort = 1;

using LogId = std::array<uint8_t, 16>;

// Four little-endian 32-bit words of a log identifier combined by XOR,
// printed "%08x": the log series text.
std::string LogSeriesText(const LogId& id);

struct DbLogInfo {
  bool logged = false;
  LogId logId{};
  LogId instanceId{};
  uint32_t logExtent = 0;  // extent in which the database's logging starts
};

struct LogExtent {
  LogId logId{};
  uint32_t number = 0;
  std::string path;  // full path of the extent file
};

// Called by Recover when it needs archived extent `firstExtent` placed in
// the folder of `requestedPath`. Returns 0 when at least one extent was
// supplied, 0xFFFF when none was.
using ArchivedLogCallback =
    std::function<Status(uint32_t firstExtent, const std::string& requestedPath)>;

class NotesApi {
 public:
  virtual ~NotesApi() = default;

  // -- runtime ----------------------------------------------------------
  // 15: args as argv without the program name, e.g. {"=C:\\...\\notes.ini"};
  // empty = the default notes.ini.
  virtual Status InitRuntime(const std::vector<std::string>& args) = 0;
  virtual void TermRuntime() = 0;                              // 13
  virtual Status GetServerName(std::string& canonical) = 0;    // 1562
  // 628: "CN=Mail1/OU=Sales/O=Acme" -> "Mail1/Sales/Acme"
  virtual Status AbbreviateName(const std::string& canonical, std::string& abbreviated) = 0;
  // 5927: style 0 circular, 1 archive; a non-zero status is the style code.
  virtual Status GetLogStyle(int& style) = 0;
  virtual std::string StatusText(Status status) = 0;          // 707 (status & 0x3FFF)
  // 391: translate a path for the file system (mode 1).
  virtual Status TranslatePath(int mode, const std::string& in, std::string& out) = 0;

  // -- databases ----------------------------------------------------------
  // 2005: a path without a drive is taken in the server's data directory
  // ("names.nsf"). A damaged file gives the corrupt-database status.
  virtual Status OpenDb(const std::string& path, Handle& db) = 0;  // 2005
  virtual Status CloseDb(Handle db) = 0;                           // 2001
  virtual Status GetDbLogInfo(Handle db, DbLogInfo& info) = 0;     // 5875
  virtual Status ReadDbInfoBlock(Handle db, std::array<char, 128>& block) = 0;         // 2086
  virtual Status WriteDbInfoBlock(Handle db, const std::array<char, 128>& block) = 0;  // 2087

  // -- backup mode and change information ----------------------------------
  // While a database is in backup mode every change to it, by any process,
  // is recorded. BackupStop freezes that record (the change information),
  // GetChangeInfoSize/ReadChangeInfo stream it, BackupEnd drops it (flag 0
  // after saving it, kBackupEndAbort when it is abandoned).
  // ApplyChangeInfo* take that stream in chunks split anywhere and apply to
  // the restored database each change it does not hold yet; the End call
  // writes the database, and fails when the stream was incomplete.
  virtual Status BackupStart(Handle db, uint32_t& context, uint32_t& sizeLow,
                             uint32_t& sizeHigh) = 0;                          // 5734
  virtual Status BackupStop(Handle db, uint32_t context) = 0;                  // 5735
  virtual Status BackupEnd(Handle db, uint32_t context, uint32_t flags) = 0;   // 5736
  virtual Status GetChangeInfoSize(Handle db, uint32_t context, uint32_t& low,
                                   uint32_t& high) = 0;                        // 5878
  virtual Status ReadChangeInfo(Handle db, uint32_t context, char* buffer, uint32_t size,
                                uint32_t& filled) = 0;                         // 5879
  virtual Status ApplyChangeInfoStart(const std::string& dbPath, uint32_t sizeLow,
                                      uint32_t sizeHigh, uint32_t& applyContext) = 0;  // 5876
  virtual Status ApplyChangeInfo(uint32_t applyContext, const char* data, uint32_t size) = 0;  // 5880
  virtual Status ApplyChangeInfoEnd(uint32_t applyContext) = 0;                // 5877

  // -- transaction logs ---------------------------------------------------
  // The same two calls serve archiving and the enumeration of extents:
  // - between ArchiveBegin and ArchiveEnd, ArchiveFirst/ArchiveNext return
  //   the extents that are ready to archive (full, not yet archived), oldest
  //   first, then kNoMoreExtents. MarkArchived records an extent as archived
  //   and only then removes its file from the log folder.
  // - outside an archive session they return every extent whose file is in
  //   the log folder, oldest first, the current (live) extent last, then
  //   kNoMoreExtents; the restore learns the current series and the last
  //   extent number from this.
  // With logging off these calls answer kLoggingDisabled.
  virtual Status ArchiveBegin() = 0;                                   // 5925
  virtual Status ArchiveFirst(LogExtent& extent) = 0;                  // 5823
  virtual Status ArchiveNext(LogExtent& extent) = 0;                   // 5803
  virtual Status MarkArchived(const LogId& logId, uint32_t number) = 0;  // 5804
  // MarkArchived for several extents with one update of the log's control
  // file: the archiver flushes a batch of copies, then marks them together.
  // Every extent that can be marked is; the first failure is answered.
  virtual Status MarkArchivedBatch(const LogId& logId, const std::vector<uint32_t>& numbers) = 0;
  // Checks, changing nothing, that the file at `path` is a whole, undamaged
  // copy of extent `number` of this server's log: its header, series,
  // extent number and size, and every record's checksum (a torn tail is
  // normal only in the live extent). kNoError, or the status that says what
  // is wrong: the file missing or unreadable, another log's or extent's
  // file, damage.
  virtual Status VerifyLogExtent(const std::string& path, uint32_t number) = 0;
  virtual Status ArchiveEnd() = 0;                                     // 5926
  // 5794: nameBuffer holds database paths each ended by one NUL, followed by
  // one more NUL. failingIndex is 1-based (0 = none). What recovery prints
  // goes to standard output. Each database gets every log record of its
  // instance newer than the last one it holds; an extent missing from the
  // log folder is asked for through the callback, and still missing gives
  // kLogFilesNotFound; a database that is not logged gives kDbNotLogged.
  // Nothing is written unless every database could be recovered.
  virtual Status Recover(std::string_view nameBuffer, const ArchivedLogCallback& callback,
                         uint32_t flags, uint32_t& failingIndex) = 0;
  // Recover, replaying only the log up to the recovery time `untilTime` (a
  // FILETIME, UTC, inclusive): the replay ends at the first record written
  // after it, so every database is brought to the same point of the log. A
  // record of unknown time (written before records carried one) counts as
  // older than any time. Extents after that point are never asked for. A
  // database that already holds a change written after the time cannot be
  // brought back to it: kPastRecoveryTime, with its failingIndex.
  // A runtime without record times answers kRecoveryTimeUnsupported.
  virtual Status RecoverUntil(std::string_view /*nameBuffer*/,
                              const ArchivedLogCallback& /*callback*/, uint32_t /*flags*/,
                              uint64_t /*untilTime*/, uint32_t& failingIndex) {
    failingIndex = 0;
    return kRecoveryTimeUnsupported;
  }
  // The time (FILETIME, UTC) of the newest record of the server's log,
  // found in the log folder: the end of the range a recovery to a time can
  // reach. 0 when the log holds no record with a known time (a new log, or
  // one whose newest extent was archived away before the first record of
  // the live one). kLoggingDisabled with logging off.
  virtual Status LastLogRecordTime(uint64_t& fileTime) {
    fileTime = 0;
    return kRecoveryTimeUnsupported;
  }

  // -- single-database restore ---------------------------------------------
  // These go beyond the Notes calls; a runtime without them answers
  // kNotSupported.
  // Makes `targetDirectory` (which must not exist) a copy of the server's
  // transaction log as it is now: the control file and every extent in the
  // log folder (closed ones linked where the file system allows, the live
  // one copied). A recovery started on that copy (a notes.ini naming it as
  // TRANSLOG_Path) reads the records the live log holds now and never
  // touches the live log, which the running server keeps writing.
  virtual Status CopyLogForRecovery(const std::string& /*targetDirectory*/) { return kNotSupported; }
  // Gives the database a new instance id, written durably: its later
  // changes are logged as its own, never as those of the database it was
  // restored from.
  virtual Status AssignNewInstanceId(const std::string& /*path*/, LogId& /*instanceId*/) {
    return kNotSupported;
  }
  // Whether a running server holds the database open.
  virtual Status IsDatabaseOpen(const std::string& /*path*/, bool& /*open*/) { return kNotSupported; }
  // Puts the database at `restoredPath` in the place of `targetPath` with
  // one rename under the target's lock. kDbInUse, with nothing changed,
  // while a running server holds the target open.
  virtual Status ReplaceDatabase(const std::string& /*restoredPath*/, const std::string& /*targetPath*/) {
    return kNotSupported;
  }

  // -- notes, views and items (names.nsf) -------------------------------------
  virtual Status FindDesignNote(Handle db, const std::string& name, NoteId& id) = 0;
  virtual Status OpenCollection(Handle db, NoteId view, Handle& collection) = 0;
  virtual Status FindByName(Handle collection, const std::string& key, uint32_t& position,
                            uint32_t& matches) = 0;
  virtual Status ReadEntries(Handle collection, uint32_t position, uint32_t count,
                             std::vector<NoteId>& ids) = 0;
  virtual Status CloseCollection(Handle collection) = 0;
  virtual Status CreateNote(Handle db, Handle& note) = 0;
  virtual Status OpenNote(Handle db, NoteId id, Handle& note) = 0;
  virtual Status GetTextItem(Handle note, const std::string& item, std::string& value) = 0;
  virtual Status SetTextItem(Handle note, const std::string& item, const std::string& value) = 0;
  virtual Status UpdateNote(Handle note) = 0;  // writes the note (logged when the db is)
  virtual Status CloseNote(Handle note) = 0;
};

// The text of a status as the engines show it: the error-text call on the
// status masked with 0x3FFF.
inline std::string StatusTextOf(NotesApi& api, Status status) {
  return api.StatusText(static_cast<Status>(status & 0x3FFF));
}

// The built-in runtime of this process, the Notes runtime of the default
// run services; a run that is given another one never reaches this.
NotesApi& Api();

}  // namespace omb::notes
