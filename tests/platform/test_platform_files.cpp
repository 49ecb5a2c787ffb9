#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/paths.h"
#include "tests/support/machine_fixture.h"

namespace omb::platform {
namespace {

namespace fs = std::filesystem;

class FilesTest : public test::MachineTest {};

TEST_F(FilesTest, TextModeWritesCrLfAndReadsBackLf) {
  ASSERT_EQ(WriteTextFile("C:\\log_hint", "a\nb\n"), 0);
  EXPECT_EQ(ReadHostFile(Host("C:\\log_hint")), "a\r\nb\r\n");
  ASSERT_EQ(AppendTextFile("C:\\log_hint", "c\n"), 0);
  EXPECT_EQ(ReadHostFile(Host("C:\\log_hint")), "a\r\nb\r\nc\r\n");
  std::string text;
  ASSERT_EQ(ReadTextFile("C:\\LOG_HINT", text), 0);
  EXPECT_EQ(text, "a\nb\nc\n");
}

TEST_F(FilesTest, TextModeKeepsAnExistingCarriageReturn) {
  ASSERT_EQ(WriteTextFile("C:\\out.txt", "line\r\n"), 0);
  EXPECT_EQ(ReadHostFile(Host("C:\\out.txt")), "line\r\r\n");
  std::string text;
  ASSERT_EQ(ReadTextFile("C:\\out.txt", text), 0);
  EXPECT_EQ(text, "line\r\n");
}

TEST_F(FilesTest, AppendCreatesTheFile) {
  ASSERT_EQ(AppendTextFile("C:\\new.txt", "x"), 0);
  EXPECT_EQ(ReadHostFile(Host("C:\\new.txt")), "x");
}

TEST_F(FilesTest, MissingFileAndMissingPathGiveDifferentCodes) {
  std::string bytes;
  EXPECT_EQ(ReadWholeFile("C:\\absent.txt", bytes), 2);
  EXPECT_EQ(ReadWholeFile("C:\\nofolder\\absent.txt", bytes), 3);
  EXPECT_EQ(WriteFileAtomic("C:\\nofolder\\x.txt", "x"), 3);
  EXPECT_EQ(AppendTextFile("C:\\nofolder\\x.txt", "x"), 3);
  EXPECT_EQ(DeleteOneFile("C:\\absent.txt"), 2);
  EXPECT_EQ(RemoveDirectoryTree("C:\\absent"), 2);
  std::vector<DirEntry> entries;
  EXPECT_EQ(ListDirectory("C:\\absent", entries), 3);
}

TEST_F(FilesTest, WriteFileAtomicReplacesAndLeavesNoTemporary) {
  ASSERT_EQ(WriteFileAtomic("C:\\data.bin", std::string("a\0b\n", 4)), 0);
  ASSERT_EQ(WriteFileAtomic("C:\\DATA.BIN", "new"), 0);
  EXPECT_EQ(ReadHostFile(root_ / "drives" / "C" / "data.bin"), "new");
  std::vector<DirEntry> entries;
  ASSERT_EQ(ListDirectory("C:\\", entries), 0);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "data.bin");
}

TEST_F(FilesTest, DirectoriesCreateListAndRemove) {
  EXPECT_EQ(CreateOneDirectory("C:\\Vault"), 0);
  EXPECT_EQ(CreateOneDirectory("C:\\VAULT"), 183);
  EXPECT_EQ(CreateOneDirectory("C:\\no\\deeper"), 3);
  ASSERT_EQ(CreateOneDirectory("C:\\vault\\b"), 0);
  ASSERT_EQ(WriteFileAtomic("C:\\vault\\a.txt", "1"), 0);
  ASSERT_EQ(WriteFileAtomic("C:\\vault\\b\\c.txt", "1"), 0);
  std::vector<DirEntry> entries;
  ASSERT_EQ(ListDirectory("c:\\VAULT", entries), 0);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "a.txt");
  EXPECT_FALSE(entries[0].isDirectory);
  EXPECT_EQ(entries[1].name, "b");
  EXPECT_TRUE(entries[1].isDirectory);
  EXPECT_TRUE(IsDirectory("C:\\Vault\\B"));
  EXPECT_TRUE(IsFile("C:\\Vault\\B\\C.TXT"));
  EXPECT_EQ(RemoveDirectoryTree("C:\\Vault"), 0);
  EXPECT_FALSE(PathExists("C:\\Vault"));
}

TEST_F(FilesTest, CopyOneFileHonoursFailIfExists) {
  ASSERT_EQ(WriteFileAtomic("C:\\a.nsf", "database"), 0);
  ASSERT_EQ(WriteFileAtomic("C:\\b.nsf", "other"), 0);
  EXPECT_EQ(CopyOneFile("C:\\a.nsf", "C:\\b.nsf", true), 80);
  EXPECT_EQ(ReadHostFile(Host("C:\\b.nsf")), "other");
  EXPECT_EQ(CopyOneFile("C:\\a.nsf", "C:\\b.nsf", false), 0);
  EXPECT_EQ(ReadHostFile(Host("C:\\b.nsf")), "database");
  EXPECT_EQ(CopyOneFile("C:\\a.nsf", "C:\\c.nsf", true), 0);
  EXPECT_EQ(ReadHostFile(Host("C:\\c.nsf")), "database");
  EXPECT_EQ(CopyOneFile("C:\\absent.nsf", "C:\\d.nsf", false), 2);
}

TEST_F(FilesTest, CopyOntoItselfKeepsTheContents) {
  ASSERT_EQ(WriteFileAtomic("C:\\a.nsf", "database"), 0);
  EXPECT_NE(CopyOneFile("C:\\a.nsf", "C:\\A.NSF", false), 0);
  EXPECT_EQ(ReadHostFile(Host("C:\\a.nsf")), "database");
}

TEST_F(FilesTest, CopyKeepsTheLastWriteTime) {
  ASSERT_EQ(WriteFileAtomic("C:\\a.nsf", std::string(100000, 'x')), 0);
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, Host("C:\\a.nsf").c_str(), times, 0), 0);
  ASSERT_EQ(CopyOneFile("C:\\a.nsf", "C:\\b.nsf", true), 0);
  EXPECT_EQ(LastWriteTime("C:\\b.nsf"), LastWriteTime("C:\\a.nsf"));
  EXPECT_EQ(FileSize("C:\\b.nsf"), 100000);
}

TEST_F(FilesTest, MoveRefusesAnExistingTarget) {
  ASSERT_EQ(WriteFileAtomic("C:\\a.txt", "a"), 0);
  ASSERT_EQ(WriteFileAtomic("C:\\b.txt", "b"), 0);
  EXPECT_EQ(MoveFileOrDirectory("C:\\a.txt", "C:\\B.TXT"), 183);
  EXPECT_EQ(ReadHostFile(Host("C:\\b.txt")), "b");
  EXPECT_EQ(ReadHostFile(Host("C:\\a.txt")), "a");
  ASSERT_EQ(CreateOneDirectory("C:\\d1"), 0);
  ASSERT_EQ(CreateOneDirectory("C:\\d2"), 0);
  EXPECT_EQ(MoveFileOrDirectory("C:\\d1", "C:\\d2"), 183);
}

TEST_F(FilesTest, MoveRenamesFilesAndFolders) {
  ASSERT_EQ(CreateOneDirectory("C:\\snap"), 0);
  ASSERT_EQ(WriteFileAtomic("C:\\snap\\x", "x"), 0);
  EXPECT_EQ(MoveFileOrDirectory("C:\\snap", "C:\\renamed"), 0);
  EXPECT_TRUE(IsFile("C:\\renamed\\x"));
  EXPECT_EQ(MoveFileOrDirectory("C:\\renamed\\x", "C:\\y"), 0);
  EXPECT_TRUE(IsFile("C:\\y"));
  EXPECT_EQ(MoveFileOrDirectory("C:\\absent", "C:\\z"), 2);
}

// A drive may be a symbolic link to another file system; MoveFile copies a
// file across and removes the original.
TEST_F(FilesTest, MoveAcrossFileSystemsCopiesTheFile) {
  std::string pattern = "/dev/shm/omb-drive-XXXXXX";
  if (!fs::is_directory("/dev/shm") || ::mkdtemp(pattern.data()) == nullptr) GTEST_SKIP() << "no /dev/shm";
  fs::create_directory_symlink(pattern, root_ / "drives" / "L");
  struct stat here {}, there {};
  ::stat(root_.c_str(), &here);
  ::stat(pattern.c_str(), &there);
  if (here.st_dev == there.st_dev) {
    fs::remove_all(pattern);
    GTEST_SKIP() << "same file system";
  }
  ASSERT_EQ(WriteFileAtomic("C:\\S0000001.TXN", "log extent"), 0);
  ASSERT_EQ(WriteFileAtomic("L:\\taken.TXN", "other"), 0);
  EXPECT_EQ(MoveFileOrDirectory("C:\\S0000001.TXN", "L:\\taken.TXN"), 183);
  EXPECT_EQ(MoveFileOrDirectory("C:\\S0000001.TXN", "L:\\S0000001.TXN"), 0);
  EXPECT_FALSE(PathExists("C:\\S0000001.TXN"));
  EXPECT_EQ(ReadHostFile(Host("L:\\S0000001.TXN")), "log extent");
  ASSERT_EQ(CreateOneDirectory("C:\\folder"), 0);
  EXPECT_EQ(MoveFileOrDirectory("C:\\folder", "L:\\folder"), 17);
  fs::remove_all(pattern);
}

TEST_F(FilesTest, MoveOntoItselfInOtherCaseChangesTheCase) {
  ASSERT_EQ(WriteFileAtomic("C:\\recent", "x"), 0);
  EXPECT_EQ(MoveFileOrDirectory("C:\\recent", "C:\\RECENT"), 0);
  EXPECT_TRUE(fs::exists(root_ / "drives" / "C" / "RECENT"));
  EXPECT_FALSE(fs::exists(root_ / "drives" / "C" / "recent"));
}

TEST_F(FilesTest, BinaryFileReadsWhatItWrote) {
  BinaryFile file;
  EXPECT_EQ(file.Open("C:\\absent", BinaryFile::Mode::Read), ENOENT);
  ASSERT_EQ(file.Open("C:\\chunk", BinaryFile::Mode::WriteCreateTruncate), 0);
  EXPECT_EQ(file.Write("abc\n", 4), 4);
  file.Close();
  ASSERT_EQ(file.Open("C:\\chunk", BinaryFile::Mode::Read), 0);
  char buffer[16];
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 4);
  EXPECT_EQ(std::string(buffer, 4), "abc\n");
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
}

TEST_F(FilesTest, ReplacingBinaryFileTakesThePlaceOfTheOldOneOnlyWhenCommitted) {
  ASSERT_EQ(WriteFileAtomic("C:\\a.dat", "stale and longer"), 0);
  BinaryFile file;
  ASSERT_EQ(file.Open("C:\\a.dat", BinaryFile::Mode::Replace), 0);
  EXPECT_EQ(file.Write("new", 3), 3);
  file.Close();  // abandoned half-way
  std::string bytes;
  ASSERT_EQ(ReadWholeFile("C:\\a.dat", bytes), 0);
  EXPECT_EQ(bytes, "stale and longer");

  ASSERT_EQ(file.Open("C:\\a.dat", BinaryFile::Mode::Replace), 0);
  EXPECT_EQ(file.Write("new", 3), 3);
  EXPECT_EQ(file.Commit(), 0);
  ASSERT_EQ(ReadWholeFile("C:\\a.dat", bytes), 0);
  EXPECT_EQ(bytes, "new");
  std::vector<DirEntry> entries;
  ASSERT_EQ(ListDirectory("C:\\", entries), 0);
  ASSERT_EQ(entries.size(), 1u);  // no temporary file is left
  EXPECT_EQ(entries[0].name, "a.dat");
  EXPECT_EQ(file.Commit(), EBADF);
}

TEST_F(FilesTest, FoldersAreNotReadAsFiles) {
  ASSERT_EQ(CreateOneDirectory("C:\\folder"), 0);
  BinaryFile file;
  EXPECT_EQ(file.Open("C:\\folder", BinaryFile::Mode::Read), EACCES);
  EXPECT_FALSE(file.IsOpen());
  std::string bytes;
  EXPECT_EQ(ReadWholeFile("C:\\folder", bytes), 5);
  EXPECT_EQ(FileSize("C:\\folder"), -1);
  EXPECT_EQ(WriteFileAtomic("C:\\folder", "x"), 5);
  EXPECT_TRUE(IsDirectory("C:\\folder"));
}

TEST_F(FilesTest, FreeBytesOfAnExistingDrive) {
  uint64_t free = 0;
  EXPECT_TRUE(FreeBytes('c', free));
  EXPECT_GT(free, 0u);
  EXPECT_FALSE(FreeBytes('Q', free));
}

}  // namespace
}  // namespace omb::platform
