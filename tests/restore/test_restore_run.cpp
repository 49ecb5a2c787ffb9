// The restore run end to end against the fake runtime and storage: the
// texts, the event entry, the report and the lock on every way out.
#include <functional>
#include <stdexcept>
#include <ostream>
#include <string>
#include <vector>

#include "core/progress.h"
#include "domino/vaultinfo.h"
#include "platform/ini.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "tests/restore/restore_fixture.h"
#include "tests/support/recording_observer.h"

namespace omb::test {
namespace {

bool DominoRuns() { return true; }

struct Outcome {
  int result = 0;
  std::string text;  // the run's report
  std::vector<platform::EventRecord> events;
};

class RunRestoreTest : public RestoreTest {
 protected:
  // A server with two databases, change information for both (none
  // changed while names.nsf was in backup mode), and logs that need
  // archived extent 3 copied in (4 is the live extent).
  void SetUpServer() {
    AddDatabase("mail\\a.nsf");
    AddDatabase("names.nsf");
    WriteChangeInfo("mail\\a.nsf", "late change", 11, 0);
    WriteChangeInfo("names.nsf", "", 0, 0);
    WriteLogHint(kChangeInfoDir, 3, 0x12345678);
    ArchiveExtent(kChangeInfoDir, 3, "three");
    SetCurrentLog(4, 0x12345678);
  }

  Outcome Run(restore::RestoreJob& job) {
    Outcome outcome;
    outcome.result = restore::RunRestore(job);
    std::vector<std::string> reports = RestoreReports();
    EXPECT_EQ(reports.size(), 1u);
    if (!reports.empty()) outcome.text = reports.front();
    outcome.events = Events();
    EXPECT_TRUE(ProgressText().empty());
    return outcome;
  }

  // The one restore event of the run, its id and insertion strings.
  static void ExpectEvent(const Outcome& outcome, uint32_t id, const std::vector<std::string>& strings) {
    ASSERT_EQ(outcome.events.size(), 1u);
    const platform::EventRecord& event = outcome.events.front();
    EXPECT_EQ(event.source, "ombsvc");
    EXPECT_EQ(event.type, 4);
    EXPECT_EQ(event.category, 2);
    EXPECT_EQ(event.eventId, id);
    EXPECT_EQ(event.strings, strings);
  }

  static std::vector<std::string> Strings(const std::string& mode, const std::string& last = "") {
    std::vector<std::string> strings{mode, kSnapshotName, "Mail1/Sales/Acme"};
    if (!last.empty()) strings.push_back(last);
    return strings;
  }
};

size_t Where(const std::string& text, const std::string& piece) { return text.find(piece); }

TEST_F(RunRestoreTest, UpToTheMinuteRestoreRunsEveryStepInOrder) {
  SetUpServer();
  notes_.ScriptRecover({0, 0, {}, "Recovery of 1 database done\n"});
  restore::RestoreJob job = MakeJob(false);

  Outcome outcome = Run(job);

  ASSERT_EQ(outcome.result, 0) << outcome.text;
  const std::string& text = outcome.text;
  std::vector<std::string> order = {
      "Start time is: ",
      "\r\nRestoring snapshot: " + std::string(kSnapshotName) + "\r\n",
      "Determining necessary logs for UP TO THE MINUTE RESTORE\r\n",
      "Copying log file : S0000003.TXN\r\n",
      "\r\nStarting restore of snapshot\r\nRestoring snapshot. Please wait...\r\nSnapshot restored.\r\n",
      "Applying change information (from Domino backup) to restored databases.\r\n"
      "Change information directory is:\r\n" + std::string(kChangeInfoDir) + "\r\n",
      "Applied 11 bytes to D:\\Lotus\\Domino\\Data\\mail\\a.nsf\r\n",
      "Change information applied.\r\n",
      "\r\nPerforming UP TO THE MINUTE Domino recovery.\r\nAll transactions will be applied (please wait...)\r\n",
      "Recovery of 1 database done",
      "Recovery COMPLETE \r\n",
      "\r\n\r\nSNAPSHOT RESTORE AND RECOVERY COMPLETE.\r\nRESTART DOMINO IMMEDIATELY\r\n"};
  size_t at = 0;
  for (const std::string& piece : order) {
    size_t found = text.find(piece, at);
    ASSERT_NE(found, std::string::npos) << "missing in order: " << piece << "\n" << text;
    at = found + piece.size();
  }
  EXPECT_EQ(text, job.progress.accumulated);
  ExpectEvent(outcome, kEventRestoreDone, Strings("UP TO THE MINUTE"));
  EXPECT_FALSE(WindowsFileExists("L:\\logdir\\S0000003.TXN"));  // the copy was removed again
  ASSERT_EQ(storage_.CountCalls(FakeStorage::Method::RestoreSnapShot), 1);
  EXPECT_EQ(notes_.initArgs().back(), (std::vector<std::string>{"=D:\\Lotus\\Domino\\notes.ini"}));
  EXPECT_FALSE(notes_.runtimeActive());
  EXPECT_EQ(restore::CurrentRestoreJob(), &job);
  EXPECT_TRUE(RunLockFree());
}

TEST_F(RunRestoreTest, PointInTimeRestoreNeverRollsForward) {
  SetUpServer();
  restore::RestoreJob job = MakeJob(true);
  Outcome outcome = Run(job);
  ASSERT_EQ(outcome.result, 0) << outcome.text;
  EXPECT_NE(Where(outcome.text, "\r\nPerforming POINT IN TIME Domino recovery.\r\n"
                                "Transactions will be applied up to 4/7/2003 9:5:00\r\n"),
            std::string::npos);
  EXPECT_EQ(Where(outcome.text, "Determining necessary logs"), std::string::npos);
  EXPECT_EQ(notes_.CallCount(NotesMethod::Recover), 0);
  ExpectEvent(outcome, kEventRestoreDone, Strings("POINT IN TIME"));
}

TEST_F(RunRestoreTest, StatusDialogShowsProgressAndGetsItsButtonBack) {
  SetUpServer();
  RecordingObserver window;
  restore::RestoreJob job = MakeJob(false);
  job.owner = &window;
  ASSERT_EQ(Run(job).result, 0);
  ASSERT_EQ(window.ranges.size(), 1u);
  EXPECT_EQ(window.ranges[0].high, 2);
  EXPECT_EQ(window.ranges[0].step, 1);
  EXPECT_EQ(window.steps, 2);
  EXPECT_EQ(window.finished, (std::vector<bool>{true}));
  EXPECT_EQ(window.busyChanges, (std::vector<bool>{true, false}));
}

TEST_F(RunRestoreTest, SecondRunWhileTheLockIsHeldIsRefused) {
  SetUpServer();
  ProgressSink holder;
  RunLock held = AcquireRunLock(holder);
  ASSERT_NE(held, nullptr);
  restore::RestoreJob job = MakeJob(false);

  Outcome outcome = Run(job);

  EXPECT_EQ(outcome.result, -1);
  EXPECT_NE(Where(outcome.text, "ERROR: Restore aborted. A current BACKUP/RESTORE is in progress\r\n"),
            std::string::npos);
  ExpectEvent(outcome, kEventRestoreFailed,
              Strings("UP TO THE MINUTE", "A current BACKUP/RESTORE is in progress."));
  EXPECT_EQ(notes_.CallCount(NotesMethod::InitRuntime), 0);
  EXPECT_EQ(storage_.CountCalls(FakeStorage::Method::RestoreSnapShot), 0);
  held.reset();
  EXPECT_TRUE(RunLockFree());
}

TEST_F(RunRestoreTest, RunningDominoIsRefusedBeforeTheRuntimeStarts) {
  SetUpServer();
  SetDominoRunningCheck(&DominoRuns);
  restore::RestoreJob job = MakeJob(false);

  Outcome outcome = Run(job);

  EXPECT_EQ(outcome.result, -1);
  EXPECT_EQ(outcome.text,
            "ERROR: Domino is running. It needs to be shutdown before the restore process occurs.\r\n");
  ExpectEvent(outcome, kEventRestoreFailed,
              Strings("UP TO THE MINUTE",
                      "Domino is running. It needs to be shutdown before the restore process occurs."));
  EXPECT_EQ(notes_.TotalCalls(), 0);
  EXPECT_TRUE(storage_.Calls().empty());
  EXPECT_TRUE(RunLockFree());
}

class RuntimeStartFailureTest : public RunRestoreTest, public ::testing::WithParamInterface<int> {};

// The first start fails, or the second one after the terminate.
TEST_P(RuntimeStartFailureTest, RunEndsWithTheNotesStatus) {
  SetUpServer();
  notes_.FailCall(NotesMethod::InitRuntime, GetParam(), 4321);
  restore::RestoreJob job = MakeJob(false);

  Outcome outcome = Run(job);

  EXPECT_EQ(outcome.result, 4321);
  EXPECT_EQ(outcome.text, "ERROR: Could not initialize notes runtime. Restore snapshot failed.\r\n");
  ExpectEvent(outcome, kEventRestoreFailed,
              Strings("UP TO THE MINUTE", "Could not initialize notes runtime. Restore snapshot failed."));
  EXPECT_EQ(storage_.CountCalls(FakeStorage::Method::RestoreSnapShot), 0);
  EXPECT_TRUE(RunLockFree());
}

INSTANTIATE_TEST_SUITE_P(FirstOrSecondStart, RuntimeStartFailureTest, ::testing::Values(1, 2));

TEST_F(RunRestoreTest, EmptyNotesIniStartsTheRuntimeWithoutArguments) {
  SetUpServer();
  restore::RestoreJob job = MakeJob(true);
  job.server.notesIniPath.clear();
  ASSERT_EQ(Run(job).result, 0);
  ASSERT_FALSE(notes_.initArgs().empty());
  for (const auto& args : notes_.initArgs()) EXPECT_TRUE(args.empty());
}

TEST_F(RunRestoreTest, FailedLogPreparationStopsBeforeTheVolumeIsTouched) {
  SetUpServer();
  SetCurrentLog(9, 0x0badf00d);  // the log series changed since the snapshot
  restore::RestoreJob job = MakeJob(false);

  Outcome outcome = Run(job);

  EXPECT_EQ(outcome.result, -1);
  EXPECT_EQ(Where(outcome.text, "Starting restore of snapshot"), std::string::npos);
  EXPECT_EQ(storage_.CountCalls(FakeStorage::Method::RestoreSnapShot), 0);
  std::string mismatch =
      "ERROR: The Log Series of the current transaction log (0x0badf00d)\r\n"
      "Does not match the Snapshot Log Series (0x12345678)\r\n"
      "UP TO THE MINUTE restore is not possible\r\n";
  EXPECT_EQ(CountOf(outcome.text, mismatch), 2);  // when it happens, and again at the end
  ExpectEvent(outcome, kEventRestoreFailed, Strings("UP TO THE MINUTE", mismatch));
  EXPECT_TRUE(RunLockFree());
}

TEST_F(RunRestoreTest, MissingChangeInfoDirectoryStopsBeforeAnythingIsTouched) {
  SetUpServer();
  restore::RestoreJob job = MakeJob(false);
  job.snapshot.name = "dominosnap__HOST__MAIL1__4-1-2003_1.1.1";

  Outcome outcome = Run(job);

  std::string expected = "ERROR: Change information directory " + std::string(kServerVaultDir) +
                         "dominosnap__HOST__MAIL1__4-1-2003_1.1.1 does not exist. Restore aborted.\r\n";
  EXPECT_EQ(outcome.result, -1);
  EXPECT_NE(Where(outcome.text, expected), std::string::npos) << outcome.text;
  EXPECT_EQ(Where(outcome.text, "Determining necessary logs"), std::string::npos);
  EXPECT_EQ(storage_.CountCalls(FakeStorage::Method::RestoreSnapShot), 0);
  EXPECT_FALSE(WindowsFileExists("L:\\logdir\\S0000003.TXN"));
  ASSERT_EQ(outcome.events.size(), 1u);
  EXPECT_EQ(outcome.events[0].strings.back(), expected);
}

TEST_F(RunRestoreTest, WithoutVaultinfoRootTheRunStopsBeforeTheVolumeIsTouched) {
  SetUpServer();
  platform::WriteIniValue(GetIniPath(), "NOTES", "CHANGE_INFO_DIR", "");
  restore::RestoreJob job = MakeJob(true);
  Outcome outcome = Run(job);
  EXPECT_EQ(outcome.result, -1);
  EXPECT_NE(Where(outcome.text, "ERROR: Could not obtain location of Vaultinfo directory\r\n"),
            std::string::npos);
  EXPECT_EQ(storage_.CountCalls(FakeStorage::Method::RestoreSnapShot), 0);
}

TEST_F(RunRestoreTest, UnreadableDataDirectoryFailsAfterTheRestore) {
  SetUpServer();
  restore::RestoreJob job = MakeJob(true);
  job.server.dataPath = "D:\\Missing\\Data";
  Outcome outcome = Run(job);
  EXPECT_EQ(outcome.result, -1);
  std::string expected =
      "ERROR: Cannot obtain listing of restored NSF/NTF. This is needed\r\n"
      " in order to apply backup change information to the recovered databases.\r\n"
      "D:\\Missing\\Data invalid.\r\n";
  EXPECT_NE(Where(outcome.text, "Snapshot restored.\r\n" ), std::string::npos);
  EXPECT_NE(Where(outcome.text, expected), std::string::npos) << outcome.text;
  EXPECT_TRUE(RunLockFree());
}

// Each storage and Notes call of a restore made to fail: the run ends with
// -1, says why, writes the failure event and the report, and frees the lock.
struct InjectedFailure {
  const char* name;
  bool pointInTime;
  std::function<void(FakeNotes&, FakeStorage&)> inject;
  std::string expected;        // in the report
  bool volumeReverted;         // "Snapshot restored." was reached
};

void PrintTo(const InjectedFailure& failure, std::ostream* out) { *out << failure.name; }

class RestoreFailureTest : public RunRestoreTest, public ::testing::WithParamInterface<InjectedFailure> {};

TEST_P(RestoreFailureTest, FailureIsReportedEverywhere) {
  const InjectedFailure& failure = GetParam();
  SetUpServer();
  failure.inject(notes_, storage_);
  restore::RestoreJob job = MakeJob(failure.pointInTime);

  Outcome outcome = Run(job);

  EXPECT_EQ(outcome.result, -1);
  EXPECT_NE(Where(outcome.text, failure.expected), std::string::npos) << outcome.text;
  EXPECT_EQ(Where(outcome.text, "RECOVERY COMPLETE"), std::string::npos);
  EXPECT_EQ(Where(outcome.text, "Snapshot restored.") != std::string::npos, failure.volumeReverted);
  ASSERT_EQ(outcome.events.size(), 1u);
  EXPECT_EQ(outcome.events[0].eventId, kEventRestoreFailed);
  ASSERT_EQ(outcome.events[0].strings.size(), 4u);
  EXPECT_NE(outcome.events[0].strings[3].find("ERROR: "), std::string::npos);
  EXPECT_NE(Where(outcome.text, outcome.events[0].strings[3]), std::string::npos);
  EXPECT_FALSE(notes_.runtimeActive());
  EXPECT_TRUE(RunLockFree());
}

InjectedFailure NotesFailure(const char* name, NotesMethod method, bool pointInTime,
                             std::string expected, bool reverted) {
  return {name, pointInTime,
          [method](FakeNotes& notes, FakeStorage&) { notes.FailCall(method, 0, 4321); },
          std::move(expected), reverted};
}

InjectedFailure StorageFailure(const char* name, FakeStorage::Method method, std::string expected) {
  return {name, false,
          [method](FakeNotes&, FakeStorage& storage) { storage.FailMethod(method, storage::E_FAIL_); },
          std::move(expected), false};
}

INSTANTIATE_TEST_SUITE_P(
    EachCall, RestoreFailureTest,
    ::testing::Values(
        NotesFailure("ArchiveFirst", NotesMethod::ArchiveFirst, false,
                     "UP TO THE MINUTE restore is not possible\r\n", false),
        NotesFailure("ArchiveNext", NotesMethod::ArchiveNext, false,
                     "ERROR: Could not determine the current transaction log extent.\r\n", false),
        NotesFailure("ApplyChangeInfoStart", NotesMethod::ApplyChangeInfoStart, false,
                     "ERROR: Could not activate 'apply change info mode' to restored database:  "
                     "D:\\Lotus\\Domino\\Data\\mail\\a.nsf",
                     true),
        NotesFailure("ApplyChangeInfo", NotesMethod::ApplyChangeInfo, false,
                     "Fake Notes status 4321ERROR: Apply change information failed (although "
                     "snapshot was restored).\r\n",
                     true),
        NotesFailure("ApplyChangeInfoEnd", NotesMethod::ApplyChangeInfoEnd, true,
                     "ERROR: Cannot end the application of change information to restore database: ",
                     true),
        NotesFailure("Recover", NotesMethod::Recover, false,
                     "ERROR: Fake Notes status 4321\r\n"
                     "ERROR: UP TO THE MINUTE Recovery failed. Restored snapshot is POINT IN TIME\r\n",
                     true),
        StorageFailure("GetSnapshotFactory", FakeStorage::Method::GetSnapshotFactory, "ERROR: "),
        StorageFailure("CreateSnapshotInterface", FakeStorage::Method::CreateSnapshotInterface,
                       "ERROR: "),
        StorageFailure("RestoreSnapShot", FakeStorage::Method::RestoreSnapShot,
                       "ERROR: Restore SnapShot failed.\r\n")),
    [](const ::testing::TestParamInfo<InjectedFailure>& info) { return std::string(info.param.name); });

// The databases are only touched at a point in time: a runtime that refuses
// them does not make the restore fail.
TEST_F(RunRestoreTest, PointInTimeTouchFailuresDoNotFailTheRun) {
  for (NotesMethod method : {NotesMethod::OpenDb, NotesMethod::ReadDbInfoBlock,
                             NotesMethod::WriteDbInfoBlock, NotesMethod::CloseDb}) {
    notes_.FailCall(method, 0, 4321);
  }
  SetUpServer();
  restore::RestoreJob job = MakeJob(true);
  Outcome outcome = Run(job);
  EXPECT_EQ(outcome.result, 0) << outcome.text;
  ExpectEvent(outcome, kEventRestoreDone, Strings("POINT IN TIME"));
  EXPECT_NE(Where(outcome.text, "SNAPSHOT RESTORE AND RECOVERY COMPLETE."), std::string::npos);
  EXPECT_TRUE(RunLockFree());
}

TEST_F(RunRestoreTest, FailedRestoreOfTheVolumeStillRecordsTheCurrentRequest) {
  SetUpServer();
  storage_.FailMethod(FakeStorage::Method::RestoreSnapShot, storage::E_FAIL_);
  restore::RestoreJob job = MakeJob(true);
  EXPECT_EQ(Run(job).result, -1);
  EXPECT_EQ(restore::CurrentRestoreJob(), &job);
}

TEST_F(RunRestoreTest, SnapshotRestoreReportingInvalidHandleCountsAsDone) {
  SetUpServer();
  storage_.FailMethod(FakeStorage::Method::RestoreSnapShot, storage::E_HANDLE_);
  restore::RestoreJob job = MakeJob(true);
  Outcome outcome = Run(job);
  EXPECT_EQ(outcome.result, 0) << outcome.text;
}

TEST_F(RunRestoreTest, DatabaseDroppedFromTheRecoveryFailsTheRun) {
  SetUpServer();
  notes_.ScriptRecover({4321, 1, {}, ""});
  notes_.ScriptRecover({0, 0, {}, ""});
  restore::RestoreJob job = MakeJob(false);
  Outcome outcome = Run(job);
  EXPECT_EQ(outcome.result, -1);
  EXPECT_NE(Where(outcome.text, "WARNING: Removing : D:\\Lotus\\Domino\\Data\\mail\\a.nsf from recovery list."),
            std::string::npos);
  EXPECT_NE(Where(outcome.text, "ERROR: UP TO THE MINUTE Recovery failed. Restored snapshot is POINT IN TIME\r\n"),
            std::string::npos);
  EXPECT_EQ(Where(outcome.text, "SNAPSHOT RESTORE AND RECOVERY COMPLETE."), std::string::npos);
  // The report ends naming the database and why.
  const std::string last =
      "ERROR: Database D:\\Lotus\\Domino\\Data\\mail\\a.nsf was removed from the recovery list "
      "(Fake Notes status 4321) and is not recovered.\r\n";
  ASSERT_GE(outcome.text.size(), last.size());
  EXPECT_EQ(outcome.text.substr(outcome.text.size() - last.size()), last);
  // The other database was still recovered.
  EXPECT_EQ(notes_.recoverCalls().back().databases,
            std::vector<std::string>{"D:\\Lotus\\Domino\\Data\\names.nsf"});
}

// A logged database without change information was not brought to the
// snapshot's state: the run fails and names it once everything else is done.
// One that is not logged needs none.
class MissingChangeInfoTest : public RunRestoreTest, public testing::WithParamInterface<bool> {};

TEST_P(MissingChangeInfoTest, LoggedDatabaseWithoutItFailsTheRun) {
  SetUpServer();
  AddDatabase("lost.nsf");
  AddDatabase("unlogged.nsf", false);
  restore::RestoreJob job = MakeJob(GetParam());
  Outcome outcome = Run(job);
  EXPECT_EQ(outcome.result, -1);
  EXPECT_EQ(Where(outcome.text, "SNAPSHOT RESTORE AND RECOVERY COMPLETE."), std::string::npos);
  EXPECT_NE(Where(outcome.text, "ERROR: Not every database was brought to the requested point.\r\n"),
            std::string::npos);
  const std::string last = "ERROR: Database D:\\Lotus\\Domino\\Data\\lost.nsf has no change information "
                           "from the backup (" + ChangeInfoFile("lost.nsf") +
                           ") and was not brought to the snapshot's state.\r\n";
  ASSERT_GE(outcome.text.size(), last.size());
  EXPECT_EQ(outcome.text.substr(outcome.text.size() - last.size()), last);
  EXPECT_EQ(Where(outcome.text, "unlogged.nsf has no change"), std::string::npos);
  ExpectEvent(outcome, kEventRestoreFailed, Strings(GetParam() ? "POINT IN TIME" : "UP TO THE MINUTE", [&] {
                std::string errors = outcome.text.substr(outcome.text.rfind("ERROR: Not every"));
                return errors;
              }()));
  // Up to the minute, the recovery still ran for every database.
  if (!GetParam()) {
    ASSERT_EQ(notes_.recoverCalls().size(), 1u);
    EXPECT_EQ(notes_.recoverCalls().front().databases.size(), 4u);
  }
}

INSTANTIATE_TEST_SUITE_P(BothModes, MissingChangeInfoTest, testing::Bool());

// ---- what escapes the steps -----------------------------------------------------

class ThrowingRecovery : public FakeNotes {
 public:
  notes::Status Recover(std::string_view, const notes::ArchivedLogCallback&, uint32_t, uint32_t&) override {
    throw std::runtime_error("disk on fire");
  }
};

TEST_F(RunRestoreTest, UnexpectedExceptionEndsTheRunLikeAFailure) {
  SetUpServer();
  ThrowingRecovery throwing;
  throwing.SetLogId(LogIdOfSeries(0x12345678));
  throwing.AddExtent(4, std::string(kLogPath) + "\\live.TXN", true);
  RecordingObserver window;
  restore::RestoreJob job(RunServices{throwing, storage_, clock_, messages_});
  restore::RestoreJob filled = MakeJob(false);
  job.server = filled.server;
  job.snapshot = filled.snapshot;
  job.owner = &window;

  Outcome outcome = Run(job);

  EXPECT_EQ(outcome.result, -1);
  EXPECT_NE(Where(outcome.text, "ERROR: disk on fire\r\nERROR: Restore aborted.\r\n"), std::string::npos);
  ExpectEvent(outcome, kEventRestoreFailed,
              Strings("UP TO THE MINUTE", "ERROR: disk on fire\r\nERROR: Restore aborted.\r\n"));
  EXPECT_FALSE(throwing.runtimeActive());
  EXPECT_TRUE(RunLockFree());
  EXPECT_EQ(window.busyChanges, (std::vector<bool>{true, false}));
  EXPECT_EQ(window.finished, (std::vector<bool>{false}));
}

TEST_F(RunRestoreTest, ReportThatCannotBeSavedGoesToTheRunsMessages) {
  SetUpServer();
  platform::DeleteRegistryValue("SOFTWARE\\Velmora\\Ombrel for Domino 1.0\\Client", "ReportFolder");
  restore::RestoreJob job = MakeJob(true);
  EXPECT_EQ(restore::RunRestore(job), 0);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].caption, "Unable to save Restore report.");
  EXPECT_NE(messages_.shown[0].text.find("Failed to read registry value name ReportFolder"), std::string::npos);
  EXPECT_TRUE(RunLockFree());
}

// ---- recovery to a chosen time ------------------------------------------

constexpr uint64_t kSecond = 10'000'000;

class RecoverUntilTest : public RunRestoreTest {
 protected:
  // The snapshot was made at 09:05:00.5; the newest log record is from
  // 10:40:30.25 (TZ is UTC in the tests).
  restore::RestoreJob UntilJob(uint64_t until) {
    SetUpServer();
    restore::RestoreJob job = MakeJob(false);
    job.snapshot.component.creationTime = created_;
    notes_.SetLastLogRecordTime(newest_);
    job.recoverUntil = until;
    return job;
  }
  const uint64_t created_ = platform::SystemTimeToFileTime({2003, 4, 0, 7, 9, 5, 0, 500});
  const uint64_t newest_ = platform::SystemTimeToFileTime({2003, 4, 0, 7, 10, 40, 30, 250});
};

TEST_F(RecoverUntilTest, RecoversToTheTimeWithItsOwnTexts) {
  const uint64_t until = platform::SystemTimeToFileTime({2003, 4, 0, 7, 10, 0, 0, 0});
  restore::RestoreJob job = UntilJob(until);
  notes_.ScriptRecover({0, 0, {}, ""});

  Outcome outcome = Run(job);

  ASSERT_EQ(outcome.result, 0) << outcome.text;
  ASSERT_EQ(notes_.recoverCalls().size(), 1u);
  EXPECT_EQ(notes_.recoverCalls()[0].untilTime, until);
  EXPECT_NE(Where(outcome.text, "\r\nPerforming Domino recovery to 2003-04-07 10:00:00.\r\n"
                                "Transactions written up to that time will be applied (please wait...)\r\n"),
            std::string::npos)
      << outcome.text;
  EXPECT_NE(Where(outcome.text, "Beginning Domino recovery to 2003-04-07 10:00:00.\r\n"), std::string::npos);
  EXPECT_EQ(Where(outcome.text, "Performing UP TO THE MINUTE"), std::string::npos);
  EXPECT_NE(Where(outcome.text, "Copying log file : S0000003.TXN\r\n"), std::string::npos);
  EXPECT_FALSE(WindowsFileExists("L:\\logdir\\S0000003.TXN"));
  ExpectEvent(outcome, kEventRestoreDone, Strings("RECOVERY TO 2003-04-07 10:00:00"));
}

TEST_F(RecoverUntilTest, TheEdgesOfTheRangeAreSecondsAndBothBelongToIt) {
  for (uint64_t until : {created_ - created_ % kSecond, newest_ - newest_ % kSecond + kSecond - 1}) {
    restore::RestoreJob job = UntilJob(until);
    notes_.ScriptRecover({0, 0, {}, ""});
    std::string errorText;
    EXPECT_EQ(restore::CheckRecoveryTime(job, errorText), 0) << errorText;
  }
  // A log with nothing newer than the snapshot reaches the snapshot's second.
  const restore::RecoveryRange range = restore::ValidRecoveryRange(created_, created_ - 100 * kSecond);
  EXPECT_EQ(range.from, created_ - created_ % kSecond);
  EXPECT_EQ(range.to, range.from + kSecond - 1);
}

struct Refusal {
  const char* name;
  int64_t offsetFromCreation;  // in 100 ns units; added to the creation time
  bool pointInTime;
  const char* message;
};

class RecoverUntilRefusalTest : public RecoverUntilTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RecoverUntilRefusalTest, IsRefusedBeforeTheVolumeIsTouched) {
  const Refusal& refusal = GetParam();
  restore::RestoreJob job =
      UntilJob(static_cast<uint64_t>(static_cast<int64_t>(created_) + refusal.offsetFromCreation));
  job.pointInTime = refusal.pointInTime ? 1 : 0;

  Outcome outcome = Run(job);

  EXPECT_EQ(outcome.result, -1);
  EXPECT_EQ(CountOf(outcome.text, refusal.message), 2) << outcome.text;  // when it happens and at the end
  EXPECT_EQ(storage_.CountCalls(FakeStorage::Method::RestoreSnapShot), 0);
  EXPECT_EQ(Where(outcome.text, "Determining necessary logs"), std::string::npos);
  EXPECT_FALSE(WindowsFileExists("L:\\logdir\\S0000003.TXN"));
  EXPECT_TRUE(notes_.recoverCalls().empty());
  EXPECT_TRUE(RunLockFree());
}

constexpr const char* kRange = "can be recovered to a time from 2003-04-07 09:05:00 to 2003-04-07 10:40:30.\r\n"
                               "Restore aborted.\r\n";

INSTANTIATE_TEST_SUITE_P(
    Times, RecoverUntilRefusalTest,
    ::testing::Values(
        Refusal{"SecondBeforeTheSnapshot", -static_cast<int64_t>(kSecond), false,
                "ERROR: The recovery time 2003-04-07 09:04:59 is before the snapshot was taken.\r\n"},
        Refusal{"JustAfterTheNewestRecord", static_cast<int64_t>(5731 * kSecond), false, kRange},
        Refusal{"TogetherWithPointInTime", static_cast<int64_t>(kSecond), true,
                "ERROR: A restore is either POINT IN TIME or a recovery to a chosen time, not both.\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecoverUntilTest, UnreadableLogTimeIsRefusedBeforeTheVolumeIsTouched) {
  restore::RestoreJob job = UntilJob(created_ + kSecond);
  notes_.SetLastLogRecordTime(0, notes::kLoggingDisabled);
  Outcome outcome = Run(job);
  EXPECT_EQ(outcome.result, -1);
  EXPECT_NE(Where(outcome.text, "A recovery to a chosen time is not possible. Restore aborted.\r\n"),
            std::string::npos);
  EXPECT_EQ(storage_.CountCalls(FakeStorage::Method::RestoreSnapShot), 0);
}

TEST_F(RecoverUntilTest, DatabaseThatCannotBeBroughtToTheTimeFailsTheRun) {
  restore::RestoreJob job = UntilJob(created_ + kSecond);
  // a.nsf holds changes after the time; the rest recovers on the retry.
  notes_.ScriptRecover({notes::kPastRecoveryTime, 1, {}, ""});
  notes_.ScriptRecover({0, 0, {}, ""});

  Outcome outcome = Run(job);

  EXPECT_EQ(outcome.result, -1);
  ASSERT_EQ(notes_.recoverCalls().size(), 2u);
  EXPECT_EQ(notes_.recoverCalls()[1].untilTime, created_ + kSecond);
  EXPECT_NE(Where(outcome.text, "ERROR: Database D:\\Lotus\\Domino\\Data\\mail\\a.nsf was removed from the "
                                "recovery list"),
            std::string::npos)
      << outcome.text;
  EXPECT_NE(Where(outcome.text, "ERROR: Domino recovery to 2003-04-07 09:05:01 failed."), std::string::npos);
  EXPECT_EQ(Where(outcome.text, "RECOVERY COMPLETE"), std::string::npos);
}

}  // namespace
}  // namespace omb::test
