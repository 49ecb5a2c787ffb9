#pragma once
// The transaction log of one server: a folder of extents "S%07d.TXN" and
// the control file nlogctrl.lfh. The control file holds the 16-byte log
// identifier (the series, random when the log is made), the current extent
// and, for every extent made, its state and LSN range. It is replaced
// atomically and only when an extent fills, so appends cost one write and
// one flush.
//
// Extent file: "OMBTXN01", log identifier, extent number (u32), first LSN
// (u64), then framed change records (database.h). The current extent's end
// is found from its last frame's trailer; a torn tail is cut off.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "notes/database.h"
#include "notes/host_files.h"

namespace omb::notes {

enum class ExtentState : uint8_t { Current = 1, Ready = 2, Archived = 3, Reusable = 4 };

struct ExtentEntry {
  uint32_t number = 0;
  ExtentState state = ExtentState::Current;
  uint64_t firstLsn = 1;
  uint64_t lastLsn = 0;  // set when the extent is closed; firstLsn - 1 while empty
};

struct LogControl {
  LogId logId{};
  uint32_t current = 0;
  std::vector<ExtentEntry> extents;
  const ExtentEntry* Find(uint32_t number) const;
  // The extent whose LSN range holds lsn (the current extent holds every
  // LSN from its first on); nullptr when no known extent does.
  const ExtentEntry* Holding(uint64_t lsn) const;
};

struct LogSettings {
  std::string windowsDir;  // without a trailing backslash
  int style = kLogStyleArchive;
  uint64_t extentSize = 64ull << 20;
};

constexpr uint32_t kCircularRing = 4;
constexpr const char* kControlFileName = "nlogctrl.lfh";

class TransactionLog {
 public:
  explicit TransactionLog(LogSettings settings);
  const LogSettings& settings() const { return settings_; }
  std::string ExtentWindowsPath(uint32_t number) const;
  std::filesystem::path ExtentHostPath(uint32_t number) const;

  // The control state; a log is made (new series, extent 1) when missing.
  Status Load(LogControl& control);
  // Appends the records, giving each the next LSN, and flushes them.
  Status Append(std::vector<ChangeRecord>& records);
  // The LSN of the last record written (0 before the first).
  Status LastLsn(uint64_t& lsn);
  // The time of the newest record in the log folder (0 when none is there
  // or its time is unknown); see NotesApi::LastLogRecordTime.
  Status LastRecordTime(uint64_t& time);
  // Marks ready extents archived with one control-file update, then
  // removes their files; answers the first extent that could not be marked.
  Status MarkArchived(const LogId& logId, const std::vector<uint32_t>& numbers);
  // Calls onRecord for each record of an extent file in the log folder.
  // kErrFileNotFound when the file is not there; kErrLogIdMismatch when it
  // belongs to another log or number; kErrLogDamaged when a closed extent
  // does not hold every record up to its last LSN (a torn tail is only
  // normal in the current extent). Damage inside the current extent, with
  // whole records after it, is no torn tail: the records on both sides are
  // delivered and `lostRecords` (when given) says how many lie between.
  Status ReadExtent(const ExtentEntry& entry, const LogId& logId,
                    const std::function<void(const ChangeRecord&)>& onRecord,
                    uint64_t* lostRecords = nullptr) const;
  // Checks that a file anywhere (an archived copy, say) is a whole,
  // undamaged copy of the extent: its header, log identifier, number and
  // first LSN, its size, and every record's checksum up to the extent's
  // last LSN. The status says what is wrong.
  // Makes `target` (a new folder) a copy of this log for a recovery: the
  // control file and the closed extents' files (hard links where the file
  // system allows) under the log's lock, then the current extent copied.
  Status CopyForRecovery(const std::filesystem::path& target);
  Status VerifyExtentFile(const std::filesystem::path& host, const ExtentEntry& entry,
                          const LogId& logId) const;

 private:
  std::string LockName() const;
  Status LoadLocked(LogControl& control);
  // Takes the log's lock into `lock` and loads the control file under it.
  Status LockAndLoad(std::unique_ptr<FileLock>& lock, LogControl& control);
  Status SaveControl(const LogControl& control) const;
  Status StartExtent(const LogControl& control, uint32_t number, uint64_t firstLsn) const;
  Status OpenCurrent(const LogControl& control, int& fd, uint64_t& lastLsn, uint64_t& end) const;
  Status Roll(LogControl& control, uint64_t nextLsn);

  LogSettings settings_;
  std::filesystem::path hostDir_;
};

}  // namespace omb::notes
