#pragma once
// The Domino servers of the machine, found in the registry the way the
// program's discovery finds them: the data directory of each partition and
// where its notes.ini lies.
#include <string>
#include <vector>

namespace omb::dominosim {

struct ServerPlace {
  int number = 0;
  std::string dataDir;
  std::string notesIni;
};

std::vector<ServerPlace> FindServers();
// The server of a number; raises UsageError when there is none.
ServerPlace ServerByNumber(int number);

// Registry keys and the program directory of both layouts.
constexpr const char* kOldKey = "SOFTWARE\\Lotus\\Domino\\5.0";
constexpr const char* kNewKey = "SOFTWARE\\Lotus\\Domino";
constexpr const char* kProgramDir = "C:\\Lotus\\Domino";

}  // namespace omb::dominosim
