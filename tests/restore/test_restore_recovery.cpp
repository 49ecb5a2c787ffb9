// Point-in-time and up-to-the-minute recovery, the Notes recovery call and
// the archived-log callback.
#include <algorithm>
#include <string>
#include <vector>

#include "backup/databases.h"
#include "tests/restore/restore_fixture.h"
#include "tests/support/recording_observer.h"

namespace omb::test {
namespace {

using Step = FakeNotes::RecoverStep;

class RecoveryTest : public RestoreTest {
 protected:
  std::vector<backup::DatabaseRecord> Databases(const std::vector<std::string>& relativePaths) {
    std::vector<backup::DatabaseRecord> list;
    for (const std::string& relative : relativePaths) {
      list.push_back(backup::DatabaseRecord{});
      list.back().path = std::string(kDataPath) + "\\" + relative;
    }
    return list;
  }
  static std::string Db(const std::string& relative) { return std::string(kDataPath) + "\\" + relative; }
  notes::Status UpToTheMinute(const std::vector<std::string>& relativePaths,
                              const std::vector<std::string>& disabled = {}) {
    return restore::RecoverDatabases(job_, Databases(relativePaths), std::nullopt, disabled);
  }
  bool Printed(const std::string& text) const {
    return job_.progress.accumulated.find(text) != std::string::npos;
  }

  restore::RestoreJob job_ = MakeJob(false);
};

TEST(NameBufferTest, EachPathEndsInNulAndTheListInOneMore) {
  using namespace std::string_literals;
  EXPECT_EQ(restore::BuildNameBuffer({"D:\\a.nsf", "D:\\b.nsf"}), "D:\\a.nsf\0D:\\b.nsf\0\0"s);
  EXPECT_EQ(restore::BuildNameBuffer({}), "\0"s);
}

TEST_F(RecoveryTest, ThousandsOfDatabasesReachTheRecoveryWhole) {
  // 3000 paths of ~90 characters: far more than 64 KB of names.
  std::vector<std::string> relative;
  for (int i = 0; i < 3000; ++i) {
    relative.push_back("mail\\departments\\sales\\region-north\\user-mailbox-number-" +
                       std::to_string(i) + ".nsf");
  }
  ASSERT_EQ(UpToTheMinute(relative), 0);
  ASSERT_EQ(notes_.recoverCalls().size(), 1u);
  const std::vector<std::string>& passed = notes_.recoverCalls()[0].databases;
  ASSERT_EQ(passed.size(), 3000u);
  EXPECT_EQ(passed.front(), Db(relative.front()));
  EXPECT_EQ(passed.back(), Db(relative.back()));
}

TEST_F(RecoveryTest, UpToTheMinuteSkipsLogTemplatesAndDisabledDatabases) {
  RecordingObserver window;
  job_.owner = &window;
  ASSERT_EQ(UpToTheMinute({"names.nsf", "LOG.NSF", "mail\\a.nsf", "mail.NTF", "off.nsf", "b.box"},
                          {"d:\\lotus\\domino\\data\\OFF.nsf"}),
            0);
  ASSERT_EQ(notes_.recoverCalls().size(), 1u);
  EXPECT_EQ(notes_.recoverCalls()[0].databases,
            (std::vector<std::string>{Db("names.nsf"), Db("mail\\a.nsf"), Db("b.box")}));
  EXPECT_EQ(notes_.recoverCalls()[0].flags, 1u);
  ASSERT_EQ(window.ranges.size(), 1u);
  EXPECT_EQ(window.ranges[0].low, 0);
  EXPECT_EQ(window.ranges[0].high, 6);
  EXPECT_EQ(window.ranges[0].step, 1);
  EXPECT_EQ(window.steps, 3);
  EXPECT_TRUE(Printed("\r\nBeginning Domino UP TO THE MINUTE recovery.\r\n"));
  EXPECT_EQ(restore::CurrentRestoreJob(), &job_);
}

TEST_F(RecoveryTest, PointInTimeTouchesEveryDatabaseButTheLogAndNeverRecovers) {
  for (const char* name : {"names.nsf", "log.nsf", "mail.ntf", "off.nsf"}) AddDatabase(name);
  std::vector<backup::DatabaseRecord> list = Databases({"names.nsf", "log.nsf", "mail.ntf", "off.nsf"});
  ASSERT_EQ(restore::RecoverDatabases(job_, list, std::string("4/7/2003 9:5:00"),
                                      {Db("off.nsf")}),
            0);
  EXPECT_EQ(notes_.CallCount(NotesMethod::Recover), 0);
  EXPECT_EQ(notes_.CallCount(NotesMethod::OpenDb), 3);
  EXPECT_EQ(notes_.CallCount(NotesMethod::WriteDbInfoBlock), 3);
  EXPECT_EQ(notes_.OpenDatabaseHandles(), 0);
}

TEST_F(RecoveryTest, PointInTimeIgnoresFailuresAndNeverWritesAnUnreadBlock) {
  AddDatabase("a.nsf");
  AddDatabase("b.nsf");
  notes_.FindDatabase(Db("b.nsf"))->infoBlock.fill('k');
  notes_.FailCall(NotesMethod::OpenDb, 1, 4321);
  notes_.FailCall(NotesMethod::ReadDbInfoBlock, 1, 4321);
  ASSERT_EQ(restore::RecoverDatabases(job_, Databases({"a.nsf", "b.nsf"}), std::string("t"), {}), 0);
  EXPECT_EQ(notes_.CallCount(NotesMethod::WriteDbInfoBlock), 0);
  EXPECT_EQ(notes_.FindDatabase(Db("b.nsf"))->infoBlock[0], 'k');
  EXPECT_EQ(notes_.OpenDatabaseHandles(), 0);
}

TEST_F(RecoveryTest, UnloggedDatabaseIsDroppedAndRecoveryRetried) {
  notes_.ScriptRecover(Step{notes::kDbNotLogged, 2, {}, ""});
  notes_.ScriptRecover(Step{0, 0, {}, ""});
  ASSERT_EQ(UpToTheMinute({"a.nsf", "b.nsf", "c.nsf"}), 0);
  ASSERT_EQ(notes_.recoverCalls().size(), 2u);
  EXPECT_EQ(notes_.recoverCalls()[1].databases, (std::vector<std::string>{Db("a.nsf"), Db("c.nsf")}));
  EXPECT_TRUE(Printed("WARNING: Transaction logging disabled for : " + Db("b.nsf") +
                      ".\r\nRetrying recovery.\r\n"));
}

TEST_F(RecoveryTest, OtherFailureRemovesTheDatabaseWithItsOwnWarningAndFailsTheRecovery) {
  notes_.ScriptRecover(Step{4321, 1, {}, ""});
  // The retry recovers b.nsf, but a.nsf was not rolled forward.
  ASSERT_EQ(UpToTheMinute({"a.nsf", "b.nsf"}), 4321);
  EXPECT_TRUE(Printed("ERROR: Fake Notes status 4321\r\n"));
  EXPECT_TRUE(Printed("WARNING: Removing : " + Db("a.nsf") + " from recovery list.\r\nRetrying recovery.\r\n"));
  EXPECT_EQ(notes_.recoverCalls()[1].databases, (std::vector<std::string>{Db("b.nsf")}));
}

TEST_F(RecoveryTest, RecoveryFailingOnADifferentDatabaseEachTimeIsBounded) {
  // Every call fails on the first database of what is left: each failure
  // drops one, and the call on the emptied list names a database beyond it.
  for (int i = 0; i < 10; ++i) notes_.ScriptRecover(Step{static_cast<notes::Status>(4000 + i), 1, {}, ""});
  notes::Status status = UpToTheMinute({"a.nsf", "b.nsf", "c.nsf"});
  const size_t count = 3;
  EXPECT_EQ(notes_.recoverCalls().size(), count + 1);
  EXPECT_LE(notes_.recoverCalls().size(), count + 2);
  EXPECT_EQ(status, 4003);  // the last status
  EXPECT_TRUE(notes_.recoverCalls().back().databases.empty());
}

TEST_F(RecoveryTest, FailureWithoutADatabaseIndexEndsAtOnce) {
  notes_.ScriptRecover(Step{notes::kLogFilesNotFound, 0, {}, ""});
  EXPECT_EQ(UpToTheMinute({"a.nsf"}), notes::kLogFilesNotFound);
  EXPECT_EQ(notes_.recoverCalls().size(), 1u);
  EXPECT_TRUE(Printed("\r\nRECOVERY FAILED: All log files could not be found.\r\n"
                      "ERROR: Could not find the required log files\r\n"));
}

TEST_F(RecoveryTest, IndexBeyondTheListEndsTheLoop) {
  notes_.ScriptRecover(Step{4321, 5, {}, ""});
  EXPECT_EQ(UpToTheMinute({"a.nsf", "b.nsf"}), 4321);
  EXPECT_EQ(notes_.recoverCalls().size(), 1u);
}

TEST_F(RecoveryTest, RecoveryThatCannotBeCalledReportsItsText) {
  notes_.FailCall(NotesMethod::Recover, 0, 4321);
  EXPECT_EQ(UpToTheMinute({"a.nsf"}), 4321);
  EXPECT_TRUE(Printed("ERROR: Fake Notes status 4321\r\n"));
}

TEST_F(RecoveryTest, WhatTheRecoveryPrintsReachesTheProgress) {
  notes_.ScriptRecover(Step{0, 0, {}, "Recovered 2 databases\n"});
  ASSERT_EQ(UpToTheMinute({"a.nsf"}), 0);
  EXPECT_TRUE(Printed("Recovered 2 databases")) << job_.progress.accumulated;
}

// ---- the databases not brought to the point ---------------------------------------

class ShortfallTest : public RecoveryTest {
 protected:
  notes::Status Recover(const std::vector<std::string>& relativePaths) {
    return restore::RecoverDatabases(job_, Databases(relativePaths), std::nullopt, {}, &shortfalls_);
  }
  restore::Shortfalls shortfalls_;
};

TEST_F(ShortfallTest, EveryDroppedDatabaseIsNamedWithWhy) {
  notes_.ScriptRecover(Step{4321, 1, {}, ""});
  notes_.ScriptRecover(Step{notes::kDbNotLogged, 1, {}, ""});
  notes_.ScriptRecover(Step{4322, 2, {}, ""});
  notes_.ScriptRecover(Step{0, 0, {}, ""});
  EXPECT_EQ(Recover({"a.nsf", "b.nsf", "c.nsf", "d.nsf"}), 4321);
  // b.nsf is not logged: nothing to roll forward, so it is no shortfall.
  EXPECT_EQ(shortfalls_.ErrorLines(),
            "ERROR: Database " + Db("a.nsf") +
                " was removed from the recovery list (Fake Notes status 4321) and is not recovered.\r\n"
                "ERROR: Database " + Db("d.nsf") +
                " was removed from the recovery list (Fake Notes status 4322) and is not recovered.\r\n");
}

TEST_F(ShortfallTest, RecoveryThatEndsWithoutAnIndexLeavesEveryDatabaseUnrecovered) {
  notes_.ScriptRecover(Step{4321, 1, {}, ""});
  notes_.ScriptRecover(Step{notes::kLogFilesNotFound, 0, {}, ""});
  EXPECT_EQ(Recover({"a.nsf", "b.nsf", "c.nsf"}), notes::kLogFilesNotFound);
  ASSERT_EQ(shortfalls_.entries.size(), 3u);
  EXPECT_EQ(shortfalls_.entries[1].database, Db("b.nsf"));
  EXPECT_EQ(shortfalls_.entries[1].why, "was not recovered (Could not find the required log files)");
}

TEST_F(ShortfallTest, TheLastRetryLeavesTheRestUnrecovered) {
  for (int i = 0; i < 10; ++i) notes_.ScriptRecover(Step{4321, 2, {}, ""});
  EXPECT_NE(Recover({"a.nsf", "b.nsf", "c.nsf"}), 0);
  // Each one is named once, whether dropped or left over.
  std::vector<std::string> named;
  for (const auto& entry : shortfalls_.entries) named.push_back(entry.database);
  EXPECT_EQ(named.size(), 3u);
  EXPECT_NE(std::find(named.begin(), named.end(), Db("a.nsf")), named.end());
}

TEST_F(ShortfallTest, ARecoveryOfEveryDatabaseHasNone) {
  EXPECT_EQ(Recover({"a.nsf", "b.nsf"}), 0);
  EXPECT_TRUE(shortfalls_.empty());
}

// ---- the archived-log callback ------------------------------------------------

class CallbackTest : public RecoveryTest {
 protected:
  const std::string snapshotDir_ = std::string(kServerVaultDir) + "dominosnap__HOST__MAIL1__4-8-2003_9.5.12";
};

TEST_F(CallbackTest, SuppliesOneExtentWhenTheNextIsMissing) {
  ArchiveExtent(snapshotDir_, 5, "five");
  EXPECT_EQ(restore::ArchivedLogCallback(&job_, 5, "L:\\logdir\\S0000005.TXN"), 0);
  EXPECT_EQ(ReadWindowsFile("L:\\logdir\\S0000005.TXN"), "five");
  EXPECT_EQ(job_.progress.accumulated,
            "First archive needed is: S0000005\r\nCopying archived log L:\\logdir\\S0000005.TXN\r\n");
}

TEST_F(CallbackTest, SuppliesConsecutiveExtentsUpToTheFirstGap) {
  ArchiveExtent(snapshotDir_, 5);
  ArchiveExtent(kChangeInfoDir, 6);
  ArchiveExtent(snapshotDir_, 7);
  ArchiveExtent(snapshotDir_, 9);
  EXPECT_EQ(restore::ArchivedLogCallback(&job_, 5, "L:\\logdir\\wanted.TXN"), 0);
  EXPECT_TRUE(WindowsFileExists("L:\\logdir\\S0000007.TXN"));
  EXPECT_FALSE(WindowsFileExists("L:\\logdir\\S0000009.TXN"));
}

TEST_F(CallbackTest, ExtentThatWasNeverArchivedGivesAllBitsSet) {
  ArchiveExtent(snapshotDir_, 5);
  EXPECT_EQ(restore::ArchivedLogCallback(&job_, 8, "L:\\logdir\\S0000008.TXN"), 0xFFFF);
  EXPECT_EQ(job_.progress.accumulated, "First archive needed is: S0000008\r\n");
}

TEST_F(CallbackTest, DamagedArchivedCopyIsPassedOverForTheNextGoodOne) {
  notes_.MarkExtentDamaged(ArchiveExtent(snapshotDir_, 5, "bad five"));
  ArchiveExtent(kChangeInfoDir, 5, "five");
  notes_.MarkExtentDamaged(ArchiveExtent(snapshotDir_, 6, "bad six"));
  EXPECT_EQ(restore::ArchivedLogCallback(&job_, 5, "L:\\logdir\\S0000005.TXN"), 0);
  EXPECT_EQ(ReadWindowsFile("L:\\logdir\\S0000005.TXN"), "five");
  EXPECT_FALSE(WindowsFileExists("L:\\logdir\\S0000006.TXN"));
  EXPECT_TRUE(Printed("WARNING: Log file " + snapshotDir_ + "\\logs\\S0000005.TXN is damaged"));
  EXPECT_TRUE(Printed("WARNING: Log file " + snapshotDir_ + "\\logs\\S0000006.TXN is damaged"));
}

TEST_F(CallbackTest, OnlyDamagedCopiesSupplyNothing) {
  ArchiveExtent(snapshotDir_, 5, "");
  EXPECT_EQ(restore::ArchivedLogCallback(&job_, 5, "L:\\logdir\\S0000005.TXN"), 0xFFFF);
  EXPECT_FALSE(WindowsFileExists("L:\\logdir\\S0000005.TXN"));
}

TEST_F(CallbackTest, WithoutARestoreRequestNothingIsSupplied) {
  ArchiveExtent(snapshotDir_, 5);
  restore::SetCurrentRestoreJob(&job_);  // the current request does not stand in for the context
  EXPECT_EQ(restore::ArchivedLogCallback(nullptr, 5, "L:\\logdir\\S0000005.TXN"), 0xFFFF);
}

TEST_F(CallbackTest, NotesRecoveryReachesTheCallbackOfTheCurrentJob) {
  ArchiveExtent(snapshotDir_, 5);
  notes_.ScriptRecover(Step{0, 0, {{5, "L:\\logdir\\S0000005.TXN"}, {6, "L:\\logdir\\S0000006.TXN"}}, ""});
  ASSERT_EQ(UpToTheMinute({"a.nsf"}), 0);
  EXPECT_EQ(notes_.recoverCalls()[0].callbackResults, (std::vector<notes::Status>{0, 0xFFFF}));
  EXPECT_TRUE(WindowsFileExists("L:\\logdir\\S0000005.TXN"));
}

TEST_F(CallbackTest, TheCallbackServesTheRecoveringJobWhateverRequestIsCurrent) {
  ArchiveExtent(snapshotDir_, 5);
  restore::RestoreJob other = MakeJob(true);
  restore::SetCurrentRestoreJob(&other);
  notes_.ScriptRecover(Step{0, 0, {{5, "L:\\logdir\\S0000005.TXN"}}, ""});
  uint32_t failingIndex = 0;
  ASSERT_EQ(restore::RunNotesRecovery(job_, restore::BuildNameBuffer({Db("a.nsf")}), failingIndex), 0);
  EXPECT_EQ(notes_.recoverCalls()[0].callbackResults, (std::vector<notes::Status>{0}));
  EXPECT_TRUE(Printed("First archive needed is: S0000005\r\n"));
  EXPECT_EQ(other.progress.accumulated, "");
  EXPECT_EQ(restore::CurrentRestoreJob(), &other);
}

}  // namespace
}  // namespace omb::test
