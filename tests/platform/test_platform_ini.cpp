#include <gtest/gtest.h>

#include "platform/ini.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

class IniTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    std::filesystem::create_directories(root_ / "drives" / "C" / "Windows");
  }
  std::string FileText() { return ReadHostFile(Host("C:\\Windows\\omb.ini")); }
};

TEST_F(IniTest, WriteChangesOnlyItsOwnLine) {
  const std::string original =
      "; settings\r\n"
      "[NOTES]\r\n"
      "CHANGE_INFO_DIR=E:\\vaultinfo\r\n"
      "; keep me\r\n"
      "CONFIGWIZ=1\r\n"
      "\r\n"
      "[Other]\r\n"
      "a = b\r\n";
  WriteHostFile(Host("C:\\Windows\\omb.ini"), original);
  ASSERT_TRUE(WriteIniValue("C:\\Windows\\omb.ini", "notes", "configwiz", "0"));
  std::string expected = original;
  expected.replace(expected.find("CONFIGWIZ=1"), 11, "CONFIGWIZ=0");
  EXPECT_EQ(FileText(), expected);
}

TEST_F(IniTest, NewKeyGoesToTheEndOfItsSection) {
  WriteHostFile(Host("C:\\Windows\\omb.ini"), "[NOTES]\r\nA=1\r\n\r\n[Other]\r\nB=2\r\n");
  ASSERT_TRUE(WriteIniValue("C:\\Windows\\omb.ini", "NOTES", "BACKUPWIZ", "1"));
  EXPECT_EQ(FileText(), "[NOTES]\r\nA=1\r\nBACKUPWIZ=1\r\n\r\n[Other]\r\nB=2\r\n");
}

TEST_F(IniTest, MissingFileAndSectionAreCreated) {
  ASSERT_TRUE(WriteIniValue("C:\\Windows\\omb.ini", "NOTES", "CHANGE_INFO_DIR", "E:\\vaultinfo"));
  EXPECT_EQ(FileText(), "[NOTES]\r\nCHANGE_INFO_DIR=E:\\vaultinfo\r\n");
  ASSERT_TRUE(WriteIniValue("C:\\Windows\\omb.ini", "Second", "K", "V"));
  EXPECT_EQ(FileText(), "[NOTES]\r\nCHANGE_INFO_DIR=E:\\vaultinfo\r\n\r\n[Second]\r\nK=V\r\n");
  EXPECT_FALSE(WriteIniValue("C:\\NoFolder\\x.ini", "S", "K", "V"));
}

TEST_F(IniTest, UnixLineEndsStayUnix) {
  WriteHostFile(Host("C:\\Windows\\notes.ini"), "[Notes]\nDirectory=D:\\Data\n");
  ASSERT_TRUE(WriteIniValue("C:\\Windows\\notes.ini", "Notes", "TRANSLOG_Path", "L:\\logdir"));
  EXPECT_EQ(ReadHostFile(Host("C:\\Windows\\notes.ini")), "[Notes]\nDirectory=D:\\Data\nTRANSLOG_Path=L:\\logdir\n");
}

TEST_F(IniTest, ReadIsCaseInsensitiveAndTrimmed) {
  WriteHostFile(Host("C:\\Windows\\notes.ini"),
                "Orphan=1\r\n[Notes]\r\n  Directory  =  D:\\Lotus\\Data  \r\nQuoted=\"x y\"\r\nKeyFile=a=b\r\n");
  EXPECT_EQ(ReadIniValue("C:\\WINDOWS\\NOTES.INI", "NOTES", "directory"), "D:\\Lotus\\Data");
  EXPECT_EQ(ReadIniValue("C:\\Windows\\notes.ini", "Notes", "Quoted"), "x y");
  EXPECT_EQ(ReadIniValue("C:\\Windows\\notes.ini", "Notes", "KeyFile"), "a=b");
  EXPECT_EQ(ReadIniValue("C:\\Windows\\notes.ini", "Notes", "Orphan"), std::nullopt);
  EXPECT_EQ(ReadIniValue("C:\\Windows\\notes.ini", "Other", "Directory"), std::nullopt);
  EXPECT_EQ(ReadIniValue("C:\\Windows\\absent.ini", "Notes", "Directory"), std::nullopt);
}

TEST_F(IniTest, ByteOrderMarkDoesNotHideTheFirstSection) {
  WriteHostFile(Host("C:\\Windows\\notes.ini"), "\xEF\xBB\xBF[Notes]\r\nDirectory=D:\\Data\r\n");
  EXPECT_EQ(ReadIniValue("C:\\Windows\\notes.ini", "Notes", "Directory"), "D:\\Data");
  ASSERT_TRUE(WriteIniValue("C:\\Windows\\notes.ini", "Notes", "Directory", "E:\\Data"));
  EXPECT_EQ(ReadHostFile(Host("C:\\Windows\\notes.ini")), "\xEF\xBB\xBF[Notes]\r\nDirectory=E:\\Data\r\n");
}

TEST_F(IniTest, ValuesCannotInjectLines) {
  EXPECT_FALSE(WriteIniValue("C:\\Windows\\omb.ini", "NOTES", "K", "v\r\n[Evil]\r\nX=1"));
  EXPECT_FALSE(WriteIniValue("C:\\Windows\\omb.ini", "NOTES", "K=J", "v"));
  EXPECT_FALSE(WriteIniValue("C:\\Windows\\omb.ini", "NO]TES", "K", "v"));
  EXPECT_FALSE(WriteIniValue("C:\\Windows\\omb.ini", "NOTES", "", "v"));
  EXPECT_EQ(ReadIniValue("C:\\Windows\\omb.ini", "Evil", "X"), std::nullopt);
}

TEST_F(IniTest, EmptyValueReadsAsEmptyNotMissing) {
  ASSERT_TRUE(WriteIniValue("C:\\Windows\\omb.ini", "NOTES", "CHANGE_INFO_DIR", ""));
  EXPECT_EQ(ReadIniValue("C:\\Windows\\omb.ini", "NOTES", "CHANGE_INFO_DIR"), "");
}

}  // namespace
}  // namespace omb::platform
