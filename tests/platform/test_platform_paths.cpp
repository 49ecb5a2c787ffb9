#include <gtest/gtest.h>

#include <filesystem>

#include "platform/paths.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

namespace fs = std::filesystem;

class PathsTest : public test::MachineTest {};

TEST_F(PathsTest, DriveLetterAndSeparatorsNormalise) {
  fs::path drives = root_ / "drives";
  EXPECT_EQ(HostPath("E:\\vaultinfo\\Mail1"), drives / "E" / "vaultinfo" / "Mail1");
  EXPECT_EQ(HostPath("e:/vaultinfo/Mail1"), drives / "E" / "vaultinfo" / "Mail1");
  EXPECT_EQ(HostPath("E:\\\\vaultinfo\\\\\\Mail1\\"), drives / "E" / "vaultinfo" / "Mail1");
  EXPECT_EQ(HostPath("x:"), drives / "X");
  EXPECT_EQ(HostPath("X:\\"), drives / "X");
  EXPECT_EQ(HostPath("\\Windows\\omb.ini"), drives / "C" / "Windows" / "omb.ini");
  EXPECT_EQ(DriveFolder('d'), drives / "D");
}

TEST_F(PathsTest, ParentStepsStayInsideTheDrive) {
  EXPECT_EQ(HostPath("D:\\a\\..\\b"), root_ / "drives" / "D" / "b");
  EXPECT_EQ(HostPath("D:\\..\\..\\etc\\passwd"), root_ / "drives" / "D" / "etc" / "passwd");
  EXPECT_EQ(HostPath("D:\\.\\a\\."), root_ / "drives" / "D" / "a");
}

TEST_F(PathsTest, ExistingComponentsMatchWithoutRegardToCase) {
  fs::create_directories(root_ / "drives" / "C" / "Temp" / "Snap_Info");
  WriteHostFile(root_ / "drives" / "C" / "Temp" / "Snap_Info" / "Hint.txt", "x");
  fs::path expected = root_ / "drives" / "C" / "Temp" / "Snap_Info" / "Hint.txt";
  EXPECT_EQ(HostPath("C:\\TEMP\\SNAP_INFO\\HINT.TXT"), expected);
  EXPECT_EQ(HostPath("c:\\temp\\snap_info\\hint.txt"), expected);
}

TEST_F(PathsTest, MissingComponentsKeepTheCallersCase) {
  fs::create_directories(root_ / "drives" / "C" / "Temp");
  EXPECT_EQ(HostPath("C:\\TEMP\\NewFolder\\New.Txt"), root_ / "drives" / "C" / "Temp" / "NewFolder" / "New.Txt");
}

TEST_F(PathsTest, ExactMatchWinsOverOtherCase) {
  fs::create_directories(root_ / "drives" / "C" / "data");
  fs::create_directories(root_ / "drives" / "C" / "DATA");
  EXPECT_EQ(HostPath("C:\\DATA"), root_ / "drives" / "C" / "DATA");
  EXPECT_EQ(HostPath("C:\\data"), root_ / "drives" / "C" / "data");
  // Neither spelling matches exactly: the choice is stable.
  EXPECT_EQ(HostPath("C:\\Data"), root_ / "drives" / "C" / "DATA");
}

TEST_F(PathsTest, WindowsPathIsTheInverseBelowTheDrives) {
  EXPECT_EQ(WindowsPath(root_ / "drives" / "E" / "vaultinfo" / "Mail1"), "E:\\vaultinfo\\Mail1");
  EXPECT_EQ(WindowsPath(root_ / "drives" / "E"), "E:\\");
  EXPECT_EQ(WindowsPath(root_ / "registry" / "HKLM.reg"), "");
  EXPECT_EQ(WindowsPath("/etc/passwd"), "");
}

TEST_F(PathsTest, SetMachineRootOverridesTheEnvironment) {
  fs::path other = root_ / "other";
  SetMachineRoot(other);
  EXPECT_EQ(MachineRoot(), other);
  EXPECT_EQ(DriveFolder('c'), other / "drives" / "C");
  SetMachineRoot(root_);
}

TEST(PathTextTest, DriveAndCaseHelpers) {
  EXPECT_EQ(DriveOf("d:\\x"), 'D');
  EXPECT_EQ(DriveOf("\\x"), 0);
  EXPECT_EQ(DriveOf("1:\\x"), 0);
  EXPECT_EQ(DriveOf(""), 0);
  EXPECT_TRUE(EqualsNoCase("nServer", "NSERVER"));
  EXPECT_FALSE(EqualsNoCase("nserver", "nserverx"));
  EXPECT_EQ(ToUpper("Mail1/Acme"), "MAIL1/ACME");
  EXPECT_EQ(ToLower("Mail1/Acme"), "mail1/acme");
}

TEST(PathHelpers, JoinPutsExactlyOneBackslash) {
  EXPECT_EQ(JoinPath("D:\\Lotus\\Domino", "notes.ini"), "D:\\Lotus\\Domino\\notes.ini");
  EXPECT_EQ(JoinPath("D:\\Lotus\\Domino\\", "notes.ini"), "D:\\Lotus\\Domino\\notes.ini");
  EXPECT_EQ(JoinPath("", "notes.ini"), "\\notes.ini");
}

TEST(PathHelpers, SplitPathIntoItsParts) {
  PathParts parts = SplitPath("D:\\Lotus\\Domino\\Data\\mail\\a.b.nsf");
  EXPECT_EQ(parts.drive, "D:");
  EXPECT_EQ(parts.directory, "\\Lotus\\Domino\\Data\\mail\\");
  EXPECT_EQ(parts.fileName, "a.b");
  EXPECT_EQ(parts.extension, ".nsf");
  EXPECT_EQ(parts.driveAndDirectory(), "D:\\Lotus\\Domino\\Data\\mail\\");

  parts = SplitPath("logdir\\sub");
  EXPECT_EQ(parts.drive, "");
  EXPECT_EQ(parts.directory, "logdir\\");
  EXPECT_EQ(parts.fileName, "sub");
  EXPECT_EQ(parts.extension, "");

  parts = SplitPath("C:/Program Files/nserver.exe");
  EXPECT_EQ(parts.directory, "/Program Files/");
  EXPECT_EQ(parts.fileName, "nserver");
  EXPECT_EQ(parts.extension, ".exe");
  EXPECT_EQ(SplitPath("").fileName, "");
}

}  // namespace
}  // namespace omb::platform
