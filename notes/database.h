#pragma once
// The in-memory form of a database and of one change to it, and their
// encodings: the database file, and the framed change record that the
// transaction log, the backup-mode journal and the change information share.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "notes/notes.h"

namespace omb::notes {

constexpr uint16_t kClassDocument = 1;
constexpr uint16_t kClassView = 8;

struct Item {
  std::string name;
  std::string value;
};

struct Note {
  NoteId id = 0;
  uint16_t noteClass = kClassDocument;
  std::vector<Item> items;
};

// Item names compare without regard to case, as Notes compares them.
const std::string* FindItem(const Note& note, std::string_view name);
void SetItem(Note& note, std::string_view name, std::string_view value);

struct DbHeader {
  LogId instanceId{};
  bool logged = false;
  uint64_t lastLsn = 0;  // every log record of this database up to here is in the file
  uint64_t lastSeq = 0;  // sequence number of the last change applied
  NoteId nextNoteId = 1;
  std::array<char, 128> infoBlock{};
};

struct Database {
  DbHeader header;
  std::map<NoteId, Note> notes;
};

std::string EncodeDatabase(const Database& db);
// kNoError, or the corrupt-database status when the bytes are not a whole,
// undamaged database file.
Status DecodeDatabase(std::string_view bytes, Database& db);

enum class ChangeKind : uint8_t { PutNote = 1, DeleteNote = 2 };

// One change of one database: its instance, the log sequence number (0 when
// the database is not logged), its per-database sequence, the change and
// the time it was written.
struct ChangeRecord {
  LogId instanceId{};
  uint64_t lsn = 0;
  uint64_t seq = 0;
  ChangeKind kind = ChangeKind::PutNote;
  Note note;  // the whole note for PutNote; only the id for DeleteNote
  // FILETIME (UTC) at which the change was written; 0 = unknown, as in
  // records written before records carried their time.
  uint64_t time = 0;
};

// A frame: u32 length, payload, u32 CRC of the payload, u64 LSN, u32 length.
// The payload ends with the record's time (u64); a payload without it, as
// older files hold, decodes with the time unknown.
// The 12-byte trailer lets a writer find the last record of a log extent
// without reading the extent from its start.
constexpr size_t kFrameOverhead = 20;
constexpr size_t kFrameTrailer = 12;
constexpr uint32_t kMaxFramePayload = 64u << 20;

void AppendFrame(const ChangeRecord& record, std::string& out);

enum class FrameResult { Complete, NeedMore, Corrupt };
// Parses one frame at the start of data; on Complete sets consumed.
FrameResult ParseFrame(std::string_view data, ChangeRecord& record, size_t& consumed);

// Applies a change: replaces or removes the note, advances the next note
// id and records the record's sequence and LSN as the database's last.
void ApplyChange(Database& db, const ChangeRecord& record);

// Number of documents (not design notes) and a hash over them, stable for
// equal contents whatever the order in which they were written.
struct DbSummary {
  uint32_t documents = 0;
  uint64_t hash = 0;
};
DbSummary SummarizeDatabase(const Database& db);

}  // namespace omb::notes
