#include <cstdio>

#include "notes/notes.h"
#include "notes/runtime.h"

namespace omb::notes {

namespace {

Runtime& BuiltIn() {
  static Runtime runtime;
  return runtime;
}

}  // namespace

std::string LogSeriesText(const LogId& id) {
  uint32_t series = 0;
  for (size_t word = 0; word < 4; ++word) {
    uint32_t value = 0;
    for (size_t byte = 0; byte < 4; ++byte) value |= uint32_t{id[word * 4 + byte]} << (8 * byte);
    series ^= value;
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08x", series);
  return text;
}

NotesApi& Api() { return BuiltIn(); }

}  // namespace omb::notes
