// The rules of a configuration plan: what can be assigned where, every
// refusal with the boxes the administrator sees, the Vaultinfo path and
// the summary.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "config/plan.h"
#include "domino/locks.h"
#include "tests/support/fake_services.h"
#include "tests/support/fake_storage.h"
#include "tests/support/machine_fixture.h"

namespace omb::config {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kMail1 = "Mail1/Sales/Acme";
constexpr const char* kMail2 = "Mail2/Sales/Acme";
constexpr const char* kMail3 = "Mail3/Sales/Acme";

PartitionInfo Server(int number, const std::string& name, const std::string& data, const std::string& log,
                     int styleCode) {
  PartitionInfo server;
  server.partitionNumber = number;
  server.serverName = name;
  server.dataPath = data;
  server.logPath = log;
  server.logStyleCode = styleCode;
  server.archiveLogging = styleCode == 1;
  return server;
}

// The texts of a check's boxes, in the order they are shown.
std::vector<std::string> Texts(const PlanCheck& check) {
  std::vector<std::string> texts;
  for (const PlanMessage& message : check.messages) texts.push_back(message.text);
  return texts;
}

class PlanTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    // Mail1 keeps its logs inside its data directory, Mail2 on a drive of
    // its own, Mail3 logs circularly.
    machine_.servers = {
        Server(1, kMail1, "C:\\Lotus\\Domino\\Data1", "C:\\Lotus\\Domino\\Data1\\logdir", 1),
        Server(2, kMail2, "C:\\Lotus\\Domino\\Data2", "D:\\logs2", 1),
        Server(3, kMail3, "C:\\Lotus\\Domino\\Data3", "C:\\Lotus\\Domino\\Data3\\logdir", 0),
    };
    machine_.virtualDisks = {'E', 'F', 'G', 'H', 'V'};
    machine_.programDrive = 'C';
    for (const char* drive : {"E", "F", "G", "H", "V"}) {
      AddDisk(drive);
      std::filesystem::create_directories(root_ / "drives" / drive);
    }
    std::filesystem::create_directories(root_ / "drives" / "C");
  }

  void AddDisk(const std::string& drive) {
    storage::VirtualDiskRecord record;
    record.storagePath = storage::ToUtf16("\\\\FILER1\\vol" + drive + "\\disk" + drive + ".vld");
    record.volumePath = storage::ToUtf16("/vol/vol" + drive);
    record.driveLetters = {storage::ToUtf16(drive)};
    storage_.AddDisk(record);
  }

  ConfigurationPlan Plan() const { return ConfigurationPlan(machine_); }

  PlanMachine machine_;
  test::FakeStorage storage_;
};

// ---- the disks and partitions on offer --------------------------------------

TEST_F(PlanTest, DataPageNeedsAtLeastTwoVirtualDisks) {
  machine_.virtualDisks = {};
  EXPECT_THAT(Texts(Plan().CheckVirtualDiskCount()),
              ElementsAre("There are no virtual disks.  Please add at least two (for the Data Directory and "
                          "Log Directory"));
  machine_.virtualDisks = {'E'};
  PlanCheck one = Plan().CheckVirtualDiskCount();
  EXPECT_FALSE(one.accepted);
  EXPECT_THAT(Texts(one),
              ElementsAre("You need at least two virtual disks (for the Data Directory and Log Directory"));
  EXPECT_EQ(one.messages[0].caption, "Configuration Wizard Error");
  // Every disk counts, also one that holds a server's directory already.
  machine_.virtualDisks = {'D', 'e'};
  EXPECT_TRUE(Plan().CheckVirtualDiskCount().accepted);
}

TEST_F(PlanTest, ChoicesLeaveOutDrivesOfServersAndOfEntries) {
  machine_.virtualDisks.push_back('D');  // holds Mail2's logs
  ConfigurationPlan plan = Plan();
  EXPECT_THAT(plan.VldChoices(), ElementsAre('E', 'F', 'G', 'H', 'V'));
  ASSERT_TRUE(plan.Assign(PlanKind::Data, kMail2, 'g').accepted);
  ASSERT_TRUE(plan.Assign(PlanKind::Log, kMail1, 'E').accepted);
  EXPECT_THAT(plan.VldChoices(), ElementsAre('F', 'H', 'V'));
  // A drive used on one page is gone from the other as well.
  EXPECT_FALSE(plan.Assign(PlanKind::Log, kMail2, 'G').accepted);

  ASSERT_TRUE(plan.Unassign(PlanKind::Data, kMail2).accepted);
  EXPECT_THAT(plan.VldChoices(), ElementsAre('F', 'G', 'H', 'V'));
  EXPECT_THAT(plan.dataEntries(), IsEmpty());
}

TEST_F(PlanTest, PartitionRowsShowPathStyleAndWhetherTheyCanBeConfigured) {
  ConfigurationPlan plan = Plan();
  std::vector<PartitionRow> data = plan.AvailablePartitions(PlanKind::Data);
  ASSERT_EQ(data.size(), 3u);
  EXPECT_EQ(data[0].path, "C:\\Lotus\\Domino\\Data1");
  EXPECT_EQ(data[0].loggingStyle, "Archive");
  EXPECT_EQ(data[0].canConfigure, "Yes");
  EXPECT_EQ(data[2].loggingStyle, "Circular");
  EXPECT_EQ(data[2].canConfigure, "No");
  EXPECT_EQ(plan.AvailablePartitions(PlanKind::Log)[1].path, "D:\\logs2");

  machine_.servers[2].logStyleCode = 5119;
  EXPECT_EQ(Plan().AvailablePartitions(PlanKind::Data)[2].loggingStyle, "No Logging");

  // An assigned partition leaves its page's list only, and comes back.
  ASSERT_TRUE(plan.Assign(PlanKind::Data, kMail2, 'E').accepted);
  ASSERT_TRUE(plan.Assign(PlanKind::Log, kMail2, 'F').accepted);
  ASSERT_EQ(plan.PlannedRows(PlanKind::Log).size(), 1u);
  EXPECT_EQ(plan.PlannedRows(PlanKind::Log)[0].from, "D:\\logs2");
  EXPECT_EQ(plan.PlannedRows(PlanKind::Data)[0].from, "C:\\Lotus\\Domino\\Data2");
  EXPECT_EQ(plan.PlannedRows(PlanKind::Data)[0].to, 'E');
  ASSERT_TRUE(plan.Unassign(PlanKind::Log, kMail2).accepted);
  EXPECT_EQ(plan.AvailablePartitions(PlanKind::Data).size(), 2u);
  EXPECT_EQ(plan.AvailablePartitions(PlanKind::Log).size(), 3u);
  ASSERT_TRUE(plan.Unassign(PlanKind::Data, kMail2).accepted);
  EXPECT_EQ(plan.AvailablePartitions(PlanKind::Data)[1].serverName, kMail2);
}

// ---- assignments ---------------------------------------------------------------

TEST_F(PlanTest, AssignmentRefusalsComeInOrderAndChangeNothing) {
  ConfigurationPlan plan = Plan();
  EXPECT_THAT(Texts(plan.Assign(PlanKind::Data, "", 0)), ElementsAre("Please select a Domino Partition"));
  EXPECT_THAT(Texts(plan.Assign(PlanKind::Data, kMail2, 0)), ElementsAre("Please select a VLD"));
  // A circular logger: two boxes in turn.
  PlanCheck circular = plan.Assign(PlanKind::Log, kMail3, 'E');
  EXPECT_FALSE(circular.accepted);
  EXPECT_THAT(Texts(circular), ElementsAre("Please enabled Archive style logging before configuring this Server",
                                           "Canceled"));
  EXPECT_EQ(circular.messages[1].caption, "Configuration Wizard Error");
  EXPECT_THAT(plan.dataEntries(), IsEmpty());
  EXPECT_THAT(plan.logEntries(), IsEmpty());
  EXPECT_THAT(plan.VldChoices(), ElementsAre('E', 'F', 'G', 'H', 'V'));
}

TEST_F(PlanTest, ProgramDriveIsRefusedForDataButNotForLogs) {
  machine_.programDrive = 'F';
  ConfigurationPlan plan = Plan();
  EXPECT_THAT(Texts(plan.Assign(PlanKind::Data, kMail2, 'f')), ElementsAre("This VLD has Domino binaries on it."));
  EXPECT_THAT(plan.dataEntries(), IsEmpty());
  PlanCheck logs = plan.Assign(PlanKind::Log, kMail2, 'F');
  EXPECT_TRUE(logs.accepted);
  EXPECT_THAT(logs.messages, IsEmpty());
  ASSERT_EQ(plan.logEntries().size(), 1u);
  EXPECT_EQ(plan.logEntries()[0].driveLetter, 'F');
  EXPECT_EQ(plan.logEntries()[0].kind, PlanKind::Log);
}

TEST_F(PlanTest, DrivesAndPartitionsThatAreNotOnOfferAreRefused) {
  ConfigurationPlan plan = Plan();
  EXPECT_FALSE(plan.Assign(PlanKind::Data, "Other/Acme", 'E').accepted);
  EXPECT_FALSE(plan.Assign(PlanKind::Data, kMail2, 'C').accepted);  // not a VLD
  EXPECT_FALSE(plan.Assign(PlanKind::Data, kMail2, 'D').accepted);  // holds Mail2's logs, not a VLD here
  ASSERT_TRUE(plan.Assign(PlanKind::Data, kMail2, 'E').accepted);
  PlanCheck twice = plan.Assign(PlanKind::Data, kMail2, 'G');
  EXPECT_FALSE(twice.accepted);
  EXPECT_EQ(twice.messages.size(), 1u);
  EXPECT_EQ(plan.dataEntries().size(), 1u);
}

TEST_F(PlanTest, LogsInsideTheDataDirectoryMustMoveBeforeTheLogsPageIsLeft) {
  ConfigurationPlan plan = Plan();
  PlanCheck data = plan.Assign(PlanKind::Data, kMail1, 'E');
  ASSERT_TRUE(data.accepted);
  ASSERT_EQ(data.messages.size(), 1u);
  EXPECT_EQ(data.messages[0].caption, "Configuration Wizard Warning");
  EXPECT_EQ(data.messages[0].text,
            "Mail1/Sales/Acme's transaction log directory is located within the data directory. The "
            "transaction log directory must be migrated to a virtual disk.");
  EXPECT_TRUE(plan.dataEntries()[0].mustMoveLog);

  EXPECT_THAT(Texts(plan.CheckLogsPage()),
              ElementsAre("Mail1/Sales/Acme's log directory is within the data directory.  The log directory "
                          "for this server must be configured for migration before continuing."));
  // Mail2's logs lie elsewhere: no warning, no demand.
  EXPECT_THAT(plan.Assign(PlanKind::Data, kMail2, 'G').messages, IsEmpty());
  ASSERT_TRUE(plan.Assign(PlanKind::Log, kMail1, 'F').accepted);
  EXPECT_TRUE(plan.CheckLogsPage().accepted);
}

TEST_F(PlanTest, WithinComparesWholeFolderNamesWithoutCase) {
  EXPECT_TRUE(LiesWithin("c:\\lotus\\domino\\data1\\LOGDIR", "C:\\Lotus\\Domino\\Data1\\"));
  EXPECT_TRUE(LiesWithin("C:\\Data", "C:\\Data"));
  EXPECT_FALSE(LiesWithin("C:\\Data10\\logdir", "C:\\Data1"));
  EXPECT_FALSE(LiesWithin("", "C:\\Data"));
  EXPECT_TRUE(LiesWithin("C:\\logdir", "C:\\"));
}

TEST_F(PlanTest, EmptyPlanAndUnselectedRowAreRefused) {
  ConfigurationPlan plan = Plan();
  EXPECT_THAT(Texts(plan.CheckLogsPage()), ElementsAre("Nothing to configure. Cannot continue"));
  EXPECT_THAT(Texts(plan.Unassign(PlanKind::Data, "")), ElementsAre("Please select a Partition to reconfigure"));
  EXPECT_FALSE(plan.Unassign(PlanKind::Log, kMail2).accepted);
  ASSERT_TRUE(plan.Assign(PlanKind::Log, kMail2, 'E').accepted);
  EXPECT_TRUE(plan.CheckLogsPage().accepted);
}

TEST_F(PlanTest, RunningDominoRefusesTheConfiguration) {
  SetDominoRunningCheck([] { return true; });
  PlanCheck running = CheckDominoNotRunning();
  SetDominoRunningCheck([] { return false; });
  PlanCheck stopped = CheckDominoNotRunning();
  SetDominoRunningCheck(nullptr);
  EXPECT_THAT(Texts(running), ElementsAre("Notes/Domino is running. Please shutdown it down before running the "
                                          "configuration"));
  EXPECT_EQ(running.messages[0].caption, "Configuration Wizard Error");
  EXPECT_TRUE(stopped.accepted);
}

// ---- the Vaultinfo directory ----------------------------------------------------

TEST_F(PlanTest, ProposedVaultinfoFollowsTheFirstLogEntryElseTheCurrentOne) {
  machine_.currentVaultinfo = "V:\\vaultinfo";
  ConfigurationPlan plan = Plan();
  EXPECT_EQ(plan.ProposedVaultinfoPath(), "V:\\vaultinfo\\");
  ASSERT_TRUE(plan.Assign(PlanKind::Log, kMail2, 'H').accepted);
  ASSERT_TRUE(plan.Assign(PlanKind::Log, kMail1, 'F').accepted);
  EXPECT_EQ(plan.ProposedVaultinfoPath(), "H:\\vaultinfo\\");
  machine_.currentVaultinfo.clear();
  EXPECT_EQ(Plan().ProposedVaultinfoPath(), "");
}

TEST_F(PlanTest, VaultinfoPathIsNormalisedCreatedAndTaken) {
  ConfigurationPlan plan = Plan();
  PlanCheck check = plan.SetVaultinfoPath("V:\\omb\\vaultinfo", storage_);
  ASSERT_TRUE(check.accepted);
  EXPECT_EQ(plan.vaultinfoPath(), "V:\\omb\\vaultinfo\\");
  EXPECT_TRUE(std::filesystem::is_directory(root_ / "drives" / "V" / "omb" / "vaultinfo"));
  ASSERT_EQ(check.messages.size(), 1u);
  EXPECT_EQ(check.messages[0].caption, "Configuration Wizard");
  EXPECT_EQ(check.messages[0].text, "Vaultinfo Directory is V:\\omb\\vaultinfo\\. It will be created (if "
                                    "necessary) during the configuration process.");
  // A local disk is accepted as well.
  EXPECT_TRUE(plan.SetVaultinfoPath("C:\\vaultinfo\\", storage_).accepted);
  EXPECT_EQ(plan.vaultinfoPath(), "C:\\vaultinfo\\");
}

TEST_F(PlanTest, VaultinfoPathWithoutDriveOrTextIsRefused) {
  ConfigurationPlan plan = Plan();
  EXPECT_THAT(Texts(plan.SetVaultinfoPath("", storage_)), ElementsAre("The Vaultinfo path cannot be empty."));
  EXPECT_THAT(Texts(plan.SetVaultinfoPath("vaultinfo", storage_)),
              ElementsAre("Bad format for Vaultinfo path. Please correct"));
  EXPECT_FALSE(plan.SetVaultinfoPath("V:\\" + std::string(1100, 'a'), storage_).accepted);
  EXPECT_EQ(plan.vaultinfoPath(), "");
}

TEST_F(PlanTest, VaultinfoMustStayOffTheDataDisks) {
  machine_.servers[1].dataPath = "G:\\Lotus\\Domino\\Data2";  // Mail2 already lives on a VLD
  ConfigurationPlan plan = Plan();
  ASSERT_TRUE(plan.Assign(PlanKind::Data, kMail1, 'E').accepted);
  PlanCheck planned = plan.SetVaultinfoPath("e:\\vaultinfo", storage_);
  EXPECT_THAT(Texts(planned),
              ElementsAre("Vaultinfo Drive cannot exist on the same active drive as a 'to be configured' Data "
                          "Directory\n",
                          "Bad format for Vaultinfo path. Please correct"));
  EXPECT_EQ(planned.messages[0].caption, "Vaultinfo Directory Error");
  EXPECT_EQ(planned.messages[0].icon, platform::MessageIcon::Warning);
  EXPECT_EQ(planned.messages[1].caption, "Configuration Wizard Error");
  EXPECT_THAT(Texts(plan.SetVaultinfoPath("G:\\vaultinfo\\", storage_)),
              ElementsAre("Vaultinfo Drive cannot exist on the same active drive as an existing Data Directory\n",
                          "Bad format for Vaultinfo path. Please correct"));
  EXPECT_FALSE(std::filesystem::exists(root_ / "drives" / "E" / "vaultinfo"));
  EXPECT_FALSE(std::filesystem::exists(root_ / "drives" / "G" / "vaultinfo"));
  // The drive of a log entry is fine.
  ASSERT_TRUE(plan.Assign(PlanKind::Log, kMail1, 'F').accepted);
  EXPECT_TRUE(plan.SetVaultinfoPath("F:\\vaultinfo\\", storage_).accepted);
}

TEST_F(PlanTest, VaultinfoCheckFailsWhenDisksCannotBeListedOrFolderMade) {
  ConfigurationPlan plan = Plan();
  storage_.FailMethod(test::FakeStorage::Method::QueryVirtualDisks, storage::E_FAIL_);
  PlanCheck unlisted = plan.SetVaultinfoPath("V:\\vaultinfo\\", storage_);
  EXPECT_THAT(Texts(unlisted), ElementsAre("Could not get a list of active drives",
                                           "Bad format for Vaultinfo path. Please correct"));
  EXPECT_EQ(unlisted.messages[0].caption, "Vaultinfo Directory Error");
  storage_.ClearFailure(test::FakeStorage::Method::QueryVirtualDisks);

  WriteHostFile(root_ / "drives" / "V" / "blocked", "a file where a folder should be");
  EXPECT_THAT(Texts(plan.SetVaultinfoPath("V:\\blocked\\vaultinfo", storage_)),
              ElementsAre("Cannot create vaultinfo directory\n", "Bad format for Vaultinfo path. Please correct"));
  EXPECT_EQ(plan.vaultinfoPath(), "");
}

// ---- the summary -------------------------------------------------------------------

TEST_F(PlanTest, SummaryListsDataThenLogsThenVaultinfo) {
  ConfigurationPlan plan = Plan();
  ASSERT_TRUE(plan.Assign(PlanKind::Data, kMail1, 'E').accepted);
  ASSERT_TRUE(plan.Assign(PlanKind::Log, kMail1, 'F').accepted);
  ASSERT_TRUE(plan.SetVaultinfoPath("V:\\vaultinfo", storage_).accepted);
  EXPECT_EQ(plan.Summary(),
            "The following Data Directories will be moved:\r\n\r\n"
            "Mail1/Sales/Acme data directory will be move to :  E\r\n\r\n"
            "The following Transaction Log directories will be moved:\r\n\r\n"
            "Mail1/Sales/Acme log directory will move to:  F\r\n\r\n"
            "The Vaultinfo Directory will be:\r\n  V:\\vaultinfo\\\r\n");
}

TEST_F(PlanTest, SummaryOfLogsAloneHasNoDataSection) {
  ConfigurationPlan plan = Plan();
  ASSERT_TRUE(plan.Assign(PlanKind::Log, kMail2, 'H').accepted);
  ASSERT_TRUE(plan.SetVaultinfoPath("V:\\vaultinfo\\", storage_).accepted);
  EXPECT_EQ(plan.Summary(),
            "The following Transaction Log directories will be moved:\r\n\r\n"
            "Mail2/Sales/Acme log directory will move to:  H\r\n\r\n"
            "The Vaultinfo Directory will be:\r\n  V:\\vaultinfo\\\r\n");
}

TEST_F(PlanTest, JobCarriesTheEntriesInPlanOrderAndTheVaultinfoPath) {
  ConfigurationPlan plan = Plan();
  ASSERT_TRUE(plan.Assign(PlanKind::Data, kMail2, 'G').accepted);
  ASSERT_TRUE(plan.Assign(PlanKind::Data, kMail1, 'E').accepted);
  ASSERT_TRUE(plan.Assign(PlanKind::Log, kMail1, 'F').accepted);
  ASSERT_TRUE(plan.SetVaultinfoPath("V:\\vaultinfo", storage_).accepted);
  test::FakeServices fakes;
  ConfigureJob job = MakeConfigureJob(plan, fakes.services());
  ASSERT_EQ(job.dataEntries.size(), 2u);
  EXPECT_EQ(job.dataEntries[0].server.serverName, kMail2);
  EXPECT_EQ(job.dataEntries[0].targetDriveLetter, u'G');
  EXPECT_EQ(job.dataEntries[0].kind, kKindData);
  EXPECT_EQ(job.dataEntries[1].server.dataPath, "C:\\Lotus\\Domino\\Data1");
  ASSERT_EQ(job.logEntries.size(), 1u);
  EXPECT_EQ(job.logEntries[0].kind, kKindLog);
  EXPECT_EQ(job.logEntries[0].targetDriveLetter, u'F');
  EXPECT_EQ(job.vaultinfoPath, "V:\\vaultinfo\\");
}

}  // namespace
}  // namespace omb::config
