// The backup run end to end against the Notes and storage fakes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>

#include "backup/backup.h"
#include "backup/identity.h"
#include "component/component.h"
#include "domino/incomplete.h"
#include "domino/locks.h"
#include "platform/eventlog.h"
#include "platform/ini.h"
#include "platform/messagebox.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "reports/reports.h"
#include "snapshot/naming.h"
#include "tests/support/fake_services.h"
#include "tests/support/fake_storage.h"
#include "tests/support/recording_observer.h"
#include "vault/instance_ids.h"
#include "vault/log_archive.h"

namespace omb::backup {
namespace {

using test::FakeNotes;
using test::FakeStorage;
using test::NotesMethod;

constexpr const char* kData = "E:\\Lotus\\Domino\\Data";
constexpr const char* kVault = "G:\\vaultinfo";
constexpr const char* kServerName = "Mail1/Sales/Acme";
constexpr notes::Status kInjected = 4321;

// The services of one simulated machine.
using Rig = test::FakeServices;

class BackupRunTest : public test::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    PrepareMachine();
  }
  void TearDown() override {
    rig_.reset();
    MachineTest::TearDown();
  }

  // Moves the test onto a fresh machine of its own with fresh fakes.
  void StartOver() {
    rig_.reset();
    std::filesystem::path fresh = root_ / ("machine" + std::to_string(++machines_));
    std::filesystem::create_directories(fresh / "drives" / "C");
    platform::SetMachineRoot(fresh);
    ::setenv("OMB_MACHINE", fresh.c_str(), 1);
    PrepareMachine();
  }

  // A configured machine: Vaultinfo root, report folder, computer name,
  // three databases (one unlogged) and two ready log extents.
  void PrepareMachine() {
    for (const char* drive : {"D", "E", "F", "G"})
      std::filesystem::create_directories(platform::MachineRoot() / "drives" / drive);
    std::filesystem::create_directories(platform::MachineRoot() / "drives" / "C" / "Windows");
    platform::WriteIniValue("C:\\Windows\\omb.ini", "NOTES", "CHANGE_INFO_DIR", kVault);
    platform::WriteRegistry("SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName",
                            platform::RegValue{platform::RegType::String, "HOST", 0}, true);
    reports::EnsureReportFolder();
    rig_ = std::make_unique<Rig>();
    rig_->storage.SetNextCreationTime(test::FileTimeUtc(2003, 4, 7, 9, 5, 12));
    rig_->notes.AddDatabase(Db("names.nsf")).logExtent = 9;
    FakeNotes::Database& mail = rig_->notes.AddDatabase(Db("mail\\a.nsf"));
    mail.changeInfoFiller = 40000;
    mail.logExtent = 3;  // the first logged database in enumeration order
    rig_->notes.AddDatabase(Db("mail\\b.nsf"), false);
    for (uint32_t number : {1u, 2u})
      rig_->notes.AddExtent(number, "F:\\logs\\" + ArchivedLogName(number), true, "log " + std::to_string(number));
  }

  static std::string Db(const std::string& relative) { return std::string(kData) + "\\" + relative; }

  static PartitionInfo Server(const std::string& shortName = "Mail1") {
    PartitionInfo server;
    server.serverName = shortName + "/Sales/Acme";
    server.shortName = shortName;
    server.notesIniPath = "D:\\Lotus\\" + shortName + "\\notes.ini";
    server.dataPath = kData;
    server.logPath = "F:\\logs";
    server.archiveLogging = 1;
    server.selected = true;
    server.dataDisk.driveLetter = 'E';
    server.dataDisk.volume = "vol1";
    server.dataDisk.onVld = true;
    return server;
  }

  // A job on the rig's services, or with another Notes runtime in place of the rig's.
  BackupJob Job(const std::vector<PartitionInfo>& servers, notes::NotesApi* notes = nullptr) {
    RunServices services = rig_->services();
    BackupJob job({notes ? *notes : services.notes, services.storage, services.clock, services.messages});
    job.servers.servers = servers;
    job.statusDialog = &window_;
    return job;
  }

  int Run(BackupJob& job) {
    testing::internal::CaptureStdout();  // the archiving line goes to standard output
    int result = RunBackup(job);
    testing::internal::GetCapturedStdout();
    return result;
  }

  int RunOne(PartitionInfo server = Server()) {
    BackupJob job = Job({server});
    return Run(job);
  }

  std::string RecentDir(const PartitionInfo& server = Server()) {
    return std::string(kVault) + "\\" + server.shortName + "\\" + storage::FromUtf16(snapshot::RecentName(server));
  }

  std::string Text(const std::string& windowsPath) { return ReadHostFile(platform::HostPath(windowsPath)); }

  // All Backup reports of the current machine, oldest name first.
  std::string Reports() {
    std::filesystem::path folder = platform::HostPath("C:\\temp\\Backup");
    std::vector<std::filesystem::path> files;
    if (std::filesystem::exists(folder))
      for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::string text;
    for (const auto& file : files) text += ReadHostFile(file);
    return text;
  }

  bool RunLockIsFree() {
    ProgressSink sink;
    return AcquireRunLock(sink) != nullptr;
  }

  std::unique_ptr<Rig> rig_;
  test::RecordingObserver window_;
  int machines_ = 0;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---- a successful run ---------------------------------------------------------

TEST_F(BackupRunTest, SuccessfulRunLeavesSnapshotChangeInfoHintsLogsAndReport) {
  BackupJob job = Job({Server()});
  ASSERT_EQ(Run(job), 0);
  EXPECT_TRUE(job.completed);

  std::string recent = storage::FromUtf16(snapshot::RecentName(Server()));
  EXPECT_EQ(recent, "dominosnap__HOST__MAIL1__recent");
  EXPECT_TRUE(rig_->storage.HasSnapshot('E', recent));
  std::string dir = RecentDir();
  EXPECT_EQ(Text(dir + "\\Lotus\\Domino\\Data\\mail\\a.nsf.dat").size(), 8u + 40000u);
  EXPECT_EQ(Text(dir + "\\Lotus\\Domino\\Data\\names.nsf.dat"), std::string(8, '\0'));
  EXPECT_EQ(Text(dir + "\\log_hint"), "3\r\n" + notes::LogSeriesText(rig_->notes.logId()));
  EXPECT_EQ(Text(dir + "\\disabled_databases"), Db("mail\\b.nsf") + "\r\n");
  EXPECT_EQ(Text(dir + "\\logs\\S0000001.TXN"), "log 1");
  EXPECT_EQ(Text(dir + "\\logs\\S0000002.TXN"), "log 2");
  EXPECT_EQ(rig_->notes.ArchivedNumbers(), (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(Text(dir + "\\snapshot_time_date"), "dominosnap__HOST__Mail1__4-7-2003_9.5.12");
  EXPECT_TRUE(Contains(platform::ToUpper(Text(std::string(kVault) + "\\Mail1\\hint")), platform::ToUpper(recent)));
  EXPECT_EQ(platform::ReadIniValue("C:\\Windows\\omb.ini", "NOTES", "BACKUPWIZ").value_or(""), "1");

  EXPECT_EQ(rig_->notes.DatabasesInBackup(), 0);
  EXPECT_EQ(rig_->notes.OpenDatabaseHandles(), 0);
  EXPECT_FALSE(rig_->notes.runtimeActive());
  std::vector<std::string> iniArgs = {"=D:\\Lotus\\Mail1\\notes.ini"};
  EXPECT_EQ(rig_->notes.initArgs(), (std::vector<std::vector<std::string>>{iniArgs, iniArgs}));
  EXPECT_TRUE(RunLockIsFree());
}

TEST_F(BackupRunTest, SuccessfulRunReportsEveryStepInOrder) {
  ASSERT_EQ(RunOne(), 0);
  std::string report = Reports();
  std::vector<std::string> steps = {
      "Start time is: ",
      "Initialize notes system with D:\\Lotus\\Mail1\\notes.ini\r\n",
      "Starting Backup of Server Mail1/Sales/Acme\r\n",
      ": Snapshot will occur on VOL vol1 for VLD E\r\n",
      "Placing Domino server in backup mode\r\n",
      "Recording Domino changes\r\n",
      "WARNING: Database " + Db("mail\\b.nsf") + " is disabled for logging (WILL NOT BE RECOVERABLE).\r\n",
      "Completed CreateSnapShot method\r\n",
      "Stopping Domino backup mode...\r\n",
      "\r\nDomino backup mode stop completed\r\n",
      "Returned from backup mode\r\n",
      "Copying logs to Vaultinfo dir...\r\n",
      "Archiving F:\\logs\\S0000001.TXN\r\n",
      "Completed log copy.\r\n",
      ": Snapshot Complete on VOL vol1 for VLD E\r\n",
      ": Backup Completed for Server: Mail1/Sales/Acme\r\n",
      "End time is: ",
  };
  size_t at = 0;
  for (const std::string& step : steps) {
    size_t found = report.find(step, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << step;
    at = found + step.size();
  }
  EXPECT_EQ(ProgressText(), "");  // handed to the report and emptied
}

TEST_F(BackupRunTest, SuccessfulRunLogsTheSnapshotEventAndDrivesTheStatusWindow) {
  ASSERT_EQ(RunOne(), 0);
  std::vector<platform::EventRecord> events = platform::ReadEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].source, "ombsvc");
  EXPECT_EQ(events[0].type, kEventInformation);
  EXPECT_EQ(events[0].category, kCategoryBackup);
  EXPECT_EQ(events[0].eventId, kEventSnapshotDone);
  EXPECT_EQ(events[0].strings, (std::vector<std::string>{"dominosnap__HOST__MAIL1__recent", "E", kServerName}));

  ASSERT_FALSE(window_.ranges.empty());
  EXPECT_EQ(window_.ranges[0].high, 100);
  EXPECT_EQ(window_.ranges[0].step, 10);
  ASSERT_FALSE(window_.positions.empty());
  EXPECT_EQ(window_.positions.back(), 100);
  EXPECT_EQ(window_.finished, (std::vector<bool>{true}));
  EXPECT_EQ(window_.busyChanges, (std::vector<bool>{true, false}));
}

TEST_F(BackupRunTest, SecondRunRotatesRecentWithItsChangeInfoDirectory) {
  ASSERT_EQ(RunOne(), 0);
  rig_->storage.SetNextCreationTime(test::FileTimeUtc(2003, 4, 8, 10, 0, 0));
  rig_->notes.AddExtent(3, "F:\\logs\\S0000003.TXN", true, "log 3");
  ASSERT_EQ(RunOne(), 0);

  std::string older = "dominosnap__HOST__Mail1__4-7-2003_9.5.12";
  EXPECT_TRUE(rig_->storage.HasSnapshot('E', older));
  EXPECT_TRUE(rig_->storage.HasSnapshot('E', "dominosnap__HOST__MAIL1__recent"));
  std::string olderDir = std::string(kVault) + "\\Mail1\\" + older;
  EXPECT_EQ(Text(olderDir + "\\logs\\S0000001.TXN"), "log 1");
  EXPECT_EQ(Text(RecentDir() + "\\logs\\S0000003.TXN"), "log 3");
  EXPECT_FALSE(std::filesystem::exists(platform::HostPath(RecentDir() + "\\logs\\S0000001.TXN")));
  EXPECT_EQ(Text(RecentDir() + "\\snapshot_time_date"), "dominosnap__HOST__Mail1__4-8-2003_10.0.0");
  std::string hint = platform::ToUpper(Text(std::string(kVault) + "\\Mail1\\hint"));
  EXPECT_TRUE(Contains(hint, platform::ToUpper(older)));
  EXPECT_TRUE(Contains(hint, "DOMINOSNAP__HOST__MAIL1__RECENT"));
}

TEST_F(BackupRunTest, EmptyDataDirectoryStillTakesTheSnapshot) {
  PartitionInfo server = Server();
  server.dataPath = "E:\\Empty";
  std::filesystem::create_directories(platform::HostPath("E:\\Empty"));
  ASSERT_EQ(RunOne(server), 0);
  EXPECT_EQ(rig_->storage.CountCalls(FakeStorage::Method::CreateSnapShot), 1);
  EXPECT_EQ(Text(RecentDir() + "\\disabled_databases"), "");
  EXPECT_FALSE(std::filesystem::exists(platform::HostPath(RecentDir() + "\\log_hint")));
}

TEST_F(BackupRunTest, NoLoggedDatabaseLeavesNoLogHint) {
  rig_->notes.FindDatabase(Db("names.nsf"))->logged = false;
  rig_->notes.FindDatabase(Db("mail\\a.nsf"))->logged = false;
  ASSERT_EQ(RunOne(), 0);
  EXPECT_FALSE(std::filesystem::exists(platform::HostPath(RecentDir() + "\\log_hint")));
  EXPECT_EQ(Text(RecentDir() + "\\disabled_databases"),
            Db("mail\\a.nsf") + "\r\n" + Db("mail\\b.nsf") + "\r\n" + Db("names.nsf") + "\r\n");
}

TEST_F(BackupRunTest, DeleteExcessKeepsTheNewestSnapshots) {
  BackupJob job = Job({Server()});
  job.deleteExcess = true;
  job.keepCount = 1;
  ASSERT_EQ(Run(job), 0);
  rig_->storage.SetNextCreationTime(test::FileTimeUtc(2003, 4, 8, 10, 0, 0));
  BackupJob second = Job({Server()});
  second.deleteExcess = true;
  second.keepCount = 1;
  ASSERT_EQ(Run(second), 0);
  EXPECT_EQ(rig_->storage.Names('E'), std::vector<std::string>{"dominosnap__HOST__MAIL1__recent"});
  std::string report = Reports();
  EXPECT_TRUE(Contains(report, ": Removing snapshots in excess of 1\r\n"));
  EXPECT_TRUE(Contains(report, ": Deleted 1 snapshots\r\n"));
}

// ---- identity changes between backups ----------------------------------------------

class IdentityChangeTest : public BackupRunTest {
 protected:
  // Another backup, a day after the previous one.
  std::string NextBackup() {
    rig_->storage.SetNextCreationTime(test::FileTimeUtc(2003, 4, 8 + backups_++, 10, 0, 0));
    const size_t before = Reports().size();
    EXPECT_EQ(RunOne(), 0);
    return Reports().substr(before);
  }
  static std::string WarningFor(const std::string& relative) {
    return "WARNING: Database " + Db(relative) +
           " has a new instance identifier since the previous backup: roll-forward from older snapshots is "
           "broken for it until this backup.\r\n";
  }
  int backups_ = 0;
};

TEST_F(IdentityChangeTest, ChangedLoggedDatabaseIsNamedOnceByTheNextBackup) {
  ASSERT_EQ(RunOne(), 0);
  EXPECT_FALSE(Contains(Reports(), "new instance identifier")) << "a first backup has nothing to compare";
  rig_->notes.FindDatabase(Db("mail\\a.nsf"))->instanceId[0] ^= 0xFF;
  rig_->notes.FindDatabase(Db("mail\\b.nsf"))->instanceId[0] ^= 0xFF;  // not logged: nothing to roll forward

  const std::string second = NextBackup();
  EXPECT_TRUE(Contains(second, WarningFor("mail\\a.nsf"))) << second;
  EXPECT_FALSE(Contains(second, Db("mail\\b.nsf") + " has a new"));
  EXPECT_FALSE(Contains(second, Db("names.nsf") + " has a new"));
  EXPECT_TRUE(Contains(second, ": Backup Completed for Server: "));

  EXPECT_FALSE(Contains(NextBackup(), "new instance identifier"));
}

// A backup that did not finish recorded the new identifier, but no usable
// snapshot's report named it: the next backup still does.
TEST_F(IdentityChangeTest, UnfinishedBackupBetweenDoesNotHideTheChange) {
  const PartitionInfo server = Server();
  const std::string folder = std::string(kVault) + "\\Mail1\\";
  auto record = [&](const std::string& name, uint64_t sequence, uint8_t firstByte) {
    std::filesystem::create_directories(platform::HostPath(folder + name));
    InstanceIds ids;
    ids.sequence = sequence;
    notes::LogId id{};
    id[0] = firstByte;
    ids.databases = {{Db("mail\\a.nsf"), id}};
    ASSERT_EQ(WriteInstanceIds(folder + name, ids), 0);
  };
  record("dominosnap__HOST__Mail1__4-7-2003_9.5.12", 1, 0x11);
  record("dominosnap__HOST__Mail1__4-8-2003_9.5.12", 2, 0x22);
  ASSERT_EQ(MarkSnapshotIncomplete(server, "dominosnap__HOST__Mail1__4-8-2003_9.5.12"), 0);
  std::vector<DatabaseRecord> list(1);
  list[0].path = Db("mail\\a.nsf");
  list[0].logged = true;
  list[0].instanceId[0] = 0x22;
  PartitionInfo target = server;
  const std::string recent = folder + "dominosnap__HOST__MAIL1__recent";
  std::filesystem::create_directories(platform::HostPath(recent));

  RecordInstanceIds(target, list, recent);

  EXPECT_TRUE(Contains(target.progress.text, WarningFor("mail\\a.nsf"))) << target.progress.text;
  InstanceIds written;
  ASSERT_EQ(ReadInstanceIds(recent, written), 0);
  EXPECT_EQ(written.sequence, 3u) << "counts on from the highest record, finished or not";
}

// ---- refusals and failures of whole servers -------------------------------------

TEST_F(BackupRunTest, ServerWithoutArchiveLoggingIsRefusedBeforeNotesIsTouched) {
  PartitionInfo server = Server();
  server.archiveLogging = 0;
  EXPECT_EQ(RunOne(server), -1);
  EXPECT_EQ(rig_->notes.TotalCalls(), 0);
  EXPECT_TRUE(rig_->storage.Calls().empty());
  std::string report = Reports();
  EXPECT_TRUE(Contains(report, "ERROR: Server: Mail1 is not set to archive mode.\r\n"
                               "Only archival transaction logging is supported.\r\nBackup aborted.\r\n"
                               "ERROR: Backup of partition failed.\r\n"));
  EXPECT_FALSE(Contains(report, "End time is: "));
  EXPECT_TRUE(RunLockIsFree());
}

TEST_F(BackupRunTest, FailingSecondOfThreeServersLeavesTheThirdUntouched) {
  PartitionInfo second = Server("Mail2");
  second.archiveLogging = 0;
  BackupJob job = Job({Server("Mail1"), second, Server("Mail3")});
  EXPECT_EQ(Run(job), -1);
  EXPECT_FALSE(job.completed);

  std::vector<std::string> mail1 = {"=D:\\Lotus\\Mail1\\notes.ini"};
  EXPECT_EQ(rig_->notes.initArgs(), (std::vector<std::vector<std::string>>{mail1, mail1}));
  EXPECT_EQ(rig_->storage.CountCalls(FakeStorage::Method::CreateSnapShot), 1);
  EXPECT_FALSE(rig_->storage.HasSnapshot('E', "dominosnap__HOST__MAIL3__recent"));
  std::string report = Reports();
  EXPECT_TRUE(Contains(report, "ERROR: Backup of partition failed.\r\n"));
  EXPECT_FALSE(Contains(report, "Mail3"));
  EXPECT_EQ(window_.finished, (std::vector<bool>{false}));
  EXPECT_TRUE(RunLockIsFree());
}

TEST_F(BackupRunTest, UnselectedServersAreSkipped) {
  PartitionInfo other = Server("Mail2");
  other.selected = false;
  ASSERT_EQ(RunOne(other), 0);
  EXPECT_EQ(rig_->notes.TotalCalls(), 0);
  EXPECT_TRUE(Contains(Reports(), "End time is: "));
}

TEST_F(BackupRunTest, SecondRunWhileTheRunLockIsHeldIsAborted) {
  ProgressSink holder;
  RunLock held = AcquireRunLock(holder);
  ASSERT_NE(held, nullptr);
  BackupJob job = Job({Server()});
  EXPECT_EQ(Run(job), -1);
  EXPECT_EQ(rig_->notes.TotalCalls(), 0);
  EXPECT_EQ(Reports(),
            "ERROR: OMB backup or restore in progress (probably a scheduled event).\r\nERROR: Backup aborted.\r\n");
  EXPECT_EQ(window_.finished, (std::vector<bool>{false}));  // the dialog gets its buttons back
  held.reset();
  EXPECT_TRUE(RunLockIsFree());
}

TEST_F(BackupRunTest, DatabaseThatCannotBeOpenedHalfwayReleasesEarlierOnesAndTakesNoSnapshot) {
  rig_->notes.FailCall(NotesMethod::OpenDb, 2, test::kFakeNotFound);
  EXPECT_EQ(RunOne(), -1);
  EXPECT_EQ(rig_->storage.CountCalls(FakeStorage::Method::CreateSnapShot), 0);
  EXPECT_EQ(rig_->notes.DatabasesInBackup(), 0);
  EXPECT_EQ(rig_->notes.OpenDatabaseHandles(), 0);
  EXPECT_EQ(rig_->notes.FindDatabase(Db("mail\\a.nsf"))->endFlags, std::vector<uint32_t>{notes::kBackupEndAbort});
  std::string report = Reports();
  EXPECT_TRUE(Contains(report, "ERROR: Cannot open database: " + Db("mail\\b.nsf") +
                                   "\r\nDomino Reports: File does not exist\r\nAborting backup of all databases.\r\n"
                                   "ERROR: Backup aborted.\r\nReturned from backup mode\r\n"
                                   "FAILED Backup/Snapshot for Mail1/Sales/Acme \r\n"
                                   "ERROR: Snapshot failed on vol1.\r\nERROR: Backup of partition failed.\r\n"));
  EXPECT_FALSE(rig_->notes.runtimeActive());
}

TEST_F(BackupRunTest, FailureAfterRotationKeepsTheRenamedSnapshotInTheHintFile) {
  ASSERT_EQ(RunOne(), 0);
  rig_->notes.FailCall(NotesMethod::OpenDb, rig_->notes.CallCount(NotesMethod::OpenDb) + 1, test::kFakeNotFound);
  EXPECT_EQ(RunOne(), -1);
  std::string renamed = "dominosnap__HOST__Mail1__4-7-2003_9.5.12";
  EXPECT_TRUE(rig_->storage.HasSnapshot('E', renamed));
  EXPECT_TRUE(Contains(platform::ToUpper(Text(std::string(kVault) + "\\Mail1\\hint")), platform::ToUpper(renamed)));
}

TEST_F(BackupRunTest, DeletionFailureFailsTheServerAfterItsSnapshotWasTaken) {
  BackupJob clean = Job({Server()});
  clean.deleteExcess = true;
  clean.keepCount = 5;
  ASSERT_EQ(Run(clean), 0);
  int enumerations = rig_->storage.CountCalls(FakeStorage::Method::EnumSnapShots);

  StartOver();
  // Every enumeration before the deletion's own succeeds.
  rig_->storage.FailMethod(FakeStorage::Method::EnumSnapShots, storage::E_FAIL_, enumerations - 1);
  BackupJob job = Job({Server()});
  job.deleteExcess = true;
  job.keepCount = 5;
  EXPECT_EQ(Run(job), -1);
  EXPECT_TRUE(rig_->storage.HasSnapshot('E', "dominosnap__HOST__MAIL1__recent"));
  std::string report = Reports();
  EXPECT_TRUE(Contains(report, ": Removing snapshots in excess of 5\r\n"));
  EXPECT_TRUE(Contains(report, "ERROR: Backup of partition failed.\r\n"));
  EXPECT_FALSE(Contains(report, "Backup Completed for Server"));
  EXPECT_FALSE(rig_->notes.runtimeActive());
  EXPECT_EQ(rig_->notes.DatabasesInBackup(), 0);
}

TEST_F(BackupRunTest, SnapshotFailureReleasesDatabasesAndLogsTheFailureEvent) {
  rig_->storage.FailMethod(FakeStorage::Method::CreateSnapShot, storage::E_FAIL_);
  EXPECT_EQ(RunOne(), -1);
  EXPECT_EQ(rig_->notes.DatabasesInBackup(), 0);
  std::string errorText = "Failed to create snapshot (CreateSnapShot method failed).\r\n" +
                          snapshot::SystemText(storage::E_FAIL_);
  EXPECT_TRUE(Contains(Reports(), "ERROR: Could not create snapshot\r\nBackup Aborted.\r\n" + errorText));
  std::vector<platform::EventRecord> events = platform::ReadEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].eventId, kEventSnapshotFailed);
  EXPECT_EQ(events[0].category, kCategoryBackup);
  EXPECT_EQ(events[0].strings, (std::vector<std::string>{kServerName, errorText}));
}

TEST_F(BackupRunTest, RuntimeThatCannotStartFailsTheServer) {
  rig_->notes.FailCall(NotesMethod::InitRuntime, 2, kInjected);
  EXPECT_EQ(RunOne(), -1);
  EXPECT_TRUE(Contains(Reports(), "ERROR: cannot initialize notes for Server Mail1/Sales/Acme\r\n"));
  EXPECT_TRUE(rig_->storage.Calls().empty());
  EXPECT_FALSE(rig_->notes.runtimeActive());
}

TEST_F(BackupRunTest, MissingOrEmptyDataDirectoryIsReported) {
  PartitionInfo server = Server();
  server.dataPath = "E:\\gone";
  EXPECT_EQ(RunOne(server), -1);
  EXPECT_TRUE(Contains(Reports(), "ERROR: Invalid data directory for Server Mail1/Sales/Acme\r\n"
                                  "Server directory 'E:\\gone' does not exist.\r\n"));
  StartOver();
  server.dataPath = "";
  EXPECT_EQ(RunOne(server), -1);
  EXPECT_TRUE(Contains(Reports(), "ERROR: Invalid data directory for Server Mail1/Sales/Acme\r\n"
                                  "Server directory is not specified\r\n"));
  EXPECT_EQ(rig_->storage.CountCalls(FakeStorage::Method::CreateSnapShot), 0);
}

TEST_F(BackupRunTest, UnwritableLogHintOnlyWarns) {
  std::filesystem::create_directories(platform::HostPath(RecentDir() + "\\log_hint"));
  EXPECT_EQ(RunOne(), 0);
  EXPECT_TRUE(Contains(Reports(), "WARNING: Could not create log hint file:\r\n" + RecentDir() +
                                      "\\log_hint\r\nRestoration of this snapshot may only be POINT IN TIME\r\n"));
}

// A backup that fails after its snapshot was taken leaves no snapshot that
// counts as a backup: it is deleted with its change-info directory.
TEST_F(BackupRunTest, UnwritableDisabledListFailsTheServerAndDeletesItsSnapshot) {
  std::filesystem::create_directories(platform::HostPath(RecentDir() + "\\disabled_databases"));
  EXPECT_EQ(RunOne(), -1);
  EXPECT_FALSE(rig_->storage.HasSnapshot('E', "dominosnap__HOST__MAIL1__recent"));
  EXPECT_FALSE(std::filesystem::exists(platform::HostPath(RecentDir() + "\\disabled_databases")));
  std::string report = Reports();
  EXPECT_TRUE(Contains(report, "WARNING: Could not create disabled database file: \r\n" + RecentDir() +
                                   "\\disabled_databases\r\nRestoration of this snapshot may only be POINT IN TIME\r\n"));
  EXPECT_TRUE(Contains(report, "Deleted the snapshot dominosnap__HOST__MAIL1__recent of this failed backup"));
  EXPECT_TRUE(Contains(report, "FAILED Backup/Snapshot for Mail1/Sales/Acme \r\n"));
  EXPECT_EQ(rig_->notes.DatabasesInBackup(), 0);
}

// Where the component refuses the deletion the snapshot keeps its mark;
// the next backup deletes it before it takes its own.
TEST_F(BackupRunTest, AFailedSnapshotThatCannotBeDeletedStaysMarkedUntilTheNextBackup) {
  std::filesystem::create_directories(platform::HostPath(RecentDir() + "\\disabled_databases"));
  rig_->storage.FailMethod(FakeStorage::Method::DeleteSnapShot, storage::E_FAIL_);
  EXPECT_EQ(RunOne(), -1);
  EXPECT_TRUE(rig_->storage.HasSnapshot('E', "dominosnap__HOST__MAIL1__recent"));
  EXPECT_TRUE(IsSnapshotIncomplete(Server(), "dominosnap__HOST__MAIL1__recent"));
  EXPECT_TRUE(Contains(Reports(), "It is marked incomplete and will not be offered for restore.\r\n"));

  rig_->storage.ClearFailure(FakeStorage::Method::DeleteSnapShot);
  std::filesystem::remove_all(platform::HostPath(RecentDir() + "\\disabled_databases"));
  EXPECT_EQ(RunOne(), 0);
  EXPECT_TRUE(Contains(Reports(), "Deleted incomplete snapshot dominosnap__HOST__MAIL1__recent\r\n"));
  EXPECT_FALSE(IsSnapshotIncomplete(Server(), "dominosnap__HOST__MAIL1__recent"));
  // The failed snapshot was not renamed into the list.
  EXPECT_EQ(rig_->storage.CountCalls(FakeStorage::Method::RenameSnapShot), 0);
}

TEST_F(BackupRunTest, UnusableReportFolderIsShownNotThrown) {
  platform::DeleteRegistryValue("SOFTWARE\\Velmora\\Ombrel for Domino 1.0\\Client", "ReportFolder");
  EXPECT_EQ(RunOne(), 0);
  EXPECT_TRUE(RunLockIsFree());
  const auto& shown = rig_->messages.shown;
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Unable to save Backup report.");
  EXPECT_TRUE(Contains(shown[0].text, "Failed to read registry value name ReportFolder"));
  EXPECT_EQ(shown[0].icon, platform::MessageIcon::Error);
}

class ThrowingNotes : public FakeNotes {
 public:
  notes::Status BackupStart(notes::Handle, uint32_t&, uint32_t&, uint32_t&) override {
    throw std::runtime_error("disk on fire");
  }
};

TEST_F(BackupRunTest, UnexpectedExceptionStillEndsTheRunCleanly) {
  ThrowingNotes throwing;
  BackupJob job = Job({Server()}, &throwing);
  EXPECT_EQ(Run(job), -1);
  EXPECT_TRUE(Contains(Reports(), "ERROR: disk on fire\r\nERROR: Backup aborted.\r\n"));
  EXPECT_FALSE(throwing.runtimeActive());
  EXPECT_EQ(throwing.DatabasesInBackup(), 0);
  EXPECT_EQ(throwing.OpenDatabaseHandles(), 0);
  EXPECT_TRUE(RunLockIsFree());
}

// ---- every Notes and storage call failing in turn --------------------------------

// What must hold after any run, whatever failed inside it.
// A failed close or end of archiving leaves the fake's handle or session
// behind by design, so those two checks are skipped for them.
void ExpectCleanEnd(int result, const std::string& report, const FakeNotes& notes, const std::string& what,
                    std::optional<NotesMethod> failed = std::nullopt) {
  EXPECT_TRUE(result == 0 || result == -1) << what;
  EXPECT_EQ(notes.DatabasesInBackup(), 0) << what;
  if (failed != NotesMethod::CloseDb) {
    EXPECT_EQ(notes.OpenDatabaseHandles(), 0) << what;
  }
  if (failed != NotesMethod::ArchiveEnd) {
    EXPECT_FALSE(notes.archiveSessionOpen()) << what;
  }
  EXPECT_FALSE(notes.runtimeActive()) << what;
  EXPECT_TRUE(Contains(report, "Start time is: ")) << what;
  if (result == 0) {
    EXPECT_TRUE(Contains(report, "End time is: ")) << what;
  } else {
    EXPECT_TRUE(Contains(report, "ERROR: ")) << what;
    EXPECT_TRUE(Contains(report, "ERROR: Backup of partition failed.\r\n")) << what;
  }
}

// Calls whose failure must fail the backup (the others only lose archiving
// or a close, which the run does not examine).
bool FailsTheBackup(NotesMethod method) {
  switch (method) {
    case NotesMethod::InitRuntime:
    case NotesMethod::OpenDb:
    case NotesMethod::GetDbLogInfo:
    case NotesMethod::BackupStart:
    case NotesMethod::BackupStop:
    case NotesMethod::GetChangeInfoSize:
    case NotesMethod::ReadChangeInfo:
    case NotesMethod::BackupEnd:
      return true;
    default:
      return false;
  }
}

TEST_F(BackupRunTest, EveryNotesCallFailingInTurnEndsCleanly) {
  ASSERT_EQ(RunOne(), 0);
  std::map<NotesMethod, int> counts;
  for (NotesMethod method : test::AllNotesMethods()) counts[method] = rig_->notes.CallCount(method);
  ASSERT_GT(counts[NotesMethod::ReadChangeInfo], 3);

  for (const auto& [method, count] : counts) {
    if (method == NotesMethod::TermRuntime) continue;  // cannot fail
    for (int nth = 1; nth <= count; ++nth) {
      StartOver();
      rig_->notes.FailCall(method, nth, kInjected);
      int result = RunOne();
      std::string what = std::string(test::NotesMethodName(method)) + " call " + std::to_string(nth);
      ExpectCleanEnd(result, Reports(), rig_->notes, what, method);
      EXPECT_TRUE(RunLockIsFree()) << what;
      if (FailsTheBackup(method)) {
        EXPECT_EQ(result, -1) << what;
        // The change-info read failure names the file instead of the status.
        if (method != NotesMethod::InitRuntime && method != NotesMethod::ReadChangeInfo) {
          EXPECT_TRUE(Contains(Reports(), "Fake Notes status 4321")) << what;
        }
      }
    }
  }
}

TEST_F(BackupRunTest, EveryStorageCallFailingInTurnEndsCleanly) {
  BackupJob clean = Job({Server()});
  clean.deleteExcess = true;
  clean.keepCount = 3;
  ASSERT_EQ(Run(clean), 0);
  std::map<FakeStorage::Method, int> counts;
  for (const FakeStorage::Call& call : rig_->storage.Calls()) ++counts[call.method];
  ASSERT_GT(counts[FakeStorage::Method::CreateSnapShot], 0);

  for (const auto& [method, count] : counts) {
    for (int nth = 1; nth <= count; ++nth) {
      StartOver();
      rig_->storage.FailMethod(method, storage::E_FAIL_, nth - 1);
      BackupJob job = Job({Server()});
      job.deleteExcess = true;
      job.keepCount = 3;
      int result = Run(job);
      std::string what = "storage method " + std::to_string(static_cast<int>(method)) + " call " +
                         std::to_string(nth);
      ExpectCleanEnd(result, Reports(), rig_->notes, what);
      EXPECT_TRUE(RunLockIsFree()) << what;
      if (method == FakeStorage::Method::CreateSnapShot) {
        EXPECT_EQ(result, -1) << what;
      }
    }
  }
}

}  // namespace
}  // namespace omb::backup
