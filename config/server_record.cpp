// The server's document in names.nsf and its notes.ini learn where the
// moved transaction logs now are. The Notes runtime is started on the
// server's own notes.ini, so its identity names the server document.
#include <string>
#include <vector>

#include "config/configuration.h"
#include "domino/notes_runtime.h"
#include "domino/vaultinfo.h"
#include "notes/status.h"

namespace omb::config {

namespace {

const std::string kServersView = "($Servers)";
const std::string kLogPathItem = "TRANSLOG_Path";
constexpr size_t kIdentityBuffer = 256;

// One update: every step after the runtime start, with what it opened.
// Each failure closes what is open, ends the runtime and answers the status.
class RecordUpdate {
 public:
  RecordUpdate(ProgressSink& progress, notes::NotesApi& api) : progress_(progress), api_(api) {}
  ~RecordUpdate() { Release(); }
  RecordUpdate(const RecordUpdate&) = delete;
  RecordUpdate& operator=(const RecordUpdate&) = delete;

  uint16_t Run(const PartitionInfo& server, const std::string& notesIniPath, const std::string& newLogPath) {
    std::string key;
    if (api_.GetServerName(key) != notes::kNoError) key.clear();
    if (key.size() >= kIdentityBuffer) key.resize(kIdentityBuffer - 1);
    if (notes::Status status = api_.OpenDb("names.nsf", db_)) {
      return Failed("ERROR: Could not open names.nsf\r\n", status);
    }
    hasDb_ = true;
    notes::NoteId noteId = 0;
    if (notes::Status status = FindServerDocument(key, noteId)) return status;
    if (notes::Status status = UpdateDocument(noteId, newLogPath)) return status;
    Emit(progress_, "names.nsf successfully updated.\r\nUpdating log directory entries in " + notesIniPath +
                        "\r\nCurrent log directory entry is:\r\n" + server.logPath + "\r\n" +
                        "Updating log directory entry to:\r\n" + newLogPath + "\r\n");
    // Both keys name the new folder: the previous one is where Domino looks
    // for extents written before a change, and those were moved too.
    if (WriteNotesIniValue("TRANSLOG_Path", newLogPath, notesIniPath) != 1 ||
        WriteNotesIniValue("Previous_TRANSLOG_Path", newLogPath, notesIniPath) != 1) {
      Emit(progress_, "ERROR: Could not update " + notesIniPath + " with new log directory.\r\n");
      return kIniNotUpdated;
    }
    Emit(progress_, "Update complete\r\n");
    hasDb_ = false;
    return api_.CloseDb(db_);
  }

 private:
  uint16_t Failed(const std::string& message, notes::Status status) {
    Emit(progress_, message + notes::StatusTextOf(api_, status) + "\r\n");
    return status;
  }

  notes::Status FindServerDocument(const std::string& key, notes::NoteId& noteId) {
    notes::NoteId view = 0;
    if (notes::Status status = api_.FindDesignNote(db_, kServersView, view)) {
      return Failed("ERROR: Could not open " + kServersView + " in names.nsf\r\n", status);
    }
    if (notes::Status status = api_.OpenCollection(db_, view, collection_)) {
      return Failed("ERROR: NIFOpenCollection FAILED\r\n", status);
    }
    hasCollection_ = true;
    uint32_t position = 0, matches = 0;
    if (notes::Status status = api_.FindByName(collection_, key, position, matches)) {
      if ((status & 0x3FFF) == notes::kErrNotFound) {
        return Failed("ERROR: Could not find server record in names.nsf\r\n", status);
      }
      return Failed("ERROR: Attempt to find server record in names.nsf FAILED\r\n", status);
    }
    std::vector<notes::NoteId> ids;
    if (notes::Status status = api_.ReadEntries(collection_, position, matches, ids)) {
      return Failed("ERROR: NIFReadEntries FAILED\r\n", status);
    }
    if (ids.empty()) {
      // Nothing was read, so nothing can be updated: not a success.
      Failed("ERROR: Empty buffer returned by NIFReadEntries.\r\n", notes::kNoError);
      return notes::kErrNotFound;
    }
    noteId = ids.front();
    hasCollection_ = false;
    return api_.CloseCollection(collection_);
  }

  notes::Status UpdateDocument(notes::NoteId noteId, const std::string& newLogPath) {
    if (notes::Status status = api_.OpenNote(db_, noteId, note_)) {
      return Failed("ERROR: Could not open server record in names.nsf\r\n", status);
    }
    hasNote_ = true;
    std::string current;
    api_.GetTextItem(note_, kLogPathItem, current);
    if (notes::Status status = api_.SetTextItem(note_, kLogPathItem, newLogPath)) {
      return Failed("ERROR: Could not modify transaction log path in server record.\r\n", status);
    }
    notes::Status saved = api_.UpdateNote(note_);
    hasNote_ = false;
    notes::Status closed = api_.CloseNote(note_);
    if (saved == notes::kNoError) saved = closed;
    if (saved != notes::kNoError) {
      return Failed("ERROR: Could not modify transaction log path in server record.\r\n", saved);
    }
    return notes::kNoError;
  }

  void Release() {
    if (hasNote_) api_.CloseNote(note_);
    if (hasCollection_) api_.CloseCollection(collection_);
    if (hasDb_) api_.CloseDb(db_);
    hasNote_ = hasCollection_ = hasDb_ = false;
  }

  ProgressSink& progress_;
  notes::NotesApi& api_;
  notes::Handle db_ = 0, collection_ = 0, note_ = 0;
  bool hasDb_ = false, hasCollection_ = false, hasNote_ = false;
};

}  // namespace

uint16_t UpdateServerRecord(ProgressSink& progress, notes::NotesApi& api, const PartitionInfo& server,
                            const std::string& notesIniPath, const std::string& newLogPath) {
  if (StartNotesRuntime(api, notesIniPath) != notes::kNoError) return kRuntimeNotStarted;
  // Ends the runtime on every way out, after the update has closed what it opened.
  NotesRuntimeScope runtime(api);
  return RecordUpdate(progress, api).Run(server, notesIniPath, newLogPath);
}

}  // namespace omb::config
