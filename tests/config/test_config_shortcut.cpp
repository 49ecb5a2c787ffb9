#include <gtest/gtest.h>

#include <filesystem>

#include "config/configuration.h"
#include "platform/shell_link.h"
#include "tests/support/machine_fixture.h"

namespace omb::config {
namespace {

class ShortcutTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    server_.partitionNumber = 2;
    server_.dataPath = "D:\\Lotus\\Domino\\Data1";
    server_.partitioned = true;
    path_ = ServerShortcutPath(server_.dataPath);
    std::filesystem::create_directories(Host(path_).parent_path());
  }
  PartitionInfo server_;
  std::string path_;
  ProgressSink progress_;
};

TEST(ShortcutPath, NameIsTheDataPathWithoutDriveAndBackslashes) {
  EXPECT_EQ(ServerShortcutPath("D:\\Lotus\\Domino\\Data1"),
            "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Lotus Applications\\"
            "Domino(LotusDominoData1).lnk");
  EXPECT_EQ(ServerShortcutPath("C:\\Domino\\Data").substr(ServerShortcutPath("C:\\Domino\\Data").rfind('\\') + 1),
            "Domino(DominoData).lnk");
  EXPECT_EQ(ServerShortcutPath("C:").substr(ServerShortcutPath("C:").rfind('\\') + 1), "Domino().lnk");
}

TEST_F(ShortcutTest, RepointKeepsTheTargetAndNamesTheNewNotesIni) {
  ASSERT_EQ(platform::SaveShellLink(path_, {"C:\\Lotus\\Domino\\nserver.exe", "=D:\\Lotus\\Domino\\Data1\\notes.ini",
                                            "C:\\Lotus\\Domino", ""}),
            0u);
  ASSERT_EQ(RepointServerShortcut(server_, progress_, "X:\\Lotus\\Domino\\Data1\\notes.ini"), 0);
  platform::ShellLink link;
  ASSERT_EQ(platform::LoadShellLink(path_, link), 0u);
  EXPECT_EQ(link.arguments, "=X:\\Lotus\\Domino\\Data1\\notes.ini");
  EXPECT_EQ(link.target, "C:\\Lotus\\Domino\\nserver.exe");
  EXPECT_EQ(progress_.accumulated,
            "Modifying start menu shortcut for partition 2\r\n"
            "Shortcut for partition 2 is:\r\n" + path_ + "\r\n"
            "Attempting to load this shortcut in order to modify path to the notes.ini file\r\n"
            "The shortcut currently references the notes.ini located at:\r\n"
            "=D:\\Lotus\\Domino\\Data1\\notes.ini\r\n"
            "Changing the shortcut to reference the new notes.ini located at:\r\n"
            "X:\\Lotus\\Domino\\Data1\\notes.ini\r\n"
            "Partition 2's shortcut to successfully modified\r\n\r\n");
}

TEST_F(ShortcutTest, MissingShortcutAsksForAManualChange) {
  EXPECT_EQ(RepointServerShortcut(server_, progress_, "X:\\n.ini"), -1);
  EXPECT_NE(progress_.accumulated.find("ERROR: Shortcut modification failed, could not load shortcut.\r\n"
                                       "ERROR: The system cannot find the file specified.\r\n\r\n"
                                       "Please modify partition 2's shortcut to reference the new notes.ini "
                                       "located at:\r\nX:\\n.ini\r\n"),
            std::string::npos)
      << progress_.accumulated;
  EXPECT_FALSE(std::filesystem::exists(Host(path_)));
}

TEST_F(ShortcutTest, NewNotesIniPathTheLinkCannotHoldFailsTheSaveAndKeepsTheOldLink) {
  ASSERT_EQ(platform::SaveShellLink(path_, {"C:\\n.exe", "=old", "", ""}), 0u);
  EXPECT_EQ(RepointServerShortcut(server_, progress_, "X:\\a\r\nTarget=C:\\evil.exe"), -2);
  EXPECT_NE(progress_.accumulated.find("ERROR: could not save Partition 2's shortcut.\r\n"
                                       "Please modify shortcut it manually\r\n"),
            std::string::npos);
  platform::ShellLink link;
  ASSERT_EQ(platform::LoadShellLink(path_, link), 0u);
  EXPECT_EQ(link.arguments, "=old");
}

}  // namespace
}  // namespace omb::config
