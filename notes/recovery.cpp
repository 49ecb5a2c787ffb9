// Roll-forward of restored databases with the server's transaction log.
// Every database of the list is loaded first; the log is then read extent
// by extent, once, from the oldest extent any of them needs to the live
// one, and each record goes to the database of its instance when it is
// newer than what that database holds. Each changed database is written
// once at the end, so a failure leaves every file as it was. A recovery to
// a time ends the replay at the first record written after that time.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>

#include "notes/runtime.h"
#include "notes/status.h"

namespace omb::notes {

namespace fs = std::filesystem;

struct RecoveryTarget {
  std::string path;
  fs::path host;
  Database db;
  uint64_t startLsn = 0;  // first LSN it needs
  uint64_t applied = 0;
};

struct RecoveryRun {
  std::vector<RecoveryTarget> targets;
  uint64_t untilTime = UINT64_MAX;  // FILETIME; UINT64_MAX = the whole log
  uint64_t stopLsn = UINT64_MAX;    // the first record after untilTime, once met
};

namespace {

std::vector<std::string> SplitNames(std::string_view buffer) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start < buffer.size()) {
    size_t end = buffer.find('\0', start);
    if (end == std::string_view::npos) end = buffer.size();
    if (end == start) break;  // the closing empty name
    names.emplace_back(buffer.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// 1-based index of the first database that needs records at or after lsn
// (each needs everything from its start LSN on).
uint32_t FirstNeeding(const RecoveryRun& run, uint64_t lastLsnOfExtent) {
  for (size_t i = 0; i < run.targets.size(); ++i) {
    if (run.targets[i].startLsn <= lastLsnOfExtent) return static_cast<uint32_t>(i + 1);
  }
  return 1;
}

}  // namespace

Status Runtime::LoadRecoveryTargets(std::string_view nameBuffer, RecoveryRun& run,
                                    uint32_t& failingIndex) {
  const std::vector<std::string> names = SplitNames(nameBuffer);
  for (size_t i = 0; i < names.size(); ++i) {
    RecoveryTarget target;
    target.path = ResolvePath(names[i]);
    target.host = CanonicalHost(target.path);
    Status status = LoadDatabase(target.host, target.db);
    if (status == kNoError && !LogsFor(target.db)) status = kDbNotLogged;
    if (status != kNoError) {
      failingIndex = static_cast<uint32_t>(i + 1);
      std::printf("Recovery of %s failed: %s\n", target.path.c_str(), RuntimeStatusText(status).c_str());
      return status;
    }
    target.startLsn = target.db.header.lastLsn + 1;
    run.targets.push_back(std::move(target));
  }
  return kNoError;
}

namespace {

// Fails when a database needs records from extents the log no longer
// knows (a circular log has reused them).
Status CheckStartPoints(const RecoveryRun& run, const LogControl& control, uint32_t& failingIndex) {
  const uint64_t currentFirst = control.Find(control.current)->firstLsn;
  for (size_t i = 0; i < run.targets.size(); ++i) {
    const RecoveryTarget& target = run.targets[i];
    if (control.Holding(target.startLsn) || target.startLsn >= currentFirst) continue;
    failingIndex = static_cast<uint32_t>(i + 1);
    std::printf("Recovery of %s failed: the log records it needs are no longer available\n",
                target.path.c_str());
    return kLogFilesNotFound;
  }
  return kNoError;
}

// The extents to read, oldest first: from the one holding the earliest LSN
// any database needs up to the live extent.
std::vector<ExtentEntry> ExtentChain(const RecoveryRun& run, const LogControl& control) {
  uint64_t earliest = UINT64_MAX;
  for (const RecoveryTarget& target : run.targets) earliest = std::min(earliest, target.startLsn);
  std::vector<ExtentEntry> chain;
  for (const ExtentEntry& entry : control.extents) {
    if (entry.state == ExtentState::Current || entry.lastLsn >= earliest) chain.push_back(entry);
  }
  std::sort(chain.begin(), chain.end(),
            [](const ExtentEntry& a, const ExtentEntry& b) { return a.firstLsn < b.firstLsn; });
  return chain;
}

// The sequence numbers of one database's records met during the replay.
// Every change of a logged database gets the next number, so a jump in
// them counts records that the log lost.
struct SeqTrack {
  bool known = false;
  uint64_t last = 0;
  uint64_t missing = 0;
  bool afterGap = false;  // a record of it follows a lost stretch of the log
};

// Which records a damaged live extent lost: the LSN jumps met while reading
// it, and per database the jumps in its own sequence numbers.
struct LossAccount {
  std::map<LogId, SeqTrack> tracks;
  uint64_t previousLsn = 0;
  uint64_t lostLsns = 0;

  void See(const ChangeRecord& record) {
    if (previousLsn != 0 && record.lsn > previousLsn + 1) lostLsns += record.lsn - previousLsn - 1;
    previousLsn = std::max(previousLsn, record.lsn);
    SeqTrack& track = tracks[record.instanceId];
    if (lostLsns > 0) track.afterGap = true;
    if (track.known && record.seq > track.last + 1) track.missing += record.seq - track.last - 1;
    if (!track.known || record.seq > track.last) track.last = record.seq;
    track.known = true;
  }
  uint64_t Accounted() const {
    uint64_t sum = 0;
    for (const auto& [id, track] : tracks) sum += track.missing;
    return sum;
  }
};

// After a replay that met lost records: the 1-based index of the first
// database that may be among their owners (0 = none). A database lost
// records when its sequence jumps; when the jumps do not account for every
// lost record, the rest may belong to any database with no record after the
// loss, so those fail too.
uint32_t FirstHarmed(const RecoveryRun& run, const LossAccount& account) {
  const bool allAccounted = account.Accounted() >= account.lostLsns;
  for (size_t i = 0; i < run.targets.size(); ++i) {
    auto found = account.tracks.find(run.targets[i].db.header.instanceId);
    const SeqTrack none;
    const SeqTrack& track = found == account.tracks.end() ? none : found->second;
    if (track.missing > 0 || (!allAccounted && !track.afterGap)) return static_cast<uint32_t>(i + 1);
  }
  return 0;
}

// Reads each extent once, asking the callback for those missing from the
// log folder, and gives each record to the databases of its instance.
Status ReplayExtents(RecoveryRun& run, const TransactionLog& log, const LogControl& control,
                     const ArchivedLogCallback& callback, uint32_t& failingIndex) {
  std::map<LogId, std::vector<size_t>> byInstance;
  LossAccount account;
  for (size_t i = 0; i < run.targets.size(); ++i) {
    const DbHeader& header = run.targets[i].db.header;
    byInstance[header.instanceId].push_back(i);
    account.tracks[header.instanceId] = SeqTrack{true, header.lastSeq, 0, false};
  }
  auto onRecord = [&run, &byInstance, &account](const ChangeRecord& record) {
    if (record.lsn >= run.stopLsn) return;
    account.See(record);
    // Records come in LSN order; the first one written after the recovery
    // time ends the replay for every database, so all of them stop at the
    // same point of the log even when the clock went back in between.
    if (record.time != 0 && record.time > run.untilTime) {
      run.stopLsn = record.lsn;
      return;
    }
    auto found = byInstance.find(record.instanceId);
    if (found == byInstance.end()) return;
    for (size_t index : found->second) {
      RecoveryTarget& target = run.targets[index];
      if (record.lsn <= target.db.header.lastLsn) continue;
      ApplyChange(target.db, record);
      ++target.applied;
    }
  };
  for (const ExtentEntry& entry : ExtentChain(run, control)) {
    if (run.stopLsn != UINT64_MAX) break;  // the rest of the log lies after the time
    std::error_code ignored;
    if (callback && !fs::exists(log.ExtentHostPath(entry.number), ignored)) {
      callback(entry.number, log.ExtentWindowsPath(entry.number));
    }
    uint64_t lost = 0;
    const Status status = log.ReadExtent(entry, control.logId, onRecord, &lost);
    if (lost > 0) {
      std::printf("Recovery Manager: log extent %s is damaged; log records in it are lost\n",
                  log.ExtentWindowsPath(entry.number).c_str());
    }
    if (status == kNoError) continue;
    const uint64_t extentEnd = entry.state == ExtentState::Current ? UINT64_MAX : entry.lastLsn;
    failingIndex = FirstNeeding(run, extentEnd);
    std::printf("Recovery Manager: log extent %s could not be read (%s)\n",
                log.ExtentWindowsPath(entry.number).c_str(), RuntimeStatusText(status).c_str());
    return kLogFilesNotFound;
  }
  if (account.lostLsns == 0) return kNoError;
  failingIndex = FirstHarmed(run, account);
  if (failingIndex == 0) return kNoError;
  std::printf("Recovery of %s failed: log records it needs were lost in a damaged log extent\n",
              run.targets[failingIndex - 1].path.c_str());
  return kErrLogDamaged;
}

// After a replay that stopped at the recovery time: a database that holds
// a record at or after the stop point holds changes written after the time,
// which a roll-forward cannot take back.
Status CheckNotPastTime(const RecoveryRun& run, uint32_t& failingIndex) {
  for (size_t i = 0; i < run.targets.size(); ++i) {
    const RecoveryTarget& target = run.targets[i];
    if (target.startLsn <= run.stopLsn) continue;
    failingIndex = static_cast<uint32_t>(i + 1);
    std::printf("Recovery of %s failed: it holds changes made after the recovery time\n",
                target.path.c_str());
    return kPastRecoveryTime;
  }
  return kNoError;
}

Status WriteRecovered(const RecoveryRun& run) {
  std::vector<std::pair<fs::path, const Database*>> changed;
  for (const RecoveryTarget& target : run.targets) {
    std::printf("Recovering %s: %llu log records applied\n", target.path.c_str(),
                static_cast<unsigned long long>(target.applied));
    if (target.applied > 0) changed.emplace_back(target.host, &target.db);
  }
  return SaveDatabases(changed);
}

}  // namespace

Status Runtime::Recover(std::string_view nameBuffer, const ArchivedLogCallback& callback,
                        uint32_t /*flags*/, uint32_t& failingIndex) {
  return RecoverTo(nameBuffer, callback, UINT64_MAX, failingIndex);
}

Status Runtime::RecoverUntil(std::string_view nameBuffer, const ArchivedLogCallback& callback,
                             uint32_t /*flags*/, uint64_t untilTime, uint32_t& failingIndex) {
  return RecoverTo(nameBuffer, callback, untilTime, failingIndex);
}

Status Runtime::RecoverTo(std::string_view nameBuffer, const ArchivedLogCallback& callback,
                          uint64_t untilTime, uint32_t& failingIndex) {
  std::lock_guard guard(mutex_);
  failingIndex = 0;
  if (Status s = Ready()) return s;
  RecoveryRun run;
  run.untilTime = untilTime;
  Status status = LoadRecoveryTargets(nameBuffer, run, failingIndex);
  if (status == kNoError && !run.targets.empty()) {
    TransactionLog log = Log();
    LogControl control;
    status = log.Load(control);
    if (status == kNoError) status = CheckStartPoints(run, control, failingIndex);
    if (status == kNoError) status = ReplayExtents(run, log, control, callback, failingIndex);
    if (status == kNoError) status = CheckNotPastTime(run, failingIndex);
    if (status == kNoError) status = WriteRecovered(run);
  }
  std::fflush(stdout);
  return status;
}

Status Runtime::LastLogRecordTime(uint64_t& fileTime) {
  std::lock_guard guard(mutex_);
  fileTime = 0;
  if (Status s = Ready()) return s;
  if (!config_->loggingOn || config_->logDir.empty()) return kLoggingDisabled;
  return Log().LastRecordTime(fileTime);
}

}  // namespace omb::notes
