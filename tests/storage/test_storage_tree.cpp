// The tree copy and removal under snapshots and restores.
#include <sys/stat.h>

#include "storage/tree_copy.h"
#include "tests/storage/storage_test_support.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;

class TreeTest : public MachineTest {
 protected:
  fs::path source() const { return root_ / "source"; }
  fs::path target() const { return root_ / "target"; }
};

TEST_F(TreeTest, CopiesEveryKindOfEntry) {
  WriteHostFile(source() / "a" / "b" / "deep.nsf", "deep");
  WriteHostFile(source() / "empty.nsf", "");
  std::string big(3 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteHostFile(source() / "big.nsf", big);
  fs::create_directories(source() / "nothing");
  fs::create_symlink("/nonexistent/dangling", source() / "dangling");
  ASSERT_EQ(::mkfifo((source() / "pipe").c_str(), 0600), 0);

  storage::CopyReport report = storage::CopyTree(source(), target(), {2, true});
  ASSERT_EQ(report.error, 0);
  EXPECT_EQ(report.files, 3u);
  EXPECT_EQ(report.bytes, big.size() + 4);
  EXPECT_EQ(DescribeTree(target()), DescribeTree(source()));
  EXPECT_EQ(ReadHostFile(target() / "big.nsf"), big);
  EXPECT_EQ(fs::read_symlink(target() / "dangling"), "/nonexistent/dangling");
  EXPECT_TRUE(fs::is_fifo(target() / "pipe"));
}

TEST_F(TreeTest, DroppingTheSourceCacheLeavesBothTreesWhole) {
  std::string big(1 << 20, 'b');
  WriteHostFile(source() / "big.nsf", big);
  WriteHostFile(source() / "sub" / "small.nsf", "small");
  storage::CopyOptions options;
  options.dropSourceCache = true;
  storage::CopyReport report = storage::CopyTree(source(), target(), options);
  ASSERT_EQ(report.error, 0);
  EXPECT_EQ(report.files, 2u);
  EXPECT_EQ(DescribeTree(target()), DescribeTree(source()));
  EXPECT_EQ(ReadHostFile(source() / "big.nsf"), big);
}

TEST_F(TreeTest, ReadOnlyFoldersAreFilledBeforeTheirModeIsSet) {
  WriteHostFile(source() / "locked" / "inside.nsf", "x");
  ::chmod((source() / "locked").c_str(), 0555);
  ASSERT_EQ(storage::CopyTree(source(), target()).error, 0);
  EXPECT_EQ(ReadHostFile(target() / "locked" / "inside.nsf"), "x");
  struct stat info {};
  ::stat((target() / "locked").c_str(), &info);
  EXPECT_EQ(info.st_mode & 07777, 0555u);
  ::chmod((source() / "locked").c_str(), 0755);
  ::chmod((target() / "locked").c_str(), 0755);
}

TEST_F(TreeTest, RefusesAnExistingTargetOrAMissingSource) {
  fs::create_directories(source());
  fs::create_directories(target());
  EXPECT_EQ(storage::CopyTree(source(), target()).error, EEXIST);
  EXPECT_EQ(storage::CopyTree(root_ / "missing", root_ / "elsewhere").error, ENOENT);
  WriteHostFile(root_ / "plain", "x");
  EXPECT_EQ(storage::CopyTree(root_ / "plain", root_ / "elsewhere").error, ENOTDIR);
}

TEST_F(TreeTest, RemovalNeverFollowsLinksOutOfTheTree) {
  WriteHostFile(root_ / "outside" / "keep.nsf", "keep");
  for (int i = 0; i < 50; ++i) WriteHostFile(source() / ("d" + std::to_string(i % 5)) / std::to_string(i), "x");
  fs::create_directory_symlink(root_ / "outside", source() / "link");
  EXPECT_TRUE(storage::RemoveTree(source()));
  EXPECT_FALSE(fs::exists(source()));
  EXPECT_EQ(ReadHostFile(root_ / "outside" / "keep.nsf"), "keep");
  EXPECT_TRUE(storage::RemoveTree(root_ / "never-was"));
}

}  // namespace
}  // namespace omb::test
