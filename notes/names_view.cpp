// Notes, items and the sorted views of a database (names.nsf and its
// ($Servers) view). A view is a design note: $TITLE names it, $SelectForm
// picks the documents by their Form item and $SortItem gives the item the
// entries are sorted and found by. Names are found by their abbreviated
// form without regard to case, so a canonical and an abbreviated key find
// the same entries.
#include <algorithm>

#include "notes/runtime.h"
#include "notes/status.h"
#include "platform/paths.h"

namespace omb::notes {

namespace {

const Note* FindView(const Database& db, NoteId id) {
  auto found = db.notes.find(id);
  if (found == db.notes.end() || found->second.noteClass != kClassView) return nullptr;
  return &found->second;
}

std::string ItemOr(const Note& note, std::string_view name) {
  const std::string* value = FindItem(note, name);
  return value ? *value : std::string();
}

}  // namespace

Status Runtime::FindDesignNote(Handle db, const std::string& name, NoteId& id) {
  std::lock_guard guard(mutex_);
  OpenDatabase* open = nullptr;
  if (const Status status = FindFreshDb(db, open)) return status;
  for (const auto& [noteId, note] : open->db.notes) {
    if (note.noteClass == kClassView && platform::EqualsNoCase(ItemOr(note, "$TITLE"), name)) {
      id = noteId;
      return kNoError;
    }
  }
  return kErrNoDesignNote;
}

Status Runtime::OpenCollection(Handle db, NoteId view, Handle& collection) {
  std::lock_guard guard(mutex_);
  OpenDatabase* open = nullptr;
  if (const Status status = FindFreshDb(db, open)) return status;
  const Note* design = FindView(open->db, view);
  if (!design) return kErrNoDesignNote;
  const std::string form = ItemOr(*design, "$SelectForm");
  const std::string sortItem = ItemOr(*design, "$SortItem");
  std::vector<std::pair<std::string, NoteId>> entries;
  for (const auto& [id, note] : open->db.notes) {
    if (note.noteClass != kClassDocument) continue;
    if (!form.empty() && !platform::EqualsNoCase(ItemOr(note, "Form"), form)) continue;
    std::string key;
    AbbreviateName(ItemOr(note, sortItem), key);
    entries.emplace_back(platform::ToUpper(key), id);
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  collection = nextHandle_++;
  collections_[collection] = std::move(entries);
  return kNoError;
}

Status Runtime::FindByName(Handle collection, const std::string& key, uint32_t& position,
                           uint32_t& matches) {
  std::lock_guard guard(mutex_);
  auto found = collections_.find(collection);
  if (found == collections_.end()) return kErrBadHandle;
  std::string abbreviated;
  AbbreviateName(key, abbreviated);
  const std::string wanted = platform::ToUpper(abbreviated);
  const auto& entries = found->second;
  auto [first, last] = std::equal_range(
      entries.begin(), entries.end(), std::pair<std::string, NoteId>{wanted, 0},
      [](const auto& a, const auto& b) { return a.first < b.first; });
  if (first == last) return kErrNotFound;
  position = static_cast<uint32_t>(first - entries.begin()) + 1;
  matches = static_cast<uint32_t>(last - first);
  return kNoError;
}

Status Runtime::ReadEntries(Handle collection, uint32_t position, uint32_t count,
                            std::vector<NoteId>& ids) {
  std::lock_guard guard(mutex_);
  auto found = collections_.find(collection);
  if (found == collections_.end()) return kErrBadHandle;
  ids.clear();
  const auto& entries = found->second;
  for (uint64_t i = position; i >= 1 && i <= entries.size() && ids.size() < count; ++i) {
    ids.push_back(entries[i - 1].second);
  }
  return kNoError;
}

Status Runtime::CloseCollection(Handle collection) {
  std::lock_guard guard(mutex_);
  return collections_.erase(collection) ? kNoError : kErrBadHandle;
}

Status Runtime::CreateNote(Handle db, Handle& note) {
  std::lock_guard guard(mutex_);
  if (!FindDb(db)) return kErrBadHandle;
  note = nextHandle_++;
  notes_[note] = OpenNoteState{db, Note{}};
  return kNoError;
}

Status Runtime::OpenNote(Handle db, NoteId id, Handle& note) {
  std::lock_guard guard(mutex_);
  OpenDatabase* open = nullptr;
  if (const Status status = FindFreshDb(db, open)) return status;
  auto found = open->db.notes.find(id);
  if (found == open->db.notes.end()) return kErrNoteNotFound;
  note = nextHandle_++;
  notes_[note] = OpenNoteState{db, found->second};
  return kNoError;
}

Status Runtime::GetTextItem(Handle note, const std::string& item, std::string& value) {
  std::lock_guard guard(mutex_);
  auto found = notes_.find(note);
  if (found == notes_.end()) return kErrBadHandle;
  const std::string* text = FindItem(found->second.note, item);
  if (!text) return kErrItemNotFound;
  value = *text;
  return kNoError;
}

Status Runtime::SetTextItem(Handle note, const std::string& item, const std::string& value) {
  std::lock_guard guard(mutex_);
  auto found = notes_.find(note);
  if (found == notes_.end()) return kErrBadHandle;
  SetItem(found->second.note, item, value);
  return kNoError;
}

Status Runtime::UpdateNote(Handle note) {
  std::lock_guard guard(mutex_);
  auto found = notes_.find(note);
  if (found == notes_.end()) return kErrBadHandle;
  OpenDatabase* open = FindDb(found->second.db);
  if (!open) return kErrBadHandle;
  std::vector<ChangeRecord> changes(1);
  changes[0].note = found->second.note;
  if (const Status status = Commit(open->host, changes, false)) return status;
  found->second.note.id = changes[0].note.id;
  return kNoError;
}

Status Runtime::CloseNote(Handle note) {
  std::lock_guard guard(mutex_);
  return notes_.erase(note) ? kNoError : kErrBadHandle;
}

}  // namespace omb::notes
