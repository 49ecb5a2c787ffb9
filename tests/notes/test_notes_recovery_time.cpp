// Recovery to a chosen time: every log record carries the time it was
// written, and the roll-forward stops at the first record after the time,
// for every database at the same point of the log.
#include <gtest/gtest.h>

#include "notes/codec.h"
#include "notes/status.h"
#include "tests/notes/notes_fixture.h"
#include "tests/support/fake_clock.h"

namespace omb::notes::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr const char* kA = "E:\\Data\\a.nsf";
constexpr const char* kB = "E:\\Data\\b.nsf";
constexpr uint64_t kSecond = 10'000'000;

class RecoveryTimeTest : public NotesTest {
 protected:
  void StartWithClock() {
    Start();
    runtime_.SetClock(&clock_);
  }

  void Snapshot() { CopyTree(Host("E:\\"), snapshot_); }
  void RestoreSnapshot() { CopyTree(snapshot_, Host("E:\\")); }

  void TearDown() override {
    runtime_.SetClock(nullptr);
    fs::remove_all(snapshot_);
    NotesTest::TearDown();
  }

  omb::test::FakeClock clock_;
  fs::path snapshot_ = fs::temp_directory_path() / ("omb-notes-until-" + std::to_string(::getpid()));
};

// Writes in three rounds a second apart after a snapshot: t1 (a and b),
// t2 (a only), t3 (b only). Small extents, so the rounds span several.
struct Rounds {
  uint64_t t1 = 0, t2 = 0, t3 = 0;
};

TEST_F(RecoveryTimeTest, ReplayStopsAtTheTimeForEveryDatabase) {
  StartWithClock();
  ASSERT_EQ(runtime_.CreateDatabase(kA, true, "a", Docs("base", 2)), kNoError);
  ASSERT_EQ(runtime_.CreateDatabase(kB, true, "b", {}), kNoError);
  Snapshot();
  Rounds rounds;
  clock_.Advance(milliseconds(1000));
  rounds.t1 = clock_.NowFileTime();
  ASSERT_EQ(runtime_.AddDocuments(kA, Docs("t1", 30)), kNoError);
  ASSERT_EQ(runtime_.AddDocuments(kB, Docs("t1", 20)), kNoError);
  clock_.Advance(milliseconds(1000));
  rounds.t2 = clock_.NowFileTime();
  ASSERT_EQ(runtime_.AddDocuments(kA, Docs("t2", 25)), kNoError);
  clock_.Advance(milliseconds(1000));
  rounds.t3 = clock_.NowFileTime();
  ASSERT_EQ(runtime_.AddDocuments(kB, Docs("t3", 40)), kNoError);

  uint64_t newest = 0;
  ASSERT_EQ(runtime_.LastLogRecordTime(newest), kNoError);
  EXPECT_EQ(newest, rounds.t3);

  const std::string names = NameBuffer({kA, kB});
  struct Case {
    uint64_t until;
    size_t aT1, aT2, bT1, bT3;
  };
  const Case cases[] = {
      {rounds.t1 - 1, 0, 0, 0, 0},          // before the first record
      {rounds.t1, 30, 0, 20, 0},            // inclusive: records at exactly the time
      {rounds.t2 + kSecond / 2, 30, 25, 20, 0},
      {rounds.t3 + kSecond, 30, 25, 20, 40},  // past the newest record: everything
  };
  for (const Case& c : cases) {
    RestoreSnapshot();
    uint32_t failing = 99;
    ASSERT_EQ(runtime_.RecoverUntil(names, nullptr, 1, c.until, failing), kNoError);
    EXPECT_EQ(failing, 0u);
    const auto a = Subjects(kA);
    const auto b = Subjects(kB);
    EXPECT_EQ(CountWithPrefix(a, "base"), 2u);
    EXPECT_EQ(CountWithPrefix(a, "t1"), c.aT1) << c.until;
    EXPECT_EQ(CountWithPrefix(a, "t2"), c.aT2) << c.until;
    EXPECT_EQ(CountWithPrefix(b, "t1"), c.bT1) << c.until;
    EXPECT_EQ(CountWithPrefix(b, "t3"), c.bT3) << c.until;
  }

  // A database brought to t2 rolls on up to the minute afterwards.
  RestoreSnapshot();
  uint32_t failing = 0;
  ASSERT_EQ(runtime_.RecoverUntil(names, nullptr, 1, rounds.t2, failing), kNoError);
  ASSERT_EQ(runtime_.Recover(names, nullptr, 1, failing), kNoError);
  EXPECT_EQ(Subjects(kB).size(), 60u);
  EXPECT_EQ(Subjects(kA).size(), 57u);
}

TEST_F(RecoveryTimeTest, ExtentsAfterTheTimeAreNeverAskedFor) {
  StartWithClock();
  ASSERT_EQ(runtime_.CreateDatabase(kA, true, "a", {}), kNoError);
  Snapshot();
  clock_.Advance(milliseconds(1000));
  const uint64_t early = clock_.NowFileTime();
  ASSERT_EQ(runtime_.AddDocuments(kA, Docs("early", 5)), kNoError);
  clock_.Advance(milliseconds(1000));
  // Later records fill extents that are then archived away and lost.
  for (int i = 0; i < 4; ++i) ASSERT_EQ(runtime_.AddDocuments(kA, Docs("late", 20)), kNoError);
  ASSERT_EQ(runtime_.ArchiveBegin(), kNoError);
  LogExtent extent;
  std::vector<uint32_t> archived;
  for (Status s = runtime_.ArchiveFirst(extent); s == kNoError; s = runtime_.ArchiveNext(extent)) {
    archived.push_back(extent.number);
  }
  ASSERT_GE(archived.size(), 2u);
  LogId logId = extent.logId;
  ASSERT_EQ(runtime_.MarkArchivedBatch(logId, {archived.begin() + 1, archived.end()}), kNoError);
  ASSERT_EQ(runtime_.ArchiveEnd(), kNoError);

  RestoreSnapshot();
  int calls = 0;
  auto callback = [&calls](uint32_t, const std::string&) -> Status {
    ++calls;
    return 0xFFFF;
  };
  uint32_t failing = 0;
  ASSERT_EQ(runtime_.RecoverUntil(NameBuffer({kA}), callback, 1, early, failing), kNoError);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(Subjects(kA).size(), 5u);
  // Up to the minute needs the lost extents and fails without writing.
  EXPECT_EQ(runtime_.Recover(NameBuffer({kA}), callback, 1, failing), kLogFilesNotFound);
  EXPECT_GT(calls, 0);
  EXPECT_EQ(Subjects(kA).size(), 5u);
}

TEST_F(RecoveryTimeTest, DatabaseAlreadyPastTheTimeFailsWithItsIndexAndNothingIsWritten) {
  StartWithClock();
  ASSERT_EQ(runtime_.CreateDatabase(kA, true, "a", {}), kNoError);
  ASSERT_EQ(runtime_.CreateDatabase(kB, true, "b", {}), kNoError);
  Snapshot();
  clock_.Advance(milliseconds(1000));
  const uint64_t t1 = clock_.NowFileTime();
  ASSERT_EQ(runtime_.AddDocuments(kA, Docs("t1", 2)), kNoError);
  clock_.Advance(milliseconds(1000));
  ASSERT_EQ(runtime_.AddDocuments(kB, Docs("t2", 2)), kNoError);
  // b as it is now (past t1) is "restored" beside a from the snapshot.
  const fs::path laterB = root_ / "b-later.nsf";
  fs::copy_file(Host(kB), laterB);
  RestoreSnapshot();
  fs::copy_file(laterB, Host(kB), fs::copy_options::overwrite_existing);

  uint32_t failing = 0;
  EXPECT_EQ(runtime_.RecoverUntil(NameBuffer({kA, kB}), nullptr, 1, t1, failing), kPastRecoveryTime);
  EXPECT_EQ(failing, 2u);
  EXPECT_EQ(Subjects(kA).size(), 0u) << "a failed recovery writes nothing";
  EXPECT_NE(runtime_.StatusText(kPastRecoveryTime).find("after the recovery time"), std::string::npos);
  // Without it the other database reaches the time.
  ASSERT_EQ(runtime_.RecoverUntil(NameBuffer({kA}), nullptr, 1, t1, failing), kNoError);
  EXPECT_EQ(Subjects(kA).size(), 2u);
}

TEST_F(RecoveryTimeTest, ClockGoingBackDoesNotReplayRecordsBehindTheStopPoint) {
  StartWithClock();
  ASSERT_EQ(runtime_.CreateDatabase(kA, true, "a", {}), kNoError);
  ASSERT_EQ(runtime_.CreateDatabase(kB, true, "b", {}), kNoError);
  Snapshot();
  const uint64_t start = clock_.NowFileTime();
  clock_.Set(start + 2 * kSecond);
  ASSERT_EQ(runtime_.AddDocuments(kA, Docs("ahead", 3)), kNoError);
  clock_.Set(start + kSecond);  // the clock is set back
  ASSERT_EQ(runtime_.AddDocuments(kB, Docs("behind", 3)), kNoError);

  RestoreSnapshot();
  uint32_t failing = 0;
  ASSERT_EQ(runtime_.RecoverUntil(NameBuffer({kA, kB}), nullptr, 1, start + kSecond, failing), kNoError);
  EXPECT_EQ(Subjects(kA).size(), 0u);
  EXPECT_EQ(Subjects(kB).size(), 0u) << "written after a record past the time";
}

// Frames as the log held them before records carried a time.
std::string FrameWithoutTime(const ChangeRecord& record) {
  codec::Writer payload;
  payload.Id(record.instanceId);
  payload.U64(record.lsn);
  payload.U64(record.seq);
  payload.U8(static_cast<uint8_t>(record.kind));
  payload.U32(record.note.id);
  payload.U16(record.note.noteClass);
  payload.U32(0);
  codec::Writer frame;
  frame.U32(static_cast<uint32_t>(payload.buffer().size()));
  frame.Bytes(payload.buffer());
  frame.U32(codec::Crc32(payload.buffer()));
  frame.U64(record.lsn);
  frame.U32(static_cast<uint32_t>(payload.buffer().size()));
  return frame.buffer();
}

TEST_F(RecoveryTimeTest, RecordsWithoutTimeDecodeAndCountAsOlderThanAnyTime) {
  ChangeRecord old;
  old.lsn = 7;
  old.seq = 3;
  old.note.id = 12;
  old.time = 99;
  ChangeRecord parsed;
  parsed.time = 5;
  size_t consumed = 0;
  const std::string bytes = FrameWithoutTime(old);
  ASSERT_EQ(ParseFrame(bytes, parsed, consumed), FrameResult::Complete);
  EXPECT_EQ(consumed, bytes.size());
  EXPECT_EQ(parsed.time, 0u);
  EXPECT_EQ(parsed.note.id, 12u);

  // A new frame round-trips its time.
  std::string framed;
  AppendFrame(old, framed);
  ASSERT_EQ(ParseFrame(framed, parsed, consumed), FrameResult::Complete);
  EXPECT_EQ(parsed.time, 99u);

  // A log of records of unknown time replays whatever the recovery time.
  StartWithClock();
  ASSERT_EQ(runtime_.CreateDatabase(kA, true, "a", {}), kNoError);
  Snapshot();
  clock_.Set(0);
  ASSERT_EQ(runtime_.AddDocuments(kA, Docs("old", 4)), kNoError);
  uint64_t newest = 1;
  ASSERT_EQ(runtime_.LastLogRecordTime(newest), kNoError);
  EXPECT_EQ(newest, 0u) << "unknown";
  RestoreSnapshot();
  uint32_t failing = 0;
  ASSERT_EQ(runtime_.RecoverUntil(NameBuffer({kA}), nullptr, 1, 1, failing), kNoError);
  EXPECT_EQ(Subjects(kA).size(), 4u);
}

TEST_F(RecoveryTimeTest, NewestRecordTimeOfNewLogAndOfLoggingOff) {
  StartWithClock();
  uint64_t newest = 1;
  ASSERT_EQ(runtime_.LastLogRecordTime(newest), kNoError);
  EXPECT_EQ(newest, 0u) << "no record yet";
  ASSERT_EQ(runtime_.CreateDatabase(kA, true, "a", {}), kNoError);
  // Records that fill the live extent to the brim still give the newest.
  for (int i = 0; i < 6; ++i) {
    clock_.Advance(milliseconds(700));
    ASSERT_EQ(runtime_.AddDocuments(kA, Docs("r", 7)), kNoError);
    ASSERT_EQ(runtime_.LastLogRecordTime(newest), kNoError);
    EXPECT_EQ(newest, clock_.NowFileTime()) << i;
  }
  runtime_.TermRuntime();
  Start({.status = "0"});
  EXPECT_EQ(runtime_.LastLogRecordTime(newest), kLoggingDisabled);
}

}  // namespace
}  // namespace omb::notes::test
