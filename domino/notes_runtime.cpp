#include "domino/notes_runtime.h"

#include <vector>

namespace omb {

int StartNotesRuntime(notes::NotesApi& api, const std::string& notesIniPath) {
  std::vector<std::string> args;
  if (!notesIniPath.empty()) args.push_back("=" + notesIniPath);
  notes::Status status = api.InitRuntime(args);
  if (status != notes::kNoError) return status;
  api.TermRuntime();
  return api.InitRuntime(args);
}

}  // namespace omb
