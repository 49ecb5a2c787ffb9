#include "restore/messages.h"

#include <cstdio>

namespace omb::restore {

std::string ExtentStem(uint32_t extentNumber) {
  char name[16];
  std::snprintf(name, sizeof name, "S%07u", extentNumber);
  return name;
}

bool VerifiedCopy(RestoreJob& job, const std::string& path, uint32_t extentNumber) {
  const notes::Status status = job.services.notes.VerifyLogExtent(path, extentNumber);
  if (status == 0) return true;
  Say(job, "WARNING: Log file " + path + " is damaged and is not used (" +
               notes::StatusTextOf(job.services.notes, status) + ").\r\n");
  return false;
}

std::string WithTrailingBackslash(const std::string& directory) {
  if (directory.empty() || directory.back() == '\\') return directory;
  return directory + "\\";
}

}  // namespace omb::restore
