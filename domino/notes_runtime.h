#pragma once
// Starting the Notes runtime for one server's notes.ini, as discovery, the
// backup run and the restore run do it, and ending it on every way out.
#include <string>

#include "notes/notes.h"

namespace omb {

// Initialises the runtime with {"=" + notesIniPath} (no argument for an
// empty path), terminates it at once and initialises it again: the status
// of the first start that fails, or of the second start.
int StartNotesRuntime(notes::NotesApi& api, const std::string& notesIniPath);

// Terminates the runtime when it goes out of scope.
class NotesRuntimeScope {
 public:
  explicit NotesRuntimeScope(notes::NotesApi& api) : api_(api) {}
  ~NotesRuntimeScope() { api_.TermRuntime(); }
  NotesRuntimeScope(const NotesRuntimeScope&) = delete;
  NotesRuntimeScope& operator=(const NotesRuntimeScope&) = delete;

 private:
  notes::NotesApi& api_;
};

}  // namespace omb
