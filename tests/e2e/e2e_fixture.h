#pragma once
// A simulated machine driven from outside: dominosim makes it and writes
// documents, omb backs it up and restores it, and the checks read the
// files, the storage component and the event log as an operator would.
#include <map>
#include <string>
#include <vector>

#include "tests/support/machine_fixture.h"

namespace omb::test {

class EndToEndTest : public MachineTest {
 protected:
  RunResult Sim(const std::vector<std::string>& args);
  RunResult Omb(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
  // Runs omb and expects it to succeed; returns its standard output.
  std::string OmbOk(const std::vector<std::string>& args);
  void SimOk(const std::vector<std::string>& args);

  // dominosim checksum: relative path -> "count hash" (or "damaged").
  std::map<std::string, std::string> Checksum(int server);
  // Names of the snapshots on the volume of a drive, newest first.
  std::vector<std::string> Snapshots(char drive);
  // Files below a Windows folder (host-relative names with '/').
  std::vector<std::string> FilesBelow(const std::string& windowsFolder);
  std::string ReadWindowsFile(const std::string& windowsPath);
  // The newest report of a category folder ("Backup", "Restore", ...).
  std::vector<std::string> Reports(const std::string& category);
};

// Documents in one checksum line ("3400 cd16..." -> 3400).
long DocumentCount(const std::string& checksumLine);

}  // namespace omb::test
