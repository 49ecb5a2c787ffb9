// Snapshots of a volume: creation, listing order, names, rename, delete and
// the restore of one disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/file_faults.h"
#include "tests/storage/storage_test_support.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_storage.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;
using storage::S_OK_;

using SnapshotTest = FilerTest;

TEST_F(SnapshotTest, FilerOfItsOwnTakesCreationTimesFromItsClock) {
  FakeClock clock(FileTimeUtc(2003, 4, 7, 9, 5, 12));
  std::unique_ptr<storage::Component> filer = storage::MakeFiler(clock);
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  ASSERT_EQ(filer->CreateSnapshotInterface(snapshots), storage::S_OK_);
  ASSERT_EQ(snapshots->CreateSnapShot(u"E", u"first"), storage::S_OK_);
  clock.Advance(std::chrono::seconds(1));
  ASSERT_EQ(snapshots->CreateSnapShot(u"E", u"second"), storage::S_OK_);
  std::vector<storage::SnapshotRecord> records;
  ASSERT_EQ(snapshots->EnumSnapShots(u"E", records), storage::S_OK_);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].name, u"second");
  EXPECT_EQ(records[0].creationTime, FileTimeUtc(2003, 4, 7, 9, 5, 13));
  EXPECT_EQ(records[1].creationTime, FileTimeUtc(2003, 4, 7, 9, 5, 12));
}

TEST_F(SnapshotTest, RestoreRevertsChangesDeletionsAndNewFiles) {
  fs::path e = Drive('E');
  WriteHostFile(e / "mail" / "a.nsf", "version one");
  WriteHostFile(e / "names.nsf", "directory");
  WriteHostFile(e / "empty.nsf", "");
  fs::create_directories(e / "emptydir");
  fs::create_symlink("mail/a.nsf", e / "alias");
  auto before = Describe(e);
  ASSERT_EQ(Create("snap1"), S_OK_);

  WriteHostFile(e / "mail" / "a.nsf", "version two, longer");
  fs::remove(e / "names.nsf");
  WriteHostFile(e / "new" / "b.nsf", "added later");
  fs::remove(e / "alias");
  fs::create_symlink("names.nsf", e / "alias");

  ASSERT_EQ(Restore("snap1"), S_OK_);
  EXPECT_EQ(Describe(e), before);
}

TEST_F(SnapshotTest, CopiesKeepModesAndModificationTimes) {
  fs::path e = Drive('E');
  WriteHostFile(e / "tool.sh", "#!/bin/sh\n");
  ::chmod((e / "tool.sh").c_str(), 0751);
  struct timespec old[2] = {{1000000000, 0}, {1000000000, 123456789}};
  ::utimensat(AT_FDCWD, (e / "tool.sh").c_str(), old, 0);
  ASSERT_EQ(Create("snap1"), S_OK_);
  fs::remove(e / "tool.sh");
  ASSERT_EQ(Restore("snap1"), S_OK_);

  struct stat info {};
  ASSERT_EQ(::stat((e / "tool.sh").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0751u);
  EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(info.st_mtim.tv_nsec, 123456789);
}

TEST_F(SnapshotTest, RestoreLeavesOtherDisksOfTheVolumeAlone) {
  ASSERT_TRUE(storage::RegisterVirtualDisk('F', "FILER1", "data1", "logs1.vld"));
  WriteHostFile(Drive('E') / "a", "e1");
  WriteHostFile(Drive('F') / "b", "f1");
  ASSERT_EQ(Create("both"), S_OK_);
  WriteHostFile(Drive('E') / "a", "e2");
  WriteHostFile(Drive('F') / "b", "f2");

  ASSERT_EQ(Restore("both", u"F"), S_OK_);
  EXPECT_EQ(ReadHostFile(Drive('F') / "b"), "f1");
  EXPECT_EQ(ReadHostFile(Drive('E') / "a"), "e2");
  // Both disks share the volume, so they share its snapshot set.
  EXPECT_EQ(Names(u"F"), Names(u"E"));
}

TEST_F(SnapshotTest, RestoreOfASymlinkedDriveKeepsTheLink) {
  fs::path outside = root_ / "elsewhere" / "data";
  fs::create_directories(outside);
  fs::remove_all(Drive('E'));
  fs::create_directory_symlink(outside, Drive('E'));
  WriteHostFile(outside / "a.nsf", "kept");
  ASSERT_EQ(Create("snap1"), S_OK_);
  WriteHostFile(outside / "a.nsf", "changed");
  WriteHostFile(outside / "extra.nsf", "new");

  ASSERT_EQ(Restore("snap1"), S_OK_);
  EXPECT_TRUE(fs::is_symlink(Drive('E')));
  EXPECT_EQ(ReadHostFile(outside / "a.nsf"), "kept");
  EXPECT_FALSE(fs::exists(outside / "extra.nsf"));
  // No work folders are left beside the restored folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(outside.parent_path()), fs::directory_iterator()), 1);
}

// Large displaced trees go to the volume's trash and are removed there by a
// detached remover; the drive holds the snapshot's contents on return.
TEST_F(SnapshotTest, RestoreOfALargeTreeLeavesNoOldTreeBehind) {
  fs::path e = Drive('E');
  for (int i = 0; i < 300; ++i) WriteHostFile(e / ("d" + std::to_string(i % 7)) / std::to_string(i), "v1");
  auto before = Describe(e);
  ASSERT_EQ(Create("big"), S_OK_);
  WriteHostFile(e / "d0" / "0", "changed");
  WriteHostFile(e / "added" / "x", "new");
  fs::remove_all(e / "d3");

  ASSERT_EQ(Restore("big"), S_OK_);
  EXPECT_EQ(Describe(e), before);
  for (const fs::directory_entry& entry : fs::directory_iterator(e.parent_path())) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }
  fs::path trash = root_ / "storage" / "FILER1" / "data1" / ".trash";
  for (int wait = 0; wait < 200 && !fs::is_empty(trash); ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(fs::is_empty(trash));
  // The snapshot itself is untouched by writes to the restored drive.
  WriteHostFile(e / "d1" / "1", "written after");
  ASSERT_EQ(Restore("big"), S_OK_);
  EXPECT_EQ(ReadHostFile(e / "d1" / "1"), "v1");
  for (int wait = 0; wait < 200 && !fs::is_empty(trash); ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// What a crash leaves (a half-made copy beside the drive, an old tree in the
// trash) is removed by the next call on the volume.
TEST_F(SnapshotTest, LeftoversOfACrashedRestoreAreRemovedByTheNextCall) {
  WriteHostFile(Drive('E') / "a", "1");
  ASSERT_EQ(Create("snap"), S_OK_);
  fs::path trash = root_ / "storage" / "FILER1" / "data1" / ".trash";
  fs::path halfCopy = Drive('E').parent_path() / ".E.omb-restore-1-0";
  WriteHostFile(trash / ".omb-old-1-0" / "deep" / "f", "old");
  WriteHostFile(halfCopy / "a", "partial");

  ASSERT_EQ(Restore("snap"), S_OK_);
  EXPECT_FALSE(fs::exists(halfCopy));
  EXPECT_TRUE(fs::is_empty(trash));
  EXPECT_EQ(ReadHostFile(Drive('E') / "a"), "1");

  WriteHostFile(trash / ".omb-old-1-1" / "f", "old");
  ASSERT_EQ(Create("next"), S_OK_);
  EXPECT_TRUE(fs::is_empty(trash));
  EXPECT_EQ(Names(), (std::vector<std::string>{"next", "snap"}));
}

TEST_F(SnapshotTest, ListsNewestFirstWithCreationTimes) {
  ASSERT_EQ(Create("first"), S_OK_);
  ASSERT_EQ(Create("second"), S_OK_);
  ASSERT_EQ(Create("third"), S_OK_);
  std::vector<storage::SnapshotRecord> records;
  ASSERT_EQ(snapshots_->EnumSnapShots(u"E", records), S_OK_);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].name, u"third");
  EXPECT_EQ(records[2].name, u"first");
  EXPECT_GE(records[0].creationTime, records[1].creationTime);
  EXPECT_GE(records[1].creationTime, records[2].creationTime);
  // 2020-01-01 as a FILETIME: creation times are real UTC times.
  EXPECT_GT(records[2].creationTime, 132223104000000000ull);
}

TEST_F(SnapshotTest, EmptyVolumeListsNothing) {
  EXPECT_TRUE(Names().empty());
}

TEST_F(SnapshotTest, NamesAreFoundWithoutRegardToCase) {
  WriteHostFile(Drive('E') / "a", "1");
  ASSERT_EQ(Create("dominosnap__HOST__MAIL1__recent"), S_OK_);
  EXPECT_EQ(Create("DOMINOSNAP__HOST__MAIL1__RECENT"), storage::HRESULT_ALREADY_EXISTS);
  WriteHostFile(Drive('E') / "a", "2");
  EXPECT_EQ(Restore("DOMINOSNAP__HOST__MAIL1__RECENT"), S_OK_);
  EXPECT_EQ(ReadHostFile(Drive('E') / "a"), "1");
  EXPECT_EQ(snapshots_->RenameSnapShot(u"E", u"Dominosnap__host__mail1__RECENT", u"renamed"), S_OK_);
  EXPECT_EQ(Names(), std::vector<std::string>{"renamed"});
}

TEST_F(SnapshotTest, RenameKeepsCreationTimeAndRefusesClashes) {
  ASSERT_EQ(Create("old"), S_OK_);
  ASSERT_EQ(Create("other"), S_OK_);
  std::vector<storage::SnapshotRecord> before;
  snapshots_->EnumSnapShots(u"E", before);

  EXPECT_EQ(snapshots_->RenameSnapShot(u"E", u"old", u"OTHER"), storage::HRESULT_ALREADY_EXISTS);
  EXPECT_EQ(snapshots_->RenameSnapShot(u"E", u"missing", u"x"), storage::HRESULT_FILE_NOT_FOUND);
  EXPECT_EQ(snapshots_->RenameSnapShot(u"E", u"old", u"../escape"), storage::E_INVALIDARG_);
  ASSERT_EQ(snapshots_->RenameSnapShot(u"E", u"old", u"new"), S_OK_);

  std::vector<storage::SnapshotRecord> after;
  snapshots_->EnumSnapShots(u"E", after);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[1].name, u"new");
  EXPECT_EQ(after[1].creationTime, before[1].creationTime);
}

TEST_F(SnapshotTest, DeleteSetsTheFlagOnlyWhenSomethingWentAway) {
  ASSERT_EQ(Create("a"), S_OK_);
  ASSERT_EQ(Create("b"), S_OK_);
  bool deleted = false;
  EXPECT_EQ(snapshots_->DeleteSnapShot(u"E", u"A", deleted), S_OK_);
  EXPECT_TRUE(deleted);
  EXPECT_EQ(snapshots_->DeleteSnapShot(u"E", u"a", deleted), storage::HRESULT_FILE_NOT_FOUND);
  EXPECT_FALSE(deleted);
  EXPECT_EQ(Names(), std::vector<std::string>{"b"});
  EXPECT_EQ(Restore("a"), storage::HRESULT_FILE_NOT_FOUND);
}

TEST_F(SnapshotTest, RejectsNamesThatAreNotOneFolderName) {
  for (const std::string& bad : std::vector<std::string>{"", ".hidden", "a/b", std::string(256, 'x')}) {
    EXPECT_EQ(Create(bad), storage::E_INVALIDARG_) << bad;
  }
  EXPECT_TRUE(Names().empty());
  EXPECT_EQ(Create(std::string(255, 'x')), S_OK_);
}

TEST_F(SnapshotTest, UnknownDriveIsAnInvalidArgument) {
  EXPECT_EQ(Create("x", u"Q"), storage::E_INVALIDARG_);
  EXPECT_EQ(Create("x", u""), storage::E_INVALIDARG_);
  std::vector<storage::SnapshotRecord> records;
  EXPECT_EQ(snapshots_->EnumSnapShots(u"Q", records), storage::E_INVALIDARG_);
  EXPECT_EQ(snapshots_->RestoreSnapShot(u"E", {}), storage::E_INVALIDARG_);
}

TEST_F(SnapshotTest, AHalfMadeSnapshotNeverLists) {
  ASSERT_EQ(Create("done"), S_OK_);
  // What a crash in the middle of a copy leaves behind.
  fs::path snapshotFolder = root_ / "storage" / "FILER1" / "data1" / ".snapshot";
  fs::create_directories(snapshotFolder / ".omb-create-1-0" / "E");
  fs::create_directories(snapshotFolder / "nometadata" / "E");
  EXPECT_EQ(Names(), std::vector<std::string>{"done"});
  ASSERT_EQ(Create("next"), S_OK_);
  EXPECT_FALSE(fs::exists(snapshotFolder / ".omb-create-1-0"));
}

TEST_F(SnapshotTest, RefusesTheSnapshotBeyondTheVolumeLimit) {
  for (int i = 0; i < 255; ++i) ASSERT_EQ(Create("s" + std::to_string(i)), S_OK_) << i;
  EXPECT_EQ(Create("one-too-many"), static_cast<storage::HRESULT>(0x80070070));
  EXPECT_EQ(Names().size(), 255u);
}

#ifdef OMB_TEST_HOOKS
// A disk that fills while a snapshot is made gives the disk-full result,
// whichever step met it, and leaves no snapshot behind.
TEST_F(SnapshotTest, FullDiskWhileCreatingIsReportedAsAFullDisk) {
  WriteHostFile(Drive('E') / "a.nsf", "data");
  for (platform::FileOperation kind : {platform::FileOperation::Mkdir, platform::FileOperation::Write}) {
    SCOPED_TRACE(static_cast<int>(kind));
    platform::FailFileOperation(1, ENOSPC, kind);
    const storage::HRESULT result = Create("full");
    const bool fired = platform::FileFaultFired();
    platform::ClearFileFault();
    ASSERT_TRUE(fired);
    EXPECT_EQ(result, static_cast<storage::HRESULT>(0x80070070));
    EXPECT_TRUE(Names().empty());
  }
}
#endif

TEST_F(SnapshotTest, MissingDriveFolderFailsWithoutASnapshot) {
  fs::remove_all(Drive('E'));
  EXPECT_TRUE(storage::Failed(Create("x")));
  EXPECT_TRUE(Names().empty());
}

TEST_F(SnapshotTest, ConcurrentCreatesAndRenamesKeepTheSetWhole) {
  WriteHostFile(Drive('E') / "a", std::string(100000, 'a'));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      std::unique_ptr<storage::SnapshotInterface> own;
      storage::CurrentComponent().CreateSnapshotInterface(own);
      for (int i = 0; i < 5; ++i) {
        std::u16string name = storage::ToUtf16("t" + std::to_string(t) + "_" + std::to_string(i));
        EXPECT_EQ(own->CreateSnapShot(u"E", name), S_OK_);
        EXPECT_EQ(own->RenameSnapShot(u"E", name, name + u"r"), S_OK_);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<std::string> names = Names();
  EXPECT_EQ(names.size(), 20u);
  for (const std::string& name : names) {
    EXPECT_EQ(name.back(), 'r');
    ASSERT_EQ(Restore(name), S_OK_);
    EXPECT_EQ(ReadHostFile(Drive('E') / "a").size(), 100000u);
  }
}

}  // namespace
}  // namespace omb::test
