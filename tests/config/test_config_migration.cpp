// The configuration run on a machine of partitioned or single servers:
// where the files go, what is repointed, what the run says and reports.
#include <gtest/gtest.h>

#include <filesystem>

#include "config/configuration.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/config/config_machine.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;
using config::kKindData;
using config::kKindLog;

bool Has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

class MigrationTest : public ConfigMachineTest {};

TEST_F(MigrationTest, PartitionedServersAreMovedAndRepointedEverywhere) {
  Build(Layout::Partitioned, 2);
  config::ConfigureJob job = FullJob();
  ASSERT_EQ(Run(job), 0) << Text();
  for (int i = 0; i < 2; ++i) {
    const PartitionInfo& server = servers_[static_cast<size_t>(i)];
    const std::string data = NewPath(server.dataPath, 'X');
    const std::string logs = NewPath(server.logPath, 'Y');
    EXPECT_TRUE(CopiedWhole(server.dataPath, data)) << server.dataPath;
    EXPECT_TRUE(CopiedWhole(server.logPath, logs)) << server.logPath;
    EXPECT_EQ(RegistryDataPath(i), data);
    const std::string newIni = data + "\\notes.ini";
    EXPECT_EQ(IniValue(newIni, "Directory"), data);
    // The log settings were written before the data copy, which took them along.
    EXPECT_EQ(IniValue(newIni, "TRANSLOG_Path"), logs);
    EXPECT_EQ(IniValue(newIni, "Previous_TRANSLOG_Path"), logs);
    EXPECT_EQ(ServerDocumentLogPath(i), logs);
    EXPECT_EQ(ShortcutArguments(i), "=" + newIni);
    EXPECT_FALSE(platform::PathExists(server.notesIniPath));
    EXPECT_TRUE(platform::IsFile(server.notesIniPath + ".old"));
    // The sources stay where they were.
    EXPECT_TRUE(platform::IsFile(server.dataPath + "\\mail\\user1.nsf"));
  }
  EXPECT_EQ(OmbIni("CONFIGWIZ"), "1");
  EXPECT_EQ(OmbIni("CHANGE_INFO_DIR"), "V:\\vaultinfo");
  EXPECT_TRUE(platform::IsDirectory("V:\\vaultinfo"));
}

TEST_F(MigrationTest, SuccessfulRunSaysWhatItDidInOrderAndReportsIt) {
  Build(Layout::Partitioned, 1);
  config::ConfigureJob job = FullJob();
  ASSERT_EQ(Run(job), 0);
  const std::string ordered[] = {
      "STARTING CONFIGURATION OF DOMINO TRANSACTION LOGS\r\n\r\n",
      "Starting migration of Log directory for Mail1/Sales/Acme\r\n",
      "Now copying from: \r\nD:\\Lotus\\Domino\\Log1\r\nTo new location: \r\nY:\\Lotus\\Domino\\Log1\r\n",
      "\r\n\r\nCopy Domino Log directory SUCCEEDED.\r\n\r\n",
      "Copy successfully completed.\r\n",
      "Updating the partition server's names.nsf and notes.ini with new log location.\r\n",
      "names.nsf successfully updated.\r\nUpdating log directory entries in D:\\Lotus\\Domino\\Data1\\notes.ini\r\n"
      "Current log directory entry is:\r\nD:\\Lotus\\Domino\\Log1\r\n"
      "Updating log directory entry to:\r\nY:\\Lotus\\Domino\\Log1\r\n",
      "Update complete\r\n",
      "COMPLETED CONFIGURATION OF DOMINO TRANSACTION LOGS\r\n\r\n",
      "STARTING CONFIGURATION OF DATA DIRECTORIES\r\n\r\n",
      "Starting migration of Data directory for Mail1/Sales/Acme\r\n",
      "\r\n\r\nCopy Domino Data directory SUCCEEDED.\r\n\r\n",
      "Updating Windows registry to reflect changes:\r\n",
      "Registry update complete.\r\n",
      "\r\nUpdating the partition server's notes.ini with new data directory location.\r\n"
      "Current directory entry is:\r\nD:\\Lotus\\Domino\\Data1Updating directory entry to:\r\nX:\\Lotus\\Domino\\Data1",
      "Modifying program shortcut.",
      "Partition 1's shortcut to successfully modified\r\n\r\n",
      "Updated Domino notes.ini with new directory value.\r\n",
      "Renamed D:\\Lotus\\Domino\\Data1\\notes.ini to \r\nD:\\Lotus\\Domino\\Data1\\notes.ini.old\r\n",
      "COMPLETED CONFIGURATION OF DOMINO DATA DIRECTORIES\r\n\r\n",
      "Creating Vaultinfo directory V:\\vaultinfo\r\n",
      "Vaultinfo Directory created.\r\n",
      "MIGRATION COMPLETE! QUIT Ombrel for Lotus Domino and Restart your computer.\r\n"
      "all Domino servers on this computer.\r\n",
  };
  size_t at = 0;
  for (const std::string& piece : ordered) {
    const size_t found = Text().find(piece, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << piece << "\n" << Text();
    at = found + piece.size();
  }
  EXPECT_FALSE(Has(Text(), "ERROR: "));
  EXPECT_EQ(Report(), Text());
  ASSERT_EQ(fakes_->messages.shown.size(), 1u);
  EXPECT_EQ(fakes_->messages.shown[0].caption, "Restore Wizard");
  EXPECT_EQ(fakes_->messages.shown[0].text,
            "MIGRATION COMPLETE! QUIT Ombrel for Lotus Domino and restart\r\nall Domino servers on this computer.\r\n");
  EXPECT_EQ(observer_->finished, std::vector<bool>{true});
  EXPECT_EQ(observer_->busyChanges, (std::vector<bool>{true, false}));
}

TEST_F(MigrationTest, ProgressBarCountsTheFilesOfEachCopy) {
  Build(Layout::Partitioned, 1);
  config::ConfigureJob job = FullJob();
  ASSERT_EQ(Run(job), 0);
  ASSERT_EQ(observer_->ranges.size(), 2u);
  EXPECT_EQ(observer_->ranges[0].high, static_cast<int>(LogFiles().size()));
  EXPECT_EQ(observer_->ranges[1].high, static_cast<int>(DataFiles().size()) + 1);  // and notes.ini
  EXPECT_EQ(observer_->ranges[1].low, 0);
  EXPECT_EQ(observer_->ranges[1].step, 1);
  EXPECT_EQ(observer_->steps, static_cast<int>(LogFiles().size() + DataFiles().size()) + 1);
  EXPECT_EQ(observer_->positions, (std::vector<int>{0, 0}));
}

TEST_F(MigrationTest, ExistingDestinationIsUsedAndSameNamedFilesOverwritten) {
  Build(Layout::Partitioned, 1);
  const std::string data = NewPath(servers_[0].dataPath, 'X');
  WriteHostFile(Host(data + "\\names.nsf"), "stale copy, longer than the original");
  WriteHostFile(Host(data + "\\MAIL\\USER1.NSF"), "stale, in other letter case");
  WriteHostFile(Host(data + "\\keep.txt"), "someone's file");
  config::ConfigureJob job = EmptyJob();
  job.dataEntries.push_back(Entry(0, kKindData));
  ASSERT_EQ(Run(job), 0) << Text();
  EXPECT_TRUE(CopiedWhole(servers_[0].dataPath, data));
  EXPECT_EQ(ReadHostFile(Host(data + "\\keep.txt")), "someone's file");
  // Windows names ignore case: the existing folder and file were reused.
  EXPECT_EQ(ReadHostFile(Host(data) / "MAIL" / "USER1.NSF"), DataFiles().at("mail\\user1.nsf"));
  EXPECT_FALSE(fs::exists(Host(data) / "mail"));
}

TEST_F(MigrationTest, EmptySourceGivesAnEmptyDestination) {
  Build(Layout::Partitioned, 1);
  fs::remove_all(Host(servers_[0].logPath));
  fs::create_directories(Host(servers_[0].logPath));
  config::ConfigureJob job = EmptyJob();
  job.logEntries.push_back(Entry(0, kKindLog));
  ASSERT_EQ(Run(job), 0) << Text();
  EXPECT_TRUE(platform::IsDirectory("Y:\\Lotus\\Domino\\Log1"));
  EXPECT_EQ(observer_->ranges.at(0).high, 0);
}

TEST_F(MigrationTest, MissingSourceDirectoryEndsTheRun) {
  Build(Layout::Partitioned, 1);
  config::ConfigureJob job = FullJob();
  job.logEntries[0].server.logPath = "";
  EXPECT_EQ(Run(job), -1);
  EXPECT_TRUE(Has(Text(), "ERROR: Server Mail1/Sales/Acme Log directory\r\ndoesn't exist!\r\n"
                          "ERROR: Could not complete copy.\r\nERROR: Configure LOG FAILED.\r\n"))
      << Text();
  EXPECT_EQ(Report(), Text());
  EXPECT_EQ(observer_->finished, std::vector<bool>{false});
  EXPECT_EQ(OmbIni("CONFIGWIZ"), "");
}

TEST_F(MigrationTest, SecondLogServerFailingStopsBeforeAnyDataDirectory) {
  Build(Layout::Partitioned, 2);
  fs::remove_all(Host(servers_[1].logPath));
  config::ConfigureJob job = FullJob();
  EXPECT_EQ(Run(job), -1);
  EXPECT_TRUE(CopiedWhole(servers_[0].logPath, NewPath(servers_[0].logPath, 'Y')));
  EXPECT_EQ(ServerDocumentLogPath(0), "Y:\\Lotus\\Domino\\Log1");
  EXPECT_TRUE(Has(Text(), "ERROR: Could not complete copy.\r\nERROR: Configure LOG FAILED.\r\n"));
  EXPECT_FALSE(Has(Text(), "STARTING CONFIGURATION OF DATA DIRECTORIES"));
  EXPECT_FALSE(platform::PathExists("X:\\Lotus"));
  EXPECT_EQ(RegistryDataPath(0), servers_[0].dataPath);
  EXPECT_TRUE(fakes_->messages.shown.empty());
}

TEST_F(MigrationTest, DestinationThatCannotBeCreatedFailsTheEntry) {
  Build(Layout::Partitioned, 1);
  WriteHostFile(Host("Y:\\Lotus"), "a file where a folder must go");
  config::ConfigureJob job = FullJob();
  EXPECT_EQ(Run(job), -1);
  EXPECT_TRUE(Has(Text(), "ERROR: Could not create destination directory:\r\n Y:\\Lotus\\Domino\\Log1"
                          "ERROR: Creation of directory Y:\\Lotus\\Domino\\Log1 FAILED.\r\n"))
      << Text();
  EXPECT_EQ(IniValue(servers_[0].notesIniPath, "TRANSLOG_Path"), servers_[0].logPath);
}

TEST_F(MigrationTest, DestinationOntoTheSourceItselfFailsAndEmptiesNothing) {
  Build(Layout::Partitioned, 1);
  // Drive X: mapped onto drive D:'s folder: every destination file is its source.
  fs::remove_all(platform::DriveFolder('X'));
  fs::create_directory_symlink(platform::DriveFolder('D'), platform::DriveFolder('X'));
  config::ConfigureJob job = EmptyJob();
  job.dataEntries.push_back(Entry(0, kKindData));
  EXPECT_EQ(Run(job), -1);
  EXPECT_TRUE(Has(Text(), "Cannot copy D:\\Lotus\\Domino\\Data1\\"));
  EXPECT_TRUE(Has(Text(), "Directory copy FAILED\n"));
  for (const auto& [name, bytes] : DataFiles()) {
    EXPECT_EQ(ReadHostFile(Host(platform::JoinPath(servers_[0].dataPath, name))), bytes) << name;
  }
  EXPECT_EQ(RegistryDataPath(0), servers_[0].dataPath);
}

TEST_F(MigrationTest, FileThatDiffersFromItsCopyFailsTheCopyAndNothingIsRepointed) {
  Build(Layout::Partitioned, 1);
  // A file the system fills as it is read: its size says 0, reading gives more.
  fs::create_symlink("/proc/self/status", Host(servers_[0].dataPath + "\\status.txt"));
  config::ConfigureJob job = EmptyJob();
  job.dataEntries.push_back(Entry(0, kKindData));
  EXPECT_EQ(Run(job), -1);
  EXPECT_TRUE(Has(Text(), "Cannot copy D:\\Lotus\\Domino\\Data1\\status.txt to X:\\Lotus\\Domino\\Data1\\status.txt\n"
                          "The copy differs from the original file.\r\n"
                          "Directory copy FAILED\n"
                          "ERROR: Copy of Data directory to \r\nX:\\Lotus\\Domino\\Data1 FAILED.\r\n"))
      << Text();
  EXPECT_FALSE(platform::PathExists("X:\\Lotus\\Domino\\Data1\\status.txt"));
  EXPECT_EQ(RegistryDataPath(0), servers_[0].dataPath);
  EXPECT_EQ(ShortcutArguments(0), "=" + servers_[0].notesIniPath);
  EXPECT_TRUE(platform::IsFile(servers_[0].notesIniPath));
}

TEST_F(MigrationTest, SourceEntryThatCannotBeReadFailsWithTheSystemText) {
  Build(Layout::Partitioned, 1);
  fs::create_symlink("/nonexistent/omb", Host(servers_[0].logPath + "\\dangling.TXN"));
  config::ConfigureJob job = EmptyJob();
  job.logEntries.push_back(Entry(0, kKindLog));
  EXPECT_EQ(Run(job), -1);
  EXPECT_TRUE(Has(Text(), "Cannot copy D:\\Lotus\\Domino\\Log1\\dangling.TXN to Y:\\Lotus\\Domino\\Log1\\dangling.TXN\n"
                          "The system cannot find the file specified.\r\nDirectory copy FAILED\n"))
      << Text();
  EXPECT_EQ(ServerDocumentLogPath(0), servers_[0].logPath);
  EXPECT_EQ(IniValue(servers_[0].notesIniPath, "TRANSLOG_Path"), servers_[0].logPath);
}

// ---- the registry place of each layout ----------------------------------------

struct LayoutCase {
  Layout layout;
  const char* name;
};

class LayoutTest : public ConfigMachineTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(LayoutTest, DataPathIsWrittenWhereDiscoveryReadsIt) {
  Build(GetParam().layout, 1);
  config::ConfigureJob job = FullJob();
  ASSERT_EQ(Run(job), 0) << Text();
  const std::string data = NewPath(servers_[0].dataPath, 'X');
  EXPECT_EQ(RegistryDataPath(0), data);
  EXPECT_EQ(platform::ReadRegistry("SOFTWARE\\Lotus\\Domino\\5.0", "DataPath").has_value(),
            GetParam().layout == Layout::Single5);
  if (GetParam().layout == Layout::Single6) {
    EXPECT_FALSE(platform::RegistryKeyExists("SOFTWARE\\Lotus\\Domino\\1"));
  }
  const std::string ini = servers_[0].partitioned ? data + "\\notes.ini" : servers_[0].notesIniPath;
  EXPECT_EQ(IniValue(ini, "Directory"), data);
  EXPECT_EQ(IniValue(ini, "TRANSLOG_Path"), NewPath(servers_[0].logPath, 'Y'));
}

INSTANTIATE_TEST_SUITE_P(EachLayout, LayoutTest,
                         ::testing::Values(LayoutCase{Layout::Partitioned, "Partitioned"},
                                           LayoutCase{Layout::Partitioned6, "Partitioned6"},
                                           LayoutCase{Layout::Single5, "Single5"},
                                           LayoutCase{Layout::Single6, "Single6"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MigrationTest, SingleServerKeepsItsNotesIniAndHasNoShortcut) {
  Build(Layout::Single5, 1);
  config::ConfigureJob job = FullJob();
  ASSERT_EQ(Run(job), 0) << Text();
  EXPECT_TRUE(platform::IsFile(servers_[0].notesIniPath));
  EXPECT_FALSE(Has(Text(), "Modifying program shortcut."));
  EXPECT_FALSE(Has(Text(), "Renamed "));
}

// ---- repointing that fails ------------------------------------------------------

TEST_F(MigrationTest, RegistryThatCannotBeWrittenKeepsTheOldNotesIni) {
  Build(Layout::Partitioned, 1);
  ASSERT_TRUE(platform::DeleteRegistryValue("SOFTWARE\\Lotus\\Domino\\5.0", "PARTITION1"));
  fs::remove(root_ / "registry" / "HKLM.reg");  // not even the key is left
  config::ConfigureJob job = EmptyJob();
  job.dataEntries.push_back(Entry(0, kKindData));
  EXPECT_EQ(Run(job), 0);  // the copy stands; its own message reports the setting
  EXPECT_TRUE(Has(Text(), "ERROR: Could not update registry with new data directory.\r\n"));
  EXPECT_TRUE(platform::IsFile(servers_[0].notesIniPath));
  EXPECT_FALSE(Has(Text(), "Renamed "));
  EXPECT_EQ(ShortcutArguments(0), "=" + servers_[0].notesIniPath);
}

TEST_F(MigrationTest, MissingShortcutWarnsAndAsksForAManualChange) {
  Build(Layout::Partitioned, 1);
  fs::remove(Host(config::ServerShortcutPath(servers_[0].dataPath)));
  config::ConfigureJob job = EmptyJob();
  job.dataEntries.push_back(Entry(0, kKindData));
  ASSERT_EQ(Run(job), 0);
  EXPECT_TRUE(Has(Text(), "WARNING: Could not modify shortcut.\r\nUpdated Domino notes.ini with new directory value.\r\n"));
  ASSERT_EQ(fakes_->messages.shown.size(), 2u);
  EXPECT_EQ(fakes_->messages.shown[0].caption, "Configurator Wizard");
  EXPECT_EQ(fakes_->messages.shown[0].text,
            "Could not modify the shortcut for Mail1/Sales/Acme.  You will need to modify it manually. "
            "Check the configurator report\r\n");
  EXPECT_EQ(fakes_->messages.shown[1].caption, "Restore Wizard");
  // The settings themselves were updated, so the old notes.ini is retired.
  EXPECT_TRUE(platform::IsFile(servers_[0].notesIniPath + ".old"));
}

TEST_F(MigrationTest, OldNotesIniThatCannotBeRenamedIsAWarningNotARename) {
  Build(Layout::Partitioned, 1);
  WriteHostFile(Host(servers_[0].notesIniPath + ".old"), "from an earlier run");
  config::ConfigureJob job = EmptyJob();
  job.dataEntries.push_back(Entry(0, kKindData));
  ASSERT_EQ(Run(job), 0);
  EXPECT_TRUE(Has(Text(), "WARNING: Could not rename D:\\Lotus\\Domino\\Data1\\notes.ini to \r\n"
                          "D:\\Lotus\\Domino\\Data1\\notes.ini.old\r\n"))
      << Text();
  EXPECT_EQ(ReadHostFile(Host(servers_[0].notesIniPath + ".old")), "from an earlier run");
}

// ---- the Vaultinfo directory ----------------------------------------------------

TEST_F(MigrationTest, ExistingVaultinfoTreeKeepsEveryFile) {
  Build(Layout::Partitioned, 1);
  const std::string kept = "V:\\vaultinfo\\Mail1\\dominosnap__M__MAIL1__recent\\names.nsf.dat";
  WriteHostFile(Host(kept), "change information");
  WriteHostFile(Host("V:\\vaultinfo\\Mail1\\S0000001.TXN"), "archived log");
  config::ConfigureJob job = FullJob();
  ASSERT_EQ(Run(job), 0);
  EXPECT_EQ(ReadHostFile(Host(kept)), "change information");
  EXPECT_EQ(ReadHostFile(Host("V:\\vaultinfo\\Mail1\\S0000001.TXN")), "archived log");
  EXPECT_EQ(OmbIni("CHANGE_INFO_DIR"), "V:\\vaultinfo");
}

TEST_F(MigrationTest, VaultinfoFailureLeavesTheMachineUnmarkedAndTheRunFailed) {
  Build(Layout::Partitioned, 1);
  for (const char* path : {"", "V:\\file"}) {
    WriteHostFile(Host("V:\\file"), "not a folder");
    config::ConfigureJob job = EmptyJob();
    job.vaultinfoPath = path;
    EXPECT_EQ(Run(job), -1) << path;
    EXPECT_TRUE(Has(Text(), *path == 0 ? "ERROR: Could not obtain location of Vaultinfo directory\r\n"
                                         : "ERROR: Vaultinfo directory could not be created.\r\n"))
        << Text();
    EXPECT_TRUE(Has(Text(), "MIGRATION COMPLETE!"));
    EXPECT_EQ(OmbIni("CONFIGWIZ"), "");
    EXPECT_EQ(OmbIni("CHANGE_INFO_DIR"), "");
  }
}

TEST_F(MigrationTest, NothingToMoveStillCreatesTheVaultinfoDirectory) {
  Build(Layout::Partitioned, 1);
  config::ConfigureJob job = EmptyJob();
  ASSERT_EQ(Run(job), 0);
  EXPECT_TRUE(platform::IsDirectory("V:\\vaultinfo"));
  EXPECT_EQ(OmbIni("CONFIGWIZ"), "1");
}

}  // namespace
}  // namespace omb::test
