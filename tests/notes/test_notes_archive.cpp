// Log extents: archiving sessions list only ready extents, marking one
// archived removes its file, enumeration outside a session ends with the
// live extent, and circular logging reuses a small ring of extents.
#include <gtest/gtest.h>

#include <cstdio>

#include "notes/status.h"
#include "tests/notes/notes_fixture.h"

namespace omb::notes::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDb = "E:\\Data\\a.nsf";

class ArchiveTest : public NotesTest {
 protected:
  std::vector<LogExtent> List() {
    std::vector<LogExtent> extents;
    LogExtent extent;
    for (Status s = runtime_.ArchiveFirst(extent); s == kNoError; s = runtime_.ArchiveNext(extent)) {
      extents.push_back(extent);
    }
    return extents;
  }

  std::vector<uint32_t> Numbers(const std::vector<LogExtent>& extents) {
    std::vector<uint32_t> numbers;
    for (const LogExtent& extent : extents) numbers.push_back(extent.number);
    return numbers;
  }

  uint32_t CurrentExtent() {
    Handle db = 0;
    DbLogInfo info;
    EXPECT_EQ(runtime_.OpenDb(kDb, db), kNoError);
    EXPECT_EQ(runtime_.GetDbLogInfo(db, info), kNoError);
    runtime_.CloseDb(db);
    return info.logExtent;
  }

  void FillExtents() {
    ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", {}), kNoError);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("d" + std::to_string(i), 20)), 0);
  }
};

TEST_F(ArchiveTest, SessionListsReadyExtentsAndMarkRemovesTheFile) {
  Start();
  FillExtents();
  const uint32_t current = CurrentExtent();
  ASSERT_GE(current, 4u);

  ASSERT_EQ(runtime_.ArchiveBegin(), kNoError);
  const std::vector<LogExtent> ready = List();
  std::vector<uint32_t> expected;
  for (uint32_t n = 1; n < current; ++n) expected.push_back(n);
  EXPECT_EQ(Numbers(ready), expected);
  EXPECT_EQ(ready[0].path, "F:\\logdir\\S0000001.TXN");
  LogExtent extent;
  EXPECT_EQ(runtime_.ArchiveNext(extent), kNoMoreExtents);

  EXPECT_EQ(runtime_.MarkArchived(ready[0].logId, 1), kNoError);
  EXPECT_FALSE(fs::exists(Host(ready[0].path)));
  EXPECT_TRUE(fs::exists(Host(ready[1].path)));
  EXPECT_EQ(runtime_.MarkArchived(ready[0].logId, current), kErrExtentNotReady);
  LogId other = ready[0].logId;
  other[0] ^= 0xFF;
  EXPECT_EQ(runtime_.MarkArchived(other, 2), kErrLogIdMismatch);
  EXPECT_EQ(runtime_.ArchiveEnd(), kNoError);

  // The next session no longer offers the archived extent.
  ASSERT_EQ(runtime_.ArchiveBegin(), kNoError);
  EXPECT_EQ(Numbers(List()).front(), 2u);
  EXPECT_EQ(runtime_.ArchiveEnd(), kNoError);
}

TEST_F(ArchiveTest, BatchMarksEveryExtentItCanWithOneCall) {
  Start();
  FillExtents();
  const uint32_t current = CurrentExtent();
  ASSERT_EQ(runtime_.ArchiveBegin(), kNoError);
  const std::vector<LogExtent> ready = List();
  ASSERT_GE(ready.size(), 3u);
  // The live extent cannot be marked; the others still are.
  EXPECT_EQ(runtime_.MarkArchivedBatch(ready[0].logId, {1, current, 2}), kErrExtentNotReady);
  EXPECT_FALSE(fs::exists(Host(ready[0].path)));
  EXPECT_FALSE(fs::exists(Host(ready[1].path)));
  EXPECT_TRUE(fs::exists(Host(ready[2].path)));
  EXPECT_EQ(runtime_.MarkArchivedBatch(ready[0].logId, {}), kNoError);
  EXPECT_EQ(runtime_.ArchiveEnd(), kNoError);
  ASSERT_EQ(runtime_.ArchiveBegin(), kNoError);
  EXPECT_EQ(Numbers(List()).front(), 3u);
  EXPECT_EQ(runtime_.ArchiveEnd(), kNoError);
}

// ---- verification of extent copies ---------------------------------------------

class VerifyExtentTest : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    Start();
    FillExtents();
    fs::create_directories(Host("G:\\copies"));
  }
  std::string Copy(uint32_t number, const std::string& name) {
    char extent[32];
    std::snprintf(extent, sizeof extent, "F:\\logdir\\S%07u.TXN", number);
    const std::string target = "G:\\copies\\" + name;
    fs::copy_file(Host(extent), Host(target), fs::copy_options::overwrite_existing);
    return target;
  }
  void FlipByte(const std::string& path, uint64_t offset) {
    std::string bytes = ReadHostFile(Host(path));
    bytes[offset] = static_cast<char>(bytes[offset] ^ 0x01);
    WriteHostFile(Host(path), bytes);
  }
};

TEST_F(VerifyExtentTest, GoodCopiesPassAndTheLiveExtentMayEndTorn) {
  EXPECT_EQ(runtime_.VerifyLogExtent(Copy(1, "one.TXN"), 1), kNoError);
  EXPECT_EQ(runtime_.VerifyLogExtent("F:\\logdir\\S0000002.TXN", 2), kNoError);
  const uint32_t current = CurrentExtent();
  char live[32];
  std::snprintf(live, sizeof live, "F:\\logdir\\S%07u.TXN", current);
  WriteHostFile(Host(live), ReadHostFile(Host(live)) + std::string("\x30\x00\x00\x00torn", 8));
  EXPECT_EQ(runtime_.VerifyLogExtent(live, current), kNoError);
}

TEST_F(VerifyExtentTest, EmptyTruncatedFlippedOrForeignCopiesAreCaught) {
  const std::string empty = Copy(1, "empty.TXN");
  WriteHostFile(Host(empty), "");
  EXPECT_EQ(runtime_.VerifyLogExtent(empty, 1), kErrLogDamaged);

  const std::string truncated = Copy(1, "truncated.TXN");
  fs::resize_file(Host(truncated), fs::file_size(Host(truncated)) - 7);
  EXPECT_EQ(runtime_.VerifyLogExtent(truncated, 1), kErrLogDamaged);

  const std::string cutAtFrame = Copy(1, "header-only.TXN");
  fs::resize_file(Host(cutAtFrame), 36);  // the header alone: every record missing
  EXPECT_EQ(runtime_.VerifyLogExtent(cutAtFrame, 1), kErrLogDamaged);

  for (uint64_t offset : {uint64_t{3}, uint64_t{20}, uint64_t{300}}) {
    const std::string flipped = Copy(1, "flipped.TXN");
    FlipByte(flipped, offset);
    EXPECT_NE(runtime_.VerifyLogExtent(flipped, 1), kNoError) << offset;
  }

  EXPECT_EQ(runtime_.VerifyLogExtent(Copy(2, "two-as-one.TXN"), 1), kErrLogIdMismatch);
  EXPECT_EQ(runtime_.VerifyLogExtent("G:\\copies\\missing.TXN", 1), kErrFileNotFound);
  EXPECT_EQ(runtime_.VerifyLogExtent(Copy(1, "unknown.TXN"), 999), kErrNoSuchExtent);
}

TEST_F(ArchiveTest, EnumerationOutsideASessionEndsWithTheLiveExtent) {
  Start();
  FillExtents();
  const uint32_t current = CurrentExtent();
  ASSERT_EQ(runtime_.ArchiveBegin(), kNoError);
  const std::vector<LogExtent> ready = List();
  ASSERT_EQ(runtime_.MarkArchived(ready[0].logId, ready[0].number), kNoError);
  ASSERT_EQ(runtime_.ArchiveEnd(), kNoError);

  const std::vector<LogExtent> present = List();
  ASSERT_FALSE(present.empty());
  EXPECT_EQ(present.front().number, 2u) << "archived extents are not in the folder";
  EXPECT_EQ(present.back().number, current);
  for (const LogExtent& extent : present) {
    EXPECT_EQ(LogSeriesText(extent.logId), LogSeriesText(present.front().logId));
    EXPECT_TRUE(fs::exists(Host(extent.path)));
  }
  // An archived extent copied back into the folder is listed again.
  ASSERT_TRUE(fs::exists(Host("F:\\logdir")));
  fs::copy_file(Host(present.front().path), Host("F:\\logdir\\S0000001.TXN.tmpcopy"));
  fs::rename(Host("F:\\logdir\\S0000001.TXN.tmpcopy"), Host("F:\\logdir") / "S0000001.TXN");
  EXPECT_EQ(List().front().number, 1u);
}

TEST_F(ArchiveTest, NoReadyExtentsGivesNoMoreExtentsAtOnce) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", Docs("x", 1)), kNoError);
  ASSERT_EQ(runtime_.ArchiveBegin(), kNoError);
  LogExtent extent;
  EXPECT_EQ(runtime_.ArchiveFirst(extent), kNoMoreExtents);
  EXPECT_EQ(runtime_.ArchiveEnd(), kNoError);
  // The fresh log still enumerates its live extent.
  EXPECT_EQ(Numbers(List()), std::vector<uint32_t>{1});
}

TEST_F(ArchiveTest, CircularLoggingReusesARingOfExtents) {
  Start({"1", "0", "4096"});
  int style = -1;
  ASSERT_EQ(runtime_.GetLogStyle(style), kNoError);
  EXPECT_EQ(style, kLogStyleCircular);
  ASSERT_EQ(runtime_.CreateDatabase(kDb, true, "a", {}), kNoError);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("c" + std::to_string(i), 10)), 0);

  ASSERT_EQ(runtime_.ArchiveBegin(), kNoError);
  LogExtent extent;
  EXPECT_EQ(runtime_.ArchiveFirst(extent), kNoMoreExtents) << "circular extents are never archived";
  EXPECT_EQ(runtime_.ArchiveEnd(), kNoError);
  const std::vector<LogExtent> present = List();
  EXPECT_EQ(present.size(), kCircularRing);
  for (const LogExtent& e : present) EXPECT_LE(e.number, kCircularRing);
  EXPECT_EQ(present.back().number, CurrentExtent());
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(Host(kLogDir))) {
    files += entry.path().extension() == ".TXN";
  }
  EXPECT_EQ(files, kCircularRing);
}

TEST_F(ArchiveTest, LoggingOffRefusesArchivingAndLogsNothing) {
  Start({"0", "1", "4096"});
  int style = -1;
  EXPECT_EQ(runtime_.GetLogStyle(style), kLoggingDisabled);
  EXPECT_EQ(runtime_.ArchiveBegin(), kLoggingDisabled);
  LogExtent extent;
  EXPECT_EQ(runtime_.ArchiveFirst(extent), kLoggingDisabled);
  ASSERT_EQ(runtime_.AddDocuments(kDb, Docs("x", 3)), kNoError);
  EXPECT_FALSE(fs::exists(Host(kLogDir)));
}

}  // namespace
}  // namespace omb::notes::test
