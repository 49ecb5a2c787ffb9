#include "notes/database.h"

#include "notes/codec.h"
#include "notes/status.h"
#include "platform/paths.h"

namespace omb::notes {

namespace {

constexpr std::string_view kDbMagic = "OMBNSF01";
constexpr uint32_t kDbVersion = 1;
constexpr size_t kMaxItemText = 16u << 20;
constexpr uint32_t kMaxItems = 1u << 16;

void WriteNote(codec::Writer& out, const Note& note) {
  out.U32(note.id);
  out.U16(note.noteClass);
  out.U32(static_cast<uint32_t>(note.items.size()));
  for (const Item& item : note.items) {
    out.Text(item.name);
    out.Text(item.value);
  }
}

bool ReadNote(codec::Reader& in, Note& note) {
  uint32_t count = 0;
  if (!in.U32(note.id) || !in.U16(note.noteClass) || !in.U32(count) || count > kMaxItems) {
    return false;
  }
  note.items.clear();
  for (uint32_t i = 0; i < count; ++i) {
    Item item;
    if (!in.Text(item.name, kMaxItemText) || !in.Text(item.value, kMaxItemText)) return false;
    note.items.push_back(std::move(item));
  }
  return true;
}

void WriteHeader(codec::Writer& out, const DbHeader& header) {
  out.Bytes(kDbMagic);
  out.U32(kDbVersion);
  out.Id(header.instanceId);
  out.U8(header.logged ? 1 : 0);
  out.U64(header.lastLsn);
  out.U64(header.lastSeq);
  out.U32(header.nextNoteId);
  out.Bytes(std::string_view(header.infoBlock.data(), header.infoBlock.size()));
}

bool ReadHeader(codec::Reader& in, DbHeader& header) {
  std::string_view magic;
  std::string_view block;
  uint32_t version = 0;
  uint8_t logged = 0;
  if (!in.Bytes(kDbMagic.size(), magic) || magic != kDbMagic || !in.U32(version) ||
      version != kDbVersion || !in.Id(header.instanceId) || !in.U8(logged) ||
      !in.U64(header.lastLsn) || !in.U64(header.lastSeq) || !in.U32(header.nextNoteId) ||
      !in.Bytes(header.infoBlock.size(), block)) {
    return false;
  }
  header.logged = logged != 0;
  std::copy(block.begin(), block.end(), header.infoBlock.begin());
  return true;
}

}  // namespace

const std::string* FindItem(const Note& note, std::string_view name) {
  for (const Item& item : note.items) {
    if (platform::EqualsNoCase(item.name, name)) return &item.value;
  }
  return nullptr;
}

void SetItem(Note& note, std::string_view name, std::string_view value) {
  for (Item& item : note.items) {
    if (platform::EqualsNoCase(item.name, name)) {
      item.value = value;
      return;
    }
  }
  note.items.push_back({std::string(name), std::string(value)});
}

std::string EncodeDatabase(const Database& db) {
  codec::Writer out;
  WriteHeader(out, db.header);
  out.U32(static_cast<uint32_t>(db.notes.size()));
  for (const auto& [id, note] : db.notes) WriteNote(out, note);
  out.U32(codec::Crc32(out.buffer()));
  return std::move(out.buffer());
}

Status DecodeDatabase(std::string_view bytes, Database& db) {
  if (bytes.size() < 4) return kErrDbCorrupt;
  const std::string_view body = bytes.substr(0, bytes.size() - 4);
  codec::Reader trailer(bytes.substr(bytes.size() - 4));
  uint32_t crc = 0;
  if (!trailer.U32(crc) || crc != codec::Crc32(body)) return kErrDbCorrupt;
  codec::Reader in(body);
  uint32_t count = 0;
  db = Database{};
  if (!ReadHeader(in, db.header) || !in.U32(count)) return kErrDbCorrupt;
  for (uint32_t i = 0; i < count; ++i) {
    Note note;
    if (!ReadNote(in, note)) return kErrDbCorrupt;
    db.notes[note.id] = std::move(note);
  }
  return in.remaining() == 0 ? kNoError : kErrDbCorrupt;
}

void AppendFrame(const ChangeRecord& record, std::string& out) {
  codec::Writer payload;
  payload.Id(record.instanceId);
  payload.U64(record.lsn);
  payload.U64(record.seq);
  payload.U8(static_cast<uint8_t>(record.kind));
  WriteNote(payload, record.note);
  payload.U64(record.time);
  const std::string& body = payload.buffer();
  codec::Writer frame;
  frame.U32(static_cast<uint32_t>(body.size()));
  frame.Bytes(body);
  frame.U32(codec::Crc32(body));
  frame.U64(record.lsn);
  frame.U32(static_cast<uint32_t>(body.size()));
  out.append(frame.buffer());
}

FrameResult ParseFrame(std::string_view data, ChangeRecord& record, size_t& consumed) {
  codec::Reader head(data);
  uint32_t length = 0;
  if (!head.U32(length)) return FrameResult::NeedMore;
  if (length > kMaxFramePayload) return FrameResult::Corrupt;
  if (data.size() < length + kFrameOverhead) return FrameResult::NeedMore;
  const std::string_view body = data.substr(4, length);
  codec::Reader tail(data.substr(4 + length, kFrameTrailer + 4));
  uint32_t crc = 0, trailerLength = 0;
  uint64_t trailerLsn = 0;
  tail.U32(crc);
  tail.U64(trailerLsn);
  tail.U32(trailerLength);
  if (crc != codec::Crc32(body) || trailerLength != length) return FrameResult::Corrupt;
  codec::Reader in(body);
  uint8_t kind = 0;
  if (!in.Id(record.instanceId) || !in.U64(record.lsn) || !in.U64(record.seq) || !in.U8(kind) ||
      (kind != 1 && kind != 2) || !ReadNote(in, record.note) || record.lsn != trailerLsn) {
    return FrameResult::Corrupt;
  }
  // The time is a trailing field: absent in records written before it was.
  record.time = 0;
  if (in.remaining() != 0 && (!in.U64(record.time) || in.remaining() != 0)) {
    return FrameResult::Corrupt;
  }
  record.kind = static_cast<ChangeKind>(kind);
  consumed = length + kFrameOverhead;
  return FrameResult::Complete;
}

void ApplyChange(Database& db, const ChangeRecord& record) {
  const NoteId id = record.note.id;
  if (record.kind == ChangeKind::PutNote) {
    db.notes[id] = record.note;
  } else {
    db.notes.erase(id);
  }
  if (id >= db.header.nextNoteId) db.header.nextNoteId = id + 1;
  db.header.lastSeq = record.seq;
  if (record.lsn > db.header.lastLsn) db.header.lastLsn = record.lsn;
}

DbSummary SummarizeDatabase(const Database& db) {
  DbSummary summary;
  uint64_t hash = codec::kFnvOffset;
  for (const auto& [id, note] : db.notes) {
    if (note.noteClass != kClassDocument) continue;
    ++summary.documents;
    codec::Writer canonical;
    WriteNote(canonical, note);
    hash = codec::Fnv1a64(canonical.buffer(), hash);
  }
  summary.hash = hash;
  return summary;
}

}  // namespace omb::notes
