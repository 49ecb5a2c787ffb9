#pragma once
// Small helpers shared by the restore steps: emitting through the request's
// progress channel and the names of log extents.
#include <cstdint>
#include <string>
#include <string_view>

#include "restore/restore.h"

namespace omb::restore {

// Places the message in the request's progress line and emits it.
inline void Say(RestoreJob& job, std::string_view message) { Emit(job.progress, message); }

// Emits a message that ends the run: it is also appended to errorText.
inline int Fail(RestoreJob& job, std::string& errorText, const std::string& message) {
  Say(job, message);
  errorText += message;
  return -1;
}

// "S%07d": the extent's file name without extension.
std::string ExtentStem(uint32_t extentNumber);

// Whether the file is a whole, undamaged copy of the extent (the Notes
// runtime checks it); a damaged one is named in a "WARNING: " line.
bool VerifiedCopy(RestoreJob& job, const std::string& path, uint32_t extentNumber);

// A directory with exactly one trailing backslash (empty stays empty).
std::string WithTrailingBackslash(const std::string& directory);

}  // namespace omb::restore
