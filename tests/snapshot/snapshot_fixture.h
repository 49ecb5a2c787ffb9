#pragma once
// The machine that snapshot naming and deletion tests share: computer name
// HOST, drive E with the Vaultinfo root E:\vaultinfo, local time UTC.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/registry.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {

inline void PrepareSnapshotMachine(const std::filesystem::path& root) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  platform::RegValue computer;
  computer.text = "HOST";
  ASSERT_TRUE(platform::WriteRegistry("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                                      "ComputerName", computer, true));
  std::filesystem::create_directories(root / "drives" / "E");
  platform::CreateOneDirectory("C:\\Windows");
  ASSERT_TRUE(platform::WriteIniValue(GetIniPath(), "NOTES", "CHANGE_INFO_DIR", "E:\\vaultinfo"));
}

}  // namespace omb::test
