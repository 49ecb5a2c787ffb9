// What the single-database restore asks of the runtime while the server
// keeps running: a private log copy that a recovery can use without
// touching the live log, a new instance id that keeps the copy's history
// its own, and the swap that a server holding the database open refuses.
#include <gtest/gtest.h>

#include <fstream>

#include "notes/status.h"
#include "tests/notes/notes_fixture.h"

namespace omb::notes::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDb = "E:\\Data\\a.nsf";
constexpr const char* kCopy = "E:\\Data\\a_restored.nsf";
constexpr const char* kLogCopy = "F:\\~logcopy";

class RestoredDatabaseTest : public NotesTest {
 protected:
  // Every file of a host folder with its bytes.
  std::map<std::string, std::string> Files(const std::string& folder) const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(Host(folder))) {
      files[entry.path().filename().string()] = ReadHostFile(entry.path());
    }
    return files;
  }

  // Starts a second runtime on a notes.ini that names the log copy, as the
  // restore does, and recovers `path` with it.
  Status RecoverOnCopy(const std::string& path) {
    const std::string ini = std::string(kLogCopy) + "\\notes.ini";
    fs::copy_file(Host(kIni), Host(ini));
    platform::WriteIniValue(ini, "Notes", "TRANSLOG_Path", kLogCopy);
    Runtime recovery;
    EXPECT_EQ(recovery.InitRuntime({"=" + ini}), kNoError);
    uint32_t failing = 0;
    return recovery.Recover(NameBuffer({path}), nullptr, 1, failing);
  }
};

TEST_F(RestoredDatabaseTest, RecoveryOnTheLogCopyLeavesTheLiveLogAsItWas) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("old", 5)), kNoError);
  fs::copy_file(Host(kDb), Host(kCopy));  // the copy out of a snapshot
  for (int i = 0; i < 10; ++i) ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("new" + std::to_string(i), 8)), kNoError);
  ASSERT_GT(Files(kLogDir).size(), 3u);  // several extents: closed ones and the live one

  ASSERT_EQ(runtime_.CopyLogForRecovery(kLogCopy), kNoError);
  // The server goes on writing; the copy keeps what the log held when it was made.
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("later", 3)), kNoError);
  const auto liveLog = Files(kLogDir);

  ASSERT_EQ(RecoverOnCopy(kCopy), kNoError);
  EXPECT_EQ(Files(kLogDir), liveLog);
  EXPECT_EQ(Subjects(kCopy).size(), 85u);
  EXPECT_EQ(CountWithPrefix(Subjects(kCopy), "later"), 0u);
  EXPECT_EQ(Subjects(kDb).size(), 88u);
  // A folder that exists is not made a log copy.
  EXPECT_NE(runtime_.CopyLogForRecovery(kLogCopy), kNoError);
}

TEST_F(RestoredDatabaseTest, NewInstanceIdKeepsTheDocumentsAndEndsTheSharedHistory) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("old", 5)), kNoError);
  fs::copy_file(Host(kDb), Host(kCopy));
  const auto before = Subjects(kCopy);
  LogId id{};
  ASSERT_EQ(runtime_.AssignNewInstanceId(kCopy, id), kNoError);
  Database original, copy;
  ASSERT_EQ(LoadDatabase(Host(kDb), original), kNoError);
  ASSERT_EQ(LoadDatabase(Host(kCopy), copy), kNoError);
  EXPECT_EQ(copy.header.instanceId, id);
  EXPECT_NE(copy.header.instanceId, original.header.instanceId);
  EXPECT_EQ(Subjects(kCopy), before);
  // What the original logs from now on is never replayed into the copy.
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("original", 4)), kNoError);
  uint32_t failing = 0;
  ASSERT_EQ(runtime_.Recover(NameBuffer({kCopy}), nullptr, 1, failing), kNoError);
  EXPECT_EQ(Subjects(kCopy), before);
  EXPECT_EQ(runtime_.AssignNewInstanceId("E:\\Data\\none.nsf", id), kErrFileNotFound);
}

TEST_F(RestoredDatabaseTest, ReplaceIsRefusedWhileAServerHoldsTheDatabaseOpen) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("live", 5)), kNoError);
  ASSERT_EQ(runtime_.CreateDatabase(kCopy, true, "a", Docs("restored", 3)), kNoError);
  {
    Runtime server;
    ASSERT_EQ(server.InitRuntime({std::string("=") + kIni}), kNoError);
    ASSERT_EQ(server.HoldDatabasesOpen({kDb}), 1u);
    bool open = false;
    ASSERT_EQ(runtime_.IsDatabaseOpen(kDb, open), kNoError);
    EXPECT_TRUE(open);
    EXPECT_EQ(runtime_.ReplaceDatabase(kCopy, kDb), kDbInUse);
    EXPECT_EQ(CountWithPrefix(Subjects(kDb), "live"), 5u);
    EXPECT_TRUE(fs::exists(Host(kCopy)));
    server.TermRuntime();  // the server stops and lets go of its databases
    ASSERT_EQ(runtime_.IsDatabaseOpen(kDb, open), kNoError);
    EXPECT_FALSE(open);
  }
  ASSERT_EQ(runtime_.ReplaceDatabase(kCopy, kDb), kNoError);
  EXPECT_EQ(CountWithPrefix(Subjects(kDb), "restored"), 3u);
  EXPECT_FALSE(fs::exists(Host(kCopy)));
}

TEST_F(RestoredDatabaseTest, ReplaceTakesOnlyAWholeDatabase) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("live", 5)), kNoError);
  WriteHostFile(Host(kCopy), "not a database");
  EXPECT_EQ(runtime_.ReplaceDatabase(kCopy, kDb), kErrDbCorrupt);
  EXPECT_EQ(CountWithPrefix(Subjects(kDb), "live"), 5u);
}

}  // namespace
}  // namespace omb::notes::test
