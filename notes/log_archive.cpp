// Log archiving and the enumeration of log extents (see notes.h).
#include <algorithm>

#include "notes/runtime.h"
#include "notes/status.h"

namespace omb::notes {

namespace fs = std::filesystem;

Status Runtime::ArchiveBegin() {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  if (!config_->loggingOn) return kLoggingDisabled;
  archiving_ = true;
  extentList_.clear();
  extentPos_ = 0;
  return kNoError;
}

Status Runtime::ArchiveEnd() {
  std::lock_guard guard(mutex_);
  archiving_ = false;
  extentList_.clear();
  extentPos_ = 0;
  return kNoError;
}

Status Runtime::ArchiveFirst(LogExtent& extent) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  if (!config_->loggingOn || config_->logDir.empty()) return kLoggingDisabled;
  TransactionLog log = Log();
  LogControl control;
  if (const Status status = log.Load(control)) return status;
  std::vector<ExtentEntry> chosen;
  for (const ExtentEntry& entry : control.extents) {
    std::error_code ignored;
    const bool wanted = archiving_ ? entry.state == ExtentState::Ready
                                   : fs::exists(log.ExtentHostPath(entry.number), ignored);
    if (wanted) chosen.push_back(entry);
  }
  // Oldest first: in LSN order, so the live extent comes last.
  std::sort(chosen.begin(), chosen.end(),
            [](const ExtentEntry& a, const ExtentEntry& b) { return a.firstLsn < b.firstLsn; });
  extentList_.clear();
  for (const ExtentEntry& entry : chosen) {
    extentList_.push_back({control.logId, entry.number, log.ExtentWindowsPath(entry.number)});
  }
  extentPos_ = 0;
  return NextExtent(extent);
}

Status Runtime::ArchiveNext(LogExtent& extent) {
  std::lock_guard guard(mutex_);
  return NextExtent(extent);
}

Status Runtime::NextExtent(LogExtent& extent) {
  if (extentPos_ >= extentList_.size()) return kNoMoreExtents;
  extent = extentList_[extentPos_++];
  return kNoError;
}

Status Runtime::MarkArchived(const LogId& logId, uint32_t number) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  if (!config_->loggingOn || config_->logDir.empty()) return kLoggingDisabled;
  return Log().MarkArchived(logId, std::vector<uint32_t>{number});
}

Status Runtime::MarkArchivedBatch(const LogId& logId, const std::vector<uint32_t>& numbers) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  if (!config_->loggingOn || config_->logDir.empty()) return kLoggingDisabled;
  if (numbers.empty()) return kNoError;
  return Log().MarkArchived(logId, numbers);
}

Status Runtime::VerifyLogExtent(const std::string& path, uint32_t number) {
  std::lock_guard guard(mutex_);
  if (Status s = Ready()) return s;
  if (!config_->loggingOn || config_->logDir.empty()) return kLoggingDisabled;
  TransactionLog log = Log();
  LogControl control;
  if (const Status status = log.Load(control)) return status;
  const ExtentEntry* entry = control.Find(number);
  if (entry == nullptr) return kErrNoSuchExtent;
  return log.VerifyExtentFile(CanonicalHost(ResolvePath(path)), *entry, control.logId);
}

}  // namespace omb::notes
