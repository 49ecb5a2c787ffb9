#include "notes/txlog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>

#include "notes/codec.h"
#include "notes/host_files.h"
#include "notes/status.h"
#include "platform/paths.h"
#include "platform/posix_io.h"

namespace omb::notes {

namespace {

constexpr std::string_view kControlMagic = "OMBLCTL1";
constexpr std::string_view kExtentMagic = "OMBTXN01";
constexpr size_t kExtentHeaderSize = 8 + 16 + 4 + 8;
constexpr uint32_t kMaxExtents = 1u << 24;

LogId RandomLogId() {
  std::random_device device;
  LogId id{};
  for (auto& byte : id) byte = static_cast<uint8_t>(device());
  return id;
}

std::string EncodeControl(const LogControl& control) {
  codec::Writer out;
  out.Bytes(kControlMagic);
  out.Id(control.logId);
  out.U32(control.current);
  out.U32(static_cast<uint32_t>(control.extents.size()));
  for (const ExtentEntry& entry : control.extents) {
    out.U32(entry.number);
    out.U8(static_cast<uint8_t>(entry.state));
    out.U64(entry.firstLsn);
    out.U64(entry.lastLsn);
  }
  out.U32(codec::Crc32(out.buffer()));
  return std::move(out.buffer());
}

bool DecodeControl(std::string_view bytes, LogControl& control) {
  if (bytes.size() < 4) return false;
  codec::Reader crcReader(bytes.substr(bytes.size() - 4));
  uint32_t crc = 0;
  crcReader.U32(crc);
  const std::string_view body = bytes.substr(0, bytes.size() - 4);
  if (crc != codec::Crc32(body)) return false;
  codec::Reader in(body);
  std::string_view magic;
  uint32_t count = 0;
  if (!in.Bytes(kControlMagic.size(), magic) || magic != kControlMagic || !in.Id(control.logId) ||
      !in.U32(control.current) || !in.U32(count) || count > kMaxExtents) {
    return false;
  }
  control.extents.clear();
  for (uint32_t i = 0; i < count; ++i) {
    ExtentEntry entry;
    uint8_t state = 0;
    if (!in.U32(entry.number) || !in.U8(state) || state < 1 || state > 4 ||
        !in.U64(entry.firstLsn) || !in.U64(entry.lastLsn)) {
      return false;
    }
    entry.state = static_cast<ExtentState>(state);
    control.extents.push_back(entry);
  }
  return in.remaining() == 0 && control.Find(control.current) != nullptr;
}

std::string ExtentHeader(const LogId& logId, uint32_t number, uint64_t firstLsn) {
  codec::Writer out;
  out.Bytes(kExtentMagic);
  out.Id(logId);
  out.U32(number);
  out.U64(firstLsn);
  return std::move(out.buffer());
}

bool PReadAll(int fd, std::string& bytes, size_t size, uint64_t offset) {
  bytes.resize(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Walks the frames of an extent body; returns the offset after the last
// whole frame.
size_t WalkFrames(std::string_view body, const std::function<void(const ChangeRecord&)>& onRecord) {
  size_t offset = 0;
  ChangeRecord record;
  size_t consumed = 0;
  while (offset < body.size() &&
         ParseFrame(body.substr(offset), record, consumed) == FrameResult::Complete) {
    onRecord(record);
    offset += consumed;
  }
  return offset;
}

// An extent's last record, read through the frame trailer at the end of
// the file; false when the tail is not one whole frame.
bool LastFrame(int fd, uint64_t size, ChangeRecord& record) {
  std::string tail;
  if (size < kExtentHeaderSize + kFrameOverhead || !PReadAll(fd, tail, kFrameTrailer, size - kFrameTrailer)) {
    return false;
  }
  // The trailer after the CRC: u64 LSN, u32 length.
  codec::Reader in(tail);
  uint32_t length = 0;
  uint64_t trailerLsn = 0;
  if (!in.U64(trailerLsn) || !in.U32(length)) return false;
  const uint64_t frameSize = uint64_t{length} + kFrameOverhead;
  std::string frame;
  size_t consumed = 0;
  return length <= kMaxFramePayload && size >= kExtentHeaderSize + frameSize &&
         PReadAll(fd, frame, frameSize, size - frameSize) &&
         ParseFrame(frame, record, consumed) == FrameResult::Complete && consumed == frameSize;
}

bool LastFrameLsn(int fd, uint64_t size, uint64_t& lsn) {
  ChangeRecord record;
  if (!LastFrame(fd, size, record)) return false;
  lsn = record.lsn;
  return true;
}

}  // namespace

const ExtentEntry* LogControl::Find(uint32_t number) const {
  for (const ExtentEntry& entry : extents) {
    if (entry.number == number) return &entry;
  }
  return nullptr;
}

const ExtentEntry* LogControl::Holding(uint64_t lsn) const {
  for (const ExtentEntry& entry : extents) {
    const bool open = entry.state == ExtentState::Current;
    if (lsn >= entry.firstLsn && (open || lsn <= entry.lastLsn)) return &entry;
  }
  return nullptr;
}

TransactionLog::TransactionLog(LogSettings settings)
    : settings_(std::move(settings)), hostDir_(CanonicalHost(settings_.windowsDir)) {}

std::string TransactionLog::ExtentWindowsPath(uint32_t number) const {
  char name[32];
  std::snprintf(name, sizeof name, "S%07u.TXN", number);
  return settings_.windowsDir + "\\" + name;
}

std::filesystem::path TransactionLog::ExtentHostPath(uint32_t number) const {
  char name[32];
  std::snprintf(name, sizeof name, "S%07u.TXN", number);
  return hostDir_ / name;
}

std::string TransactionLog::LockName() const { return "log-" + PathKey(hostDir_); }

Status TransactionLog::SaveControl(const LogControl& control) const {
  return ReplaceFile(hostDir_ / kControlFileName, EncodeControl(control));
}

Status TransactionLog::StartExtent(const LogControl& control, uint32_t number,
                                   uint64_t firstLsn) const {
  // A reused (circular) or half-made extent file is overwritten.
  const std::string header = ExtentHeader(control.logId, number, firstLsn);
  return ReplaceFile(ExtentHostPath(number), header);
}

Status TransactionLog::LoadLocked(LogControl& control) {
  std::string bytes;
  const Status read = ReadHost(hostDir_ / kControlFileName, bytes);
  if (read == kNoError) return DecodeControl(bytes, control) ? kNoError : kErrLogDamaged;
  if (read != kErrFileNotFound) return read;
  std::error_code error;
  std::filesystem::create_directories(hostDir_, error);
  if (error) return kErrFileWrite;
  control = LogControl{};
  control.logId = RandomLogId();
  control.current = 1;
  control.extents.push_back({1, ExtentState::Current, 1, 0});
  Status status = StartExtent(control, 1, 1);
  if (status == kNoError) status = SaveControl(control);
  return status;
}

Status TransactionLog::LockAndLoad(std::unique_ptr<FileLock>& lock, LogControl& control) {
  lock = LockRuntime(LockName());
  if (!lock) return kErrFileWrite;
  return LoadLocked(control);
}

Status TransactionLog::Load(LogControl& control) {
  std::unique_ptr<FileLock> lock;
  return LockAndLoad(lock, control);
}

Status TransactionLog::OpenCurrent(const LogControl& control, int& fd, uint64_t& lastLsn,
                                   uint64_t& end) const {
  const ExtentEntry* entry = control.Find(control.current);
  const std::filesystem::path host = ExtentHostPath(control.current);
  struct stat info {};
  if (::stat(host.c_str(), &info) != 0 || static_cast<size_t>(info.st_size) < kExtentHeaderSize) {
    const Status status = StartExtent(control, control.current, entry->firstLsn);
    if (status != kNoError) return status;
  }
  fd = platform::OpenFile(host, O_RDWR);
  if (fd < 0 || ::fstat(fd, &info) != 0) return kErrFileRead;
  const uint64_t size = static_cast<uint64_t>(info.st_size);
  lastLsn = entry->firstLsn - 1;
  end = kExtentHeaderSize;
  if (size == kExtentHeaderSize) return kNoError;
  if (LastFrameLsn(fd, size, lastLsn)) {
    end = size;
    return kNoError;
  }
  // Slow path: a torn tail; keep the whole frames and cut the rest.
  std::string body;
  if (!PReadAll(fd, body, size - kExtentHeaderSize, kExtentHeaderSize)) return kErrFileRead;
  end = kExtentHeaderSize + WalkFrames(body, [&lastLsn](const ChangeRecord& r) { lastLsn = r.lsn; });
  if (::ftruncate(fd, static_cast<off_t>(end)) != 0) return kErrFileWrite;
  return kNoError;
}

Status TransactionLog::Roll(LogControl& control, uint64_t nextLsn) {
  const bool archive = settings_.style == kLogStyleArchive;
  uint32_t next = 0;
  if (archive) {
    for (const ExtentEntry& entry : control.extents) next = std::max(next, entry.number);
    ++next;
  } else {
    next = control.current % kCircularRing + 1;
  }
  for (ExtentEntry& entry : control.extents) {
    if (entry.number == control.current) {
      entry.state = archive ? ExtentState::Ready : ExtentState::Reusable;
      entry.lastLsn = nextLsn - 1;
    }
  }
  auto reused = std::find_if(control.extents.begin(), control.extents.end(),
                             [next](const ExtentEntry& e) { return e.number == next; });
  if (reused == control.extents.end()) {
    control.extents.push_back({next, ExtentState::Current, nextLsn, nextLsn - 1});
  } else {
    *reused = {next, ExtentState::Current, nextLsn, nextLsn - 1};
  }
  control.current = next;
  const Status status = StartExtent(control, next, nextLsn);
  return status != kNoError ? status : SaveControl(control);
}

Status TransactionLog::Append(std::vector<ChangeRecord>& records) {
  std::unique_ptr<FileLock> lock;
  LogControl control;
  Status status = LockAndLoad(lock, control);
  if (status != kNoError) return status;
  int fd = -1;
  uint64_t lastLsn = 0, end = 0;
  status = OpenCurrent(control, fd, lastLsn, end);
  std::string pending;
  auto flush = [&]() {
    const bool ok = platform::WriteAllAt(fd, pending.data(), pending.size(), end) && platform::SyncFile(fd) == 0;
    end += pending.size();
    pending.clear();
    return ok;
  };
  for (size_t i = 0; status == kNoError && i < records.size(); ++i) {
    records[i].lsn = lastLsn + 1;
    std::string frame;
    AppendFrame(records[i], frame);
    const bool hasRecords = end + pending.size() > kExtentHeaderSize;
    if (hasRecords && end + pending.size() + frame.size() > settings_.extentSize) {
      if (!flush()) status = kErrFileWrite;
      ::close(fd);
      fd = -1;
      if (status == kNoError) status = Roll(control, records[i].lsn);
      if (status == kNoError) status = OpenCurrent(control, fd, lastLsn, end);
      if (status != kNoError) break;
    }
    pending += frame;
    lastLsn = records[i].lsn;
  }
  if (status == kNoError && !pending.empty() && !flush()) status = kErrFileWrite;
  if (fd >= 0) ::close(fd);
  return status;
}

Status TransactionLog::LastLsn(uint64_t& lsn) {
  std::unique_ptr<FileLock> lock;
  LogControl control;
  Status status = LockAndLoad(lock, control);
  if (status != kNoError) return status;
  int fd = -1;
  uint64_t end = 0;
  status = OpenCurrent(control, fd, lsn, end);
  if (fd >= 0) ::close(fd);
  return status;
}

Status TransactionLog::LastRecordTime(uint64_t& time) {
  std::unique_ptr<FileLock> lock;
  LogControl control;
  time = 0;
  if (const Status status = LockAndLoad(lock, control)) return status;
  // The live extent holds the newest record, unless it holds none yet: then
  // the extent closed just before it does, while its file is still here.
  const ExtentEntry* current = control.Find(control.current);
  const ExtentEntry* previous = current->firstLsn > 1 ? control.Holding(current->firstLsn - 1) : nullptr;
  for (const ExtentEntry* entry : {current, previous}) {
    if (entry == nullptr) continue;
    bool found = false;
    const int fd = platform::OpenFile(ExtentHostPath(entry->number), O_RDONLY);
    struct stat info {};
    ChangeRecord last;
    if (fd >= 0 && ::fstat(fd, &info) == 0) found = LastFrame(fd, static_cast<uint64_t>(info.st_size), last);
    if (fd >= 0) ::close(fd);
    if (!found) {
      // A torn tail: the last whole record, read from the start.
      ReadExtent(*entry, control.logId, [&](const ChangeRecord& record) {
        last = record;
        found = true;
      });
    }
    if (found) {
      time = last.time;
      return kNoError;
    }
  }
  return kNoError;
}

Status TransactionLog::MarkArchived(const LogId& logId, const std::vector<uint32_t>& numbers) {
  std::unique_ptr<FileLock> lock;
  LogControl control;
  const Status status = LockAndLoad(lock, control);
  if (status != kNoError) return status;
  if (logId != control.logId) return kErrLogIdMismatch;
  Status first = kNoError;
  bool changed = false;
  std::vector<uint32_t> marked;
  for (uint32_t number : numbers) {
    auto entry = std::find_if(control.extents.begin(), control.extents.end(),
                              [number](const ExtentEntry& e) { return e.number == number; });
    Status refused = kNoError;
    if (entry == control.extents.end()) {
      refused = kErrNoSuchExtent;
    } else if (entry->state != ExtentState::Ready && entry->state != ExtentState::Archived) {
      refused = kErrExtentNotReady;
    }
    if (refused != kNoError) {
      if (first == kNoError) first = refused;
      continue;
    }
    changed = changed || entry->state == ExtentState::Ready;
    entry->state = ExtentState::Archived;
    marked.push_back(number);
  }
  if (changed) {
    if (const Status saved = SaveControl(control)) return saved;
  }
  // An extent leaves the folder only once the control file says archived.
  for (uint32_t number : marked) platform::RemoveFile(ExtentHostPath(number));
  return first;
}

namespace {

// Whole frames at the end of an extent body, found backwards through their
// trailers, that start at or after `stop`; returned oldest first.
std::vector<ChangeRecord> TrailingFrames(std::string_view body, size_t stop) {
  std::vector<ChangeRecord> records;
  size_t end = body.size();
  while (end >= stop + kFrameOverhead) {
    codec::Reader trailer(body.substr(end - kFrameTrailer, kFrameTrailer));
    uint64_t lsn = 0;
    uint32_t length = 0;
    trailer.U64(lsn);
    trailer.U32(length);
    const uint64_t frameSize = uint64_t{length} + kFrameOverhead;
    if (length > kMaxFramePayload || frameSize > end - stop) break;
    ChangeRecord record;
    size_t consumed = 0;
    const size_t start = end - static_cast<size_t>(frameSize);
    if (ParseFrame(body.substr(start, static_cast<size_t>(frameSize)), record, consumed) !=
            FrameResult::Complete ||
        consumed != frameSize) {
      break;
    }
    records.push_back(std::move(record));
    end = start;
  }
  std::reverse(records.begin(), records.end());
  return records;
}

// Checks an extent's bytes against its control entry and delivers its
// records (see ReadExtent).
Status CheckExtentBytes(std::string_view bytes, const ExtentEntry& entry, const LogId& logId,
                        const std::function<void(const ChangeRecord&)>& onRecord,
                        uint64_t* lostRecords) {
  if (lostRecords) *lostRecords = 0;
  if (bytes.size() < kExtentHeaderSize) return kErrLogDamaged;
  codec::Reader header(bytes.substr(0, kExtentHeaderSize));
  std::string_view magic;
  LogId fileLogId{};
  uint32_t fileNumber = 0;
  uint64_t fileFirstLsn = 0;
  header.Bytes(kExtentMagic.size(), magic);
  header.Id(fileLogId);
  header.U32(fileNumber);
  header.U64(fileFirstLsn);
  if (magic != kExtentMagic) return kErrLogDamaged;
  if (fileLogId != logId || fileNumber != entry.number) return kErrLogIdMismatch;
  if (fileFirstLsn != entry.firstLsn) return kErrLogDamaged;
  const std::string_view body = bytes.substr(kExtentHeaderSize);
  uint64_t lastSeen = entry.firstLsn - 1;
  const size_t whole = WalkFrames(body, [&](const ChangeRecord& record) {
    lastSeen = record.lsn;
    if (onRecord) onRecord(record);
  });
  const bool closed = entry.state != ExtentState::Current;
  if (closed && (whole != body.size() || lastSeen != entry.lastLsn)) return kErrLogDamaged;
  if (closed || whole == body.size()) return kNoError;
  // The current extent ends early. A torn append leaves no whole frame
  // behind the cut; whole frames there mean records in between were lost.
  std::vector<ChangeRecord> after = TrailingFrames(body, whole);
  if (after.empty()) return kNoError;
  if (lostRecords && after.front().lsn > lastSeen + 1) *lostRecords = after.front().lsn - lastSeen - 1;
  if (lostRecords && *lostRecords == 0) *lostRecords = 1;  // damaged bytes, however few records
  for (const ChangeRecord& record : after) {
    if (onRecord) onRecord(record);
  }
  return kNoError;
}

}  // namespace

Status TransactionLog::ReadExtent(const ExtentEntry& entry, const LogId& logId,
                                  const std::function<void(const ChangeRecord&)>& onRecord,
                                  uint64_t* lostRecords) const {
  std::string bytes;
  const Status status = ReadHost(ExtentHostPath(entry.number), bytes);
  if (status != kNoError) return status;
  return CheckExtentBytes(bytes, entry, logId, onRecord, lostRecords);
}

Status TransactionLog::VerifyExtentFile(const std::filesystem::path& host, const ExtentEntry& entry,
                                        const LogId& logId) const {
  // A closed extent holds at most its size plus the one frame that may
  // overrun it; anything larger is not a copy of it and is not read.
  const uint64_t bound = settings_.extentSize + kMaxFramePayload + kFrameOverhead;
  std::string bytes;
  const Status status = ReadHost(host, bytes, bound);
  if (status == kErrFileRead) {
    std::error_code error;
    if (std::filesystem::file_size(host, error) > bound && !error) return kErrLogDamaged;
  }
  if (status != kNoError) return status;
  return CheckExtentBytes(bytes, entry, logId, nullptr, nullptr);
}

}  // namespace omb::notes
