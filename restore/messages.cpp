#include "restore/messages.h"

#include <cstdio>

namespace omb::restore {

std::string ExtentStem(uint32_t extentNumber) {
  char name[16];
  std::snprintf(name, sizeof name, "S%07u", extentNumber);
  return name;
}

std::string WithTrailingBackslash(const std::string& directory) {
  if (directory.empty() || directory.back() == '\\') return directory;
  return directory + "\\";
}

}  // namespace omb::restore
