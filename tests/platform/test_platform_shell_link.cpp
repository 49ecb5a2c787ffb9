#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shell_link.h"
#include "platform/system.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

class ShellLinkTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    std::filesystem::create_directories(Host(folder_));
  }
  const std::string folder_ = AllUsersProgramsFolder() + "\\Lotus Applications";
  const std::string path_ = folder_ + "\\Domino(LotusDominoData1).lnk";
};

TEST_F(ShellLinkTest, SavedLinkLoadsBackWithEveryValue) {
  ShellLink link{"C:\\Lotus\\Domino\\nserver.exe", "=D:\\Lotus\\Domino\\Data1\\notes.ini",
                 "C:\\Lotus\\Domino", "Domino server Mail1"};
  ASSERT_EQ(SaveShellLink(path_, link), 0u);
  ShellLink loaded;
  ASSERT_EQ(LoadShellLink(path_, loaded), 0u);
  EXPECT_EQ(loaded.target, link.target);
  EXPECT_EQ(loaded.arguments, link.arguments);  // the leading "=" survives
  EXPECT_EQ(loaded.workingDirectory, link.workingDirectory);
  EXPECT_EQ(loaded.description, link.description);
}

TEST_F(ShellLinkTest, LoadFindsTheLinkWithoutRegardToCase) {
  ASSERT_EQ(SaveShellLink(path_, {"C:\\a.exe", "=x", "", ""}), 0u);
  ShellLink loaded;
  EXPECT_EQ(LoadShellLink(ToUpper(path_), loaded), 0u);
  EXPECT_EQ(loaded.target, "C:\\a.exe");
}

TEST_F(ShellLinkTest, MissingLinkAndMissingFolderGiveHresultsWithText) {
  ShellLink loaded;
  EXPECT_EQ(LoadShellLink(folder_ + "\\absent.lnk", loaded), kLinkNotFound);
  EXPECT_EQ(LoadShellLink("C:\\nofolder\\absent.lnk", loaded), kLinkPathNotFound);
  EXPECT_EQ(SaveShellLink("C:\\nofolder\\x.lnk", {}), kLinkPathNotFound);
  EXPECT_EQ(FormatMessageText(kLinkNotFound), "The system cannot find the file specified.\r\n");
}

TEST_F(ShellLinkTest, FilesThatAreNotLinksAreRefusedAndLeaveTheOutputUntouched) {
  ShellLink loaded{"keep", "keep", "", ""};
  const std::string cases[] = {
      "",                                               // empty file
      "Target=C:\\a.exe\r\n",                           // no header
      "[Shell Link]\r\nTarget C:\\a.exe\r\n",           // no "="
      "[Shell Link]\r\nIcon=C:\\a.ico\r\n",             // unknown key
      "[Shell Link]\r\nTarget=" + std::string(kMaxShellLinkValue + 1, 'x') + "\r\n",
  };
  for (const std::string& bytes : cases) {
    WriteHostFile(Host(path_), bytes);
    EXPECT_EQ(LoadShellLink(path_, loaded), kLinkInvalid) << bytes.substr(0, 40);
    EXPECT_EQ(loaded.target, "keep");
  }
  WriteHostFile(Host(path_), "[Shell Link]\r\n" + std::string(64 * 1024, 'x'));
  EXPECT_EQ(LoadShellLink(path_, loaded), kLinkInvalid);
  EXPECT_EQ(LoadShellLink(folder_, loaded), kLinkInvalid);
}

TEST_F(ShellLinkTest, ValuesTheFileCannotHoldAreRefusedAndTheOldLinkStays) {
  ASSERT_EQ(SaveShellLink(path_, {"C:\\a.exe", "=old", "", ""}), 0u);
  EXPECT_EQ(SaveShellLink(path_, {"C:\\a.exe", "=new\r\nTarget=C:\\evil.exe", "", ""}), kLinkBadValue);
  EXPECT_EQ(SaveShellLink(path_, {std::string(kMaxShellLinkValue + 1, 'x'), "", "", ""}), kLinkBadValue);
  ShellLink loaded;
  ASSERT_EQ(LoadShellLink(path_, loaded), 0u);
  EXPECT_EQ(loaded.arguments, "=old");
  EXPECT_EQ(loaded.target, "C:\\a.exe");
}

TEST_F(ShellLinkTest, LongestValueRoundTrips) {
  const std::string longest(kMaxShellLinkValue, 'a');
  ASSERT_EQ(SaveShellLink(path_, {longest, longest, longest, longest}), 0u);
  ShellLink loaded;
  ASSERT_EQ(LoadShellLink(path_, loaded), 0u);
  EXPECT_EQ(loaded.description, longest);
}

}  // namespace
}  // namespace omb::platform
