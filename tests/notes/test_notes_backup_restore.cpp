// A backup taken while another process writes, followed by a restore:
// the snapshot plus the change information gives back the documents of
// the backup-mode window once, and recovery with the archived extents
// gives back every document.
#include <gtest/gtest.h>

#include "notes/status.h"
#include "tests/notes/notes_fixture.h"

namespace omb::notes::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDb = "E:\\Data\\mail\\a.nsf";

class BackupRestoreTest : public NotesTest {
 protected:
  // Archives every ready extent into a host folder, as a backup does.
  std::vector<uint32_t> ArchiveInto(const fs::path& folder) {
    fs::create_directories(folder);
    std::vector<uint32_t> numbers;
    EXPECT_EQ(runtime_.ArchiveBegin(), kNoError);
    LogExtent extent;
    for (Status s = runtime_.ArchiveFirst(extent); s == kNoError; s = runtime_.ArchiveNext(extent)) {
      fs::copy_file(Host(extent.path), folder / Host(extent.path).filename());
      EXPECT_EQ(runtime_.MarkArchived(extent.logId, extent.number), kNoError);
      numbers.push_back(extent.number);
    }
    EXPECT_EQ(runtime_.ArchiveEnd(), kNoError);
    return numbers;
  }

  // Supplies archived extents n, n+1, ... from the folders, as the restore does.
  ArchivedLogCallback FromArchives(std::vector<fs::path> folders, int* calls) {
    return [this, folders, calls](uint32_t first, const std::string& requested) -> Status {
      ++*calls;
      const fs::path target = Host(requested).parent_path();
      int copied = 0;
      for (uint32_t n = first;; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "S%07u.TXN", n);
        bool found = false;
        for (const fs::path& folder : folders) {
          if (!fs::exists(folder / name)) continue;
          fs::copy_file(folder / name, target / name, fs::copy_options::overwrite_existing);
          found = true;
          break;
        }
        if (!found) break;
        ++copied;
      }
      return copied > 0 ? 0 : 0xFFFF;
    };
  }

  Status StartBackup(Handle& db, uint32_t& context) {
    uint32_t low = 0, high = 0;
    Status status = runtime_.OpenDb(kDb, db);
    if (status == kNoError) status = runtime_.BackupStart(db, context, low, high);
    return status;
  }

  // Backup mode with writes from a second process before and after the
  // snapshot; returns the change information and leaves the snapshot copy
  // in snapshot_.
  std::string BackupWhileWriting() {
    Handle db = 0;
    uint32_t context = 0;
    EXPECT_EQ(StartBackup(db, context), kNoError);
    EXPECT_TRUE(InChildProcess([](Runtime& rt) { return rt.AddDocuments(kDb, Docs("during", 15)) == 0; }));
    CopyTree(Host("E:\\"), snapshot_);
    EXPECT_TRUE(InChildProcess([](Runtime& rt) {
      for (int i = 0; i < 5; ++i) {
        if (rt.AddDocuments(kDb, Docs("late" + std::to_string(i), 1)) != 0) return false;
      }
      return true;
    }));
    EXPECT_EQ(runtime_.BackupStop(db, context), kNoError);
    // Stopped: later changes are not part of this backup's change information.
    EXPECT_EQ(runtime_.AddDocuments(kDb, Docs("stopped", 2)), kNoError);
    uint32_t low = 0, high = 0;
    EXPECT_EQ(runtime_.GetChangeInfoSize(db, context, low, high), kNoError);
    std::string info = ReadChangeInfo(db, context);
    EXPECT_EQ(info.size(), low);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(runtime_.BackupEnd(db, context, kBackupEndNormal), kNoError);
    EXPECT_EQ(runtime_.CloseDb(db), kNoError);
    return info;
  }

  fs::path snapshot_ = fs::temp_directory_path() / ("omb-notes-snap-" + std::to_string(::getpid()));
  void TearDown() override {
    fs::remove_all(snapshot_);
    NotesTest::TearDown();
  }
};

TEST_F(BackupRestoreTest, SnapshotChangeInfoAndRecoveryGiveBackEveryDocument) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", {}), kNoError);
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("before", 20)), kNoError);
  const std::string info = BackupWhileWriting();
  ASSERT_FALSE(info.empty());
  const fs::path firstArchive = root_ / "archive1";
  ArchiveInto(firstArchive);
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("after", 30)), kNoError);
  const fs::path secondArchive = root_ / "archive2";
  ASSERT_FALSE(ArchiveInto(secondArchive).empty());

  // Restore: the data drive goes back to the snapshot.
  CopyTree(snapshot_, Host("E:\\"));
  auto restored = Subjects(kDb);
  EXPECT_EQ(CountWithPrefix(restored, "before"), 20u);
  EXPECT_EQ(CountWithPrefix(restored, "after"), 0u);

  // Change information: the backup-mode window, once, however often applied.
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(ApplyChangeInfo(kDb, info, 32768), kNoError);
    auto applied = Subjects(kDb);
    EXPECT_EQ(applied.size(), 40u) << "round " << round;
    EXPECT_EQ(CountWithPrefix(applied, "during"), 15u);
    EXPECT_EQ(CountWithPrefix(applied, "late"), 5u);
    EXPECT_EQ(CountWithPrefix(applied, "stopped"), 0u);
  }

  // Up to the minute: the extents come back through the callback.
  int calls = 0;
  uint32_t failing = 99;
  const std::string names = NameBuffer({kDb});
  ASSERT_EQ(runtime_.Recover(names, FromArchives({firstArchive, secondArchive}, &calls), 1, failing),
            kNoError);
  EXPECT_EQ(failing, 0u);
  EXPECT_GT(calls, 0);
  auto recovered = Subjects(kDb);
  EXPECT_EQ(recovered.size(), 72u);
  EXPECT_EQ(CountWithPrefix(recovered, "stopped"), 2u);
  EXPECT_EQ(CountWithPrefix(recovered, "after"), 30u);
  EXPECT_EQ(std::set<std::string>(recovered.begin(), recovered.end()).size(), recovered.size());

  // A second recovery finds nothing newer and changes nothing.
  ASSERT_EQ(runtime_.Recover(names, FromArchives({firstArchive, secondArchive}, &calls), 1, failing),
            kNoError);
  EXPECT_EQ(Subjects(kDb), recovered);
}

TEST_F(BackupRestoreTest, MissingExtentFailsWithTheIndexOfTheDatabaseThatNeedsIt) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", {}), kNoError);
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("before", 5)), kNoError);
  const std::string info = BackupWhileWriting();
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("after", 40)), kNoError);
  const fs::path archive = root_ / "archive";
  const std::vector<uint32_t> archived = ArchiveInto(archive);
  ASSERT_GE(archived.size(), 2u);
  // One archived extent is lost.
  char lost[16];
  std::snprintf(lost, sizeof lost, "S%07u.TXN", archived[1]);
  fs::remove(archive / lost);
  // A database made after the loss needs none of the old extents.
  ASSERT_EQ(runtime_.CreateDatabase("E:\\Data\\fresh.nsf", true, "fresh", {}), kNoError);

  CopyTree(snapshot_, Host("E:\\"));
  ASSERT_EQ(runtime_.CreateDatabase("E:\\Data\\fresh.nsf", true, "fresh", {}), kNoError);
  ASSERT_EQ(ApplyChangeInfo(kDb, info, 32768), kNoError);
  const auto beforeRecovery = Subjects(kDb);
  int calls = 0;
  uint32_t failing = 0;
  EXPECT_EQ(runtime_.Recover(NameBuffer({"E:\\Data\\fresh.nsf", kDb}), FromArchives({archive}, &calls),
                             1, failing),
            kLogFilesNotFound);
  EXPECT_EQ(failing, 2u);
  EXPECT_EQ(Subjects(kDb), beforeRecovery) << "a failed recovery writes nothing";

  // Without the failing database the others recover.
  EXPECT_EQ(runtime_.Recover(NameBuffer({"E:\\Data\\fresh.nsf"}), FromArchives({archive}, &calls), 1,
                             failing),
            kNoError);
  EXPECT_EQ(failing, 0u);
}

TEST_F(BackupRestoreTest, QuietDatabaseNeedsNoExtentOlderThanItsBackup) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("old", 3)), kNoError);
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("early", 2)), kNoError);
  // Another database fills several extents, which are archived away.
  ASSERT_EQ(runtime_.CreateDatabase("E:\\Data\\busy.nsf", true, "busy", {}), kNoError);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(runtime_.AddDocuments("E:\\Data\\busy.nsf", Docs("b", 20)), 0);
  ASSERT_GE(ArchiveInto(root_ / "gone").size(), 2u);

  Handle db = 0;
  uint32_t context = 0;
  DbLogInfo info;
  ASSERT_EQ(StartBackup(db, context), kNoError);
  ASSERT_EQ(runtime_.GetDbLogInfo(db, info), kNoError);
  CopyTree(Host("E:\\"), snapshot_);
  ASSERT_EQ(runtime_.BackupStop(db, context), kNoError);
  ASSERT_EQ(runtime_.BackupEnd(db, context, kBackupEndNormal), kNoError);
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("later", 1)), kNoError);

  CopyTree(snapshot_, Host("E:\\"));
  int calls = 0;
  uint32_t failing = 0;
  ASSERT_EQ(runtime_.Recover(NameBuffer({kDb}), FromArchives({}, &calls), 1, failing), kNoError);
  EXPECT_EQ(calls, 0) << "extents before " << info.logExtent << " are not needed";
  EXPECT_EQ(Subjects(kDb).size(), 6u);
}

TEST_F(BackupRestoreTest, AbortedBackupDropsTheChangeInformation) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", {}), kNoError);
  Handle db = 0;
  uint32_t context = 0, low = 0, high = 0;
  ASSERT_EQ(StartBackup(db, context), kNoError);
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("during", 3)), kNoError);
  EXPECT_EQ(runtime_.BackupStop(db, context + 1), kErrBadBackupContext);
  ASSERT_EQ(runtime_.BackupStop(db, context), kNoError);
  ASSERT_EQ(runtime_.BackupEnd(db, context, kBackupEndAbort), kNoError);
  EXPECT_EQ(runtime_.GetChangeInfoSize(db, context, low, high), kErrNotInBackup);
  // Out of backup mode, changes are no longer journalled anywhere.
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("later", 3)), kNoError);
  EXPECT_FALSE(fs::exists(root_ / "notes" / "backup") && !fs::is_empty(root_ / "notes" / "backup"));
  // The ended journal waits for the end of the runtime, which removes it;
  // backup mode starts afresh meanwhile, with none of the old changes.
  EXPECT_TRUE(fs::exists(root_ / "notes" / "backup-ended"));
  ASSERT_EQ(runtime_.BackupStart(db, context, low, high), kNoError);
  ASSERT_EQ(runtime_.BackupStop(db, context), kNoError);
  EXPECT_EQ(ReadChangeInfo(db, context), "");
  ASSERT_EQ(runtime_.BackupEnd(db, context, kBackupEndNormal), kNoError);
  runtime_.TermRuntime();
  EXPECT_FALSE(fs::exists(root_ / "notes" / "backup-ended"));
}

TEST_F(BackupRestoreTest, EmptyChangeInformationIsZeroBytes) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("old", 2)), kNoError);
  Handle db = 0;
  uint32_t context = 0, low = 7, high = 7;
  ASSERT_EQ(StartBackup(db, context), kNoError);
  ASSERT_EQ(runtime_.BackupStop(db, context), kNoError);
  ASSERT_EQ(runtime_.GetChangeInfoSize(db, context, low, high), kNoError);
  EXPECT_EQ(low, 0u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(ReadChangeInfo(db, context), "");
  ASSERT_EQ(runtime_.BackupEnd(db, context, kBackupEndNormal), kNoError);
  EXPECT_EQ(ApplyChangeInfo(kDb, "", 32768), kNoError);
  EXPECT_EQ(Subjects(kDb).size(), 2u);
}

}  // namespace
}  // namespace omb::notes::test

namespace omb::notes::test {
namespace {

// A copy-style compaction keeps the documents under a new instance
// identifier; a copy from before it rolls forward only up to the compaction,
// because the later records belong to the new identity.
class CompactionTest : public BackupRestoreTest {
 protected:
  LogId InstanceOf(const std::string& path) {
    Database db;
    EXPECT_EQ(LoadDatabase(Host(path), db), kNoError);
    return db.header.instanceId;
  }
};

TEST_F(CompactionTest, NewIdentityKeepsDocumentsAndOlderCopiesStopAtIt) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("first", 20)), kNoError);
  CopyTree(Host("E:\\"), snapshot_);
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("before", 5)), kNoError);
  const LogId old = InstanceOf(kDb);
  const auto atCompaction = Subjects(kDb);

  LogId reported{};
  ASSERT_EQ(runtime_.CompactDatabase(kDb, &reported), kNoError);
  EXPECT_NE(InstanceOf(kDb), old);
  EXPECT_EQ(InstanceOf(kDb), reported);
  EXPECT_EQ(Subjects(kDb), atCompaction);
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("after", 7)), kNoError);

  CopyTree(snapshot_, Host("E:\\"));
  uint32_t failing = 0;
  ASSERT_EQ(runtime_.Recover(NameBuffer({kDb}), nullptr, 1, failing), kNoError);
  EXPECT_EQ(Subjects(kDb), atCompaction);
  EXPECT_EQ(InstanceOf(kDb), old);
}

TEST_F(CompactionTest, RefusedInBackupModeAndForMissingDatabases) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("first", 3)), kNoError);
  const LogId old = InstanceOf(kDb);
  Handle db = 0;
  uint32_t context = 0;
  ASSERT_EQ(StartBackup(db, context), kNoError);
  EXPECT_EQ(runtime_.CompactDatabase(kDb), kErrDbInBackup);
  EXPECT_EQ(InstanceOf(kDb), old);
  EXPECT_EQ(runtime_.BackupEnd(db, context, kBackupEndAbort), kNoError);
  runtime_.CloseDb(db);
  EXPECT_EQ(runtime_.CompactDatabase(kDb), kNoError);
  EXPECT_EQ(runtime_.CompactDatabase("E:\\Data\\missing.nsf"), kErrFileNotFound);
}

}  // namespace
}  // namespace omb::notes::test
