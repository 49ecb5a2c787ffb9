// One file copied out of a snapshot: the snapshot's contents, names found
// as Windows finds them, never over an existing file, and nothing left
// behind by a copy that fails at any of its file operations.
#include <sys/stat.h>

#include "platform/file_faults.h"
#include "tests/storage/storage_test_support.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;
using storage::S_OK_;

class SingleFileTest : public FilerTest {
 protected:
  void SetUp() override {
    FilerTest::SetUp();
    WriteHostFile(Drive('E') / "Lotus" / "Data" / "mail" / "a.nsf", "as the snapshot holds it");
    WriteHostFile(Drive('E') / "Lotus" / "Data" / "other.nsf", "another database");
    ::chmod((Drive('E') / "Lotus" / "Data" / "mail" / "a.nsf").c_str(), 0640);
    ASSERT_EQ(Create("snap1"), S_OK_);
    WriteHostFile(Drive('E') / "Lotus" / "Data" / "mail" / "a.nsf", "changed since");
  }
  void TearDown() override {
    platform::ClearFileFault();
    FilerTest::TearDown();
  }

  storage::HRESULT RestoreFile(const std::string& file, const std::string& target,
                               const std::string& snapshot = "snap1", const std::u16string& drive = u"E") {
    return snapshots_->RestoreFileFromSnapShot(drive, storage::ToUtf16(snapshot), storage::ToUtf16(file),
                                               storage::ToUtf16(target));
  }

  // The entries of the mail folder, sorted.
  std::vector<std::string> MailFolder() { return Describe(Drive('E') / "Lotus" / "Data" / "mail"); }
};

TEST_F(SingleFileTest, CopiesTheSnapshotsVersionWithItsModeBesideTheLiveFile) {
  ASSERT_EQ(RestoreFile("\\Lotus\\Data\\mail\\a.nsf", "E:\\Lotus\\Data\\mail\\a_restored.nsf"), S_OK_);
  const fs::path restored = Drive('E') / "Lotus" / "Data" / "mail" / "a_restored.nsf";
  EXPECT_EQ(ReadHostFile(restored), "as the snapshot holds it");
  struct stat info {};
  ASSERT_EQ(::stat(restored.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadHostFile(Drive('E') / "Lotus" / "Data" / "mail" / "a.nsf"), "changed since");
  // Only the one file: no temporary and nothing else of the snapshot.
  EXPECT_EQ(MailFolder(), (std::vector<std::string>{"a.nsf:file:changed since",
                                                     "a_restored.nsf:file:as the snapshot holds it"}));
}

TEST_F(SingleFileTest, FindsNamesWithoutRegardToCaseAndTheSnapshotByAnyCase) {
  ASSERT_EQ(RestoreFile("\\LOTUS\\data\\MAIL\\A.NSF", "E:\\Lotus\\Data\\copy.nsf", "SNAP1"), S_OK_);
  EXPECT_EQ(ReadHostFile(Drive('E') / "Lotus" / "Data" / "copy.nsf"), "as the snapshot holds it");
}

TEST_F(SingleFileTest, RefusesWhatItMustNotDo) {
  WriteHostFile(Drive('E') / "Lotus" / "Data" / "mail" / "taken.nsf", "keep");
  const auto before = MailFolder();
  struct Case {
    std::string file, target, snapshot;
    storage::HRESULT expected;
  };
  const std::vector<Case> cases = {
      {"\\Lotus\\Data\\mail\\a.nsf", "E:\\Lotus\\Data\\mail\\taken.nsf", "snap1", storage::HRESULT_ALREADY_EXISTS},
      {"\\Lotus\\Data\\mail\\none.nsf", "E:\\Lotus\\Data\\mail\\x.nsf", "snap1", storage::HRESULT_FILE_NOT_FOUND},
      {"\\Lotus\\Data\\mail", "E:\\Lotus\\Data\\mail\\x.nsf", "snap1", storage::HRESULT_FILE_NOT_FOUND},
      {"\\Lotus\\..\\..\\..\\E\\Lotus\\Data\\mail\\a.nsf", "E:\\Lotus\\Data\\mail\\x.nsf", "snap1",
       storage::HRESULT_FILE_NOT_FOUND},
      {"\\Lotus\\Data\\mail\\a.nsf", "E:\\Lotus\\Data\\mail\\x.nsf", "nosuch", storage::HRESULT_FILE_NOT_FOUND},
      {"\\Lotus\\Data\\mail\\a.nsf", "relative.nsf", "snap1", storage::E_INVALIDARG_},
      {"", "E:\\Lotus\\Data\\mail\\x.nsf", "snap1", storage::E_INVALIDARG_},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RestoreFile(c.file, c.target, c.snapshot), c.expected) << c.file << " -> " << c.target;
  }
  // A drive without a folder has nowhere to put the file.
  EXPECT_EQ(RestoreFile("\\Lotus\\Data\\mail\\a.nsf", "Q:\\x.nsf"), storage::HRESULT_FILE_NOT_FOUND);
  EXPECT_EQ(MailFolder(), before);
}

TEST_F(SingleFileTest, InjectedFailureReplacesTheCopy) {
  ::setenv("OMB_STORAGE_FAIL", "RestoreFileFromSnapShot:0x80004005", 1);
  EXPECT_EQ(RestoreFile("\\Lotus\\Data\\mail\\a.nsf", "E:\\Lotus\\Data\\mail\\x.nsf"), storage::E_FAIL_);
  EXPECT_FALSE(fs::exists(Drive('E') / "Lotus" / "Data" / "mail" / "x.nsf"));
}

TEST_F(SingleFileTest, AFailingFileOperationLeavesNoFileBehind) {
  const auto before = MailFolder();
  for (uint64_t nth = 1;; ++nth) {
    platform::FailFileOperation(nth, EIO);
    const storage::HRESULT result = RestoreFile("\\Lotus\\Data\\mail\\a.nsf", "E:\\Lotus\\Data\\mail\\x.nsf");
    const bool fired = platform::FileFaultFired();
    platform::ClearFileFault();
    if (!fired) {
      ASSERT_EQ(result, S_OK_);
      break;
    }
    // A failure after the rename (the folder's flush) is reported, but the
    // file is then whole; before it, nothing appears.
    const fs::path copy = Drive('E') / "Lotus" / "Data" / "mail" / "x.nsf";
    EXPECT_NE(result, S_OK_) << "operation " << nth;
    if (fs::exists(copy)) {
      EXPECT_EQ(ReadHostFile(copy), "as the snapshot holds it") << "operation " << nth;
      fs::remove(copy);
    }
    EXPECT_EQ(MailFolder(), before) << "operation " << nth;
    ASSERT_LT(nth, 50u);
  }
}

}  // namespace
}  // namespace omb::test
