// Faults the runtime must catch: damaged databases, databases that are not
// logged, change information split anywhere or cut short, a torn log tail,
// and two processes writing one database at once.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <fstream>

#include "notes/status.h"
#include "tests/notes/notes_fixture.h"

namespace omb::notes::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDb = "E:\\Data\\a.nsf";
constexpr const char* kUnlogged = "E:\\Data\\nolog.nsf";

class RecoveryTest : public NotesTest {
 protected:
  // Change information holding `count` changes made in backup mode.
  std::string ChangeInfoOf(const std::string& path, int count) {
    Handle db = 0;
    uint32_t context = 0, low = 0, high = 0;
    EXPECT_EQ(runtime_.OpenDb(path, db), kNoError);
    EXPECT_EQ(runtime_.BackupStart(db, context, low, high), kNoError);
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(runtime_.AddDocuments(path, Docs("window" + std::to_string(i), 3)), kNoError);
    }
    EXPECT_EQ(runtime_.BackupStop(db, context), kNoError);
    std::string info = ReadChangeInfo(db, context, 1000);
    EXPECT_EQ(runtime_.BackupEnd(db, context, kBackupEndNormal), kNoError);
    runtime_.CloseDb(db);
    return info;
  }

  void Overwrite(const std::string& path, off_t offset, const std::string& bytes) {
    const int fd = ::open(Host(path).c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
  }
};

TEST_F(RecoveryTest, DamagedDatabaseIsDetected) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("d", 50)), kNoError);
  const auto size = fs::file_size(Host(kDb));
  Overwrite(kDb, static_cast<off_t>(size / 2), std::string(64, '\xDB'));
  Handle db = 0;
  EXPECT_EQ(runtime_.OpenDb(kDb, db), kErrDbCorrupt);
  EXPECT_NE(runtime_.StatusText(kErrDbCorrupt).find("corrupt"), std::string::npos);
  uint32_t failing = 0;
  EXPECT_EQ(runtime_.Recover(NameBuffer({kDb}), nullptr, 1, failing), kErrDbCorrupt);
  EXPECT_EQ(failing, 1u);
  // A change to a damaged database is refused rather than written over it.
  EXPECT_EQ(runtime_.AddDocuments(kDb, Docs("x", 1)), kErrDbCorrupt);
}

TEST_F(RecoveryTest, TruncatedDatabaseIsDetected) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("d", 5)), kNoError);
  fs::resize_file(Host(kDb), fs::file_size(Host(kDb)) - 10);
  Handle db = 0;
  EXPECT_EQ(runtime_.OpenDb(kDb, db), kErrDbCorrupt);
  EXPECT_EQ(runtime_.OpenDb("E:\\Data\\missing.nsf", db), kErrFileNotFound);
}

TEST_F(RecoveryTest, UnloggedDatabaseFailsRecoveryWithItsIndex) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", {}), kNoError);
  ASSERT_EQ(runtime_.CreateDatabase(kUnlogged, false, "n", {}), kNoError);
  ASSERT_EQ(runtime_.AddDocuments(kUnlogged, Docs("u", 2)), kNoError);
  Handle db = 0;
  DbLogInfo info;
  ASSERT_EQ(runtime_.OpenDb(kUnlogged, db), kNoError);
  ASSERT_EQ(runtime_.GetDbLogInfo(db, info), kNoError);
  EXPECT_FALSE(info.logged);
  uint32_t failing = 0;
  EXPECT_EQ(runtime_.Recover(NameBuffer({kDb, kUnlogged}), nullptr, 1, failing), kDbNotLogged);
  EXPECT_EQ(failing, 2u);
  EXPECT_EQ(runtime_.Recover(NameBuffer({kDb}), nullptr, 1, failing), kNoError);
  EXPECT_EQ(failing, 0u);
}

TEST_F(RecoveryTest, ChangeInfoChunkSizeDoesNotMatter) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("base", 4)), kNoError);
  const fs::path saved = root_ / "saved.nsf";
  fs::copy_file(Host(kDb), saved);
  const std::string info = ChangeInfoOf(kDb, 6);
  ASSERT_GT(info.size(), 1000u);

  std::vector<std::multiset<std::string>> results;
  for (size_t chunk : {size_t{1}, size_t{7}, size_t{32768}, info.size()}) {
    fs::copy_file(saved, Host(kDb), fs::copy_options::overwrite_existing);
    ASSERT_EQ(ApplyChangeInfo(kDb, info, chunk), kNoError) << "chunk " << chunk;
    results.push_back(Subjects(kDb));
  }
  EXPECT_EQ(results[0].size(), 4u + 18u);
  for (const auto& result : results) EXPECT_EQ(result, results[0]);
}

TEST_F(RecoveryTest, CutOrForeignChangeInfoIsRefused) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", {}), kNoError);
  ASSERT_EQ(runtime_.CreateDatabase("E:\\Data\\b.nsf", true, "b", {}), kNoError);
  const fs::path saved = root_ / "saved.nsf";
  fs::copy_file(Host(kDb), saved);
  const std::string info = ChangeInfoOf(kDb, 2);
  fs::copy_file(saved, Host(kDb), fs::copy_options::overwrite_existing);

  // The size words promise more than arrives: the end reports it and the
  // database stays as it was.
  uint32_t context = 0;
  ASSERT_EQ(runtime_.ApplyChangeInfoStart(kDb, static_cast<uint32_t>(info.size()), 0, context), 0);
  ASSERT_EQ(runtime_.ApplyChangeInfo(context, info.data(), static_cast<uint32_t>(info.size() - 5)), 0);
  EXPECT_EQ(runtime_.ApplyChangeInfoEnd(context), kErrChangeInfoDamaged);
  EXPECT_TRUE(Subjects(kDb).empty());
  // Flipped bytes fail the record check.
  std::string damaged = info;
  damaged[damaged.size() / 2] ^= 0x40;
  EXPECT_EQ(ApplyChangeInfo(kDb, damaged, 32768), kErrChangeInfoDamaged);
  // Another database's change information is not applied.
  EXPECT_EQ(ApplyChangeInfo("E:\\Data\\b.nsf", info, 32768), kErrChangeInfoForeign);
  EXPECT_TRUE(Subjects("E:\\Data\\b.nsf").empty());
  EXPECT_EQ(runtime_.ApplyChangeInfo(12345, "x", 1), kErrBadHandle);
}

TEST_F(RecoveryTest, TornLogTailIsCutAndLaterRecordsStillReplay) {
  Start({"1", "1", "1048576"});
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", {}), kNoError);
  const fs::path saved = root_ / "saved.nsf";
  fs::copy_file(Host(kDb), saved);
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("first", 3)), kNoError);
  // A writer died half-way through a record.
  const std::string torn("\x30\x00\x00\x00garbage", 11);
  std::ofstream(Host("F:\\logdir\\S0000001.TXN"), std::ios::app | std::ios::binary) << torn;
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("second", 3)), kNoError);

  fs::copy_file(saved, Host(kDb), fs::copy_options::overwrite_existing);
  uint32_t failing = 0;
  ASSERT_EQ(runtime_.Recover(NameBuffer({kDb}), nullptr, 1, failing), kNoError);
  EXPECT_EQ(Subjects(kDb).size(), 6u);
}

TEST_F(RecoveryTest, DamagedClosedExtentFailsInsteadOfSkippingRecords) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", {}), kNoError);
  const fs::path saved = root_ / "saved.nsf";
  fs::copy_file(Host(kDb), saved);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("d" + std::to_string(i), 20)), 0);
  ASSERT_TRUE(fs::exists(Host("F:\\logdir\\S0000002.TXN")));
  Overwrite("F:\\logdir\\S0000001.TXN", 600, "\xFF\xFF\xFF\xFF");

  fs::copy_file(saved, Host(kDb), fs::copy_options::overwrite_existing);
  uint32_t failing = 0;
  EXPECT_EQ(runtime_.Recover(NameBuffer({kDb}), nullptr, 1, failing), kLogFilesNotFound);
  EXPECT_EQ(failing, 1u);
  EXPECT_TRUE(Subjects(kDb).empty());
}

// Damage inside the live extent, with records after it, is no torn tail:
// the databases whose records were lost fail, the others are recovered.
TEST_F(RecoveryTest, DamageInsideTheLiveExtentFailsOnlyTheDatabasesThatLostRecords) {
  Start({"1", "1", "1048576"});
  const std::vector<std::string> dbs = {"E:\\Data\\a.nsf", "E:\\Data\\b.nsf", "E:\\Data\\c.nsf"};
  for (const std::string& db : dbs) {
    ASSERT_EQ(runtime_.CreateDatabase(db, true, "t", {}), kNoError);
    fs::copy_file(Host(db), root_ / (db.substr(8) + ".saved"));
  }
  for (const std::string& db : dbs) ASSERT_EQ(runtime_.AddDocuments(db, Docs(db.substr(8, 1), 5)), kNoError);
  // Fifteen records of one size after the 36-byte header; damage b's third.
  const uint64_t frame = (fs::file_size(Host("F:\\logdir\\S0000001.TXN")) - 36) / 15;
  Overwrite("F:\\logdir\\S0000001.TXN", static_cast<off_t>(36 + 7 * frame + frame / 2), "\xEE\xEE");
  auto restoreSaved = [&] {
    for (const std::string& db : dbs)
      fs::copy_file(root_ / (db.substr(8) + ".saved"), Host(db), fs::copy_options::overwrite_existing);
  };

  restoreSaved();
  uint32_t failing = 0;
  EXPECT_EQ(runtime_.Recover(NameBuffer(dbs), nullptr, 1, failing), kErrLogDamaged);
  EXPECT_EQ(failing, 2u);
  EXPECT_TRUE(Subjects(dbs[0]).empty()) << "nothing is written unless every database recovers";

  ASSERT_EQ(runtime_.Recover(NameBuffer({dbs[0], dbs[2]}), nullptr, 1, failing), kNoError);
  EXPECT_EQ(Subjects(dbs[0]).size(), 5u);
  EXPECT_EQ(Subjects(dbs[2]).size(), 5u);
}

// When the lost records cannot all be traced to a database, every database
// that has no record after the damage may have lost its last ones.
TEST_F(RecoveryTest, UntracedLossInTheLiveExtentFailsDatabasesWithNothingAfterIt) {
  Start({"1", "1", "1048576"});
  const std::string a = "E:\\Data\\a.nsf", b = "E:\\Data\\b.nsf";
  ASSERT_EQ(runtime_.CreateDatabase(a, true, "t", {}), kNoError);
  ASSERT_EQ(runtime_.CreateDatabase(b, true, "t", {}), kNoError);
  fs::copy_file(Host(a), root_ / "a.saved");
  fs::copy_file(Host(b), root_ / "b.saved");
  ASSERT_EQ(runtime_.AddDocuments(a, Docs("a", 4)), kNoError);
  ASSERT_EQ(runtime_.AddDocuments(b, Docs("b", 4)), kNoError);
  const uint64_t frame = (fs::file_size(Host("F:\\logdir\\S0000001.TXN")) - 36) / 8;
  // a's last record is lost; b's records all follow it.
  Overwrite("F:\\logdir\\S0000001.TXN", static_cast<off_t>(36 + 3 * frame + frame / 2), "\xEE");
  fs::copy_file(root_ / "a.saved", Host(a), fs::copy_options::overwrite_existing);
  fs::copy_file(root_ / "b.saved", Host(b), fs::copy_options::overwrite_existing);
  uint32_t failing = 0;
  EXPECT_EQ(runtime_.Recover(NameBuffer({a, b}), nullptr, 1, failing), kErrLogDamaged);
  EXPECT_EQ(failing, 1u);
  ASSERT_EQ(runtime_.Recover(NameBuffer({b}), nullptr, 1, failing), kNoError);
  EXPECT_EQ(Subjects(b).size(), 4u);
}

TEST_F(RecoveryTest, TwoProcessesWritingOneDatabaseLoseNothing) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", {}), kNoError);
  const fs::path saved = root_ / "saved.nsf";
  fs::copy_file(Host(kDb), saved);
  auto writer = [](const std::string& tag) {
    return [tag](Runtime& rt) {
      for (int i = 0; i < 40; ++i) {
        if (rt.AddDocuments(kDb, Docs(tag + std::to_string(i), 1)) != kNoError) return false;
      }
      return true;
    };
  };
  const pid_t other = ::fork();
  if (other == 0) ::_exit(InChildProcess(writer("left")) ? 0 : 1);
  EXPECT_TRUE(InChildProcess(writer("right")));
  int status = 0;
  ::waitpid(other, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  const auto written = Subjects(kDb);
  EXPECT_EQ(written.size(), 80u);
  EXPECT_EQ(CountWithPrefix(written, "left"), 40u);
  // The log holds every one of the changes, in an order that replays.
  fs::copy_file(saved, Host(kDb), fs::copy_options::overwrite_existing);
  uint32_t failing = 0;
  ASSERT_EQ(runtime_.Recover(NameBuffer({kDb}), nullptr, 1, failing), kNoError);
  EXPECT_EQ(Subjects(kDb), written);
}

}  // namespace
}  // namespace omb::notes::test
