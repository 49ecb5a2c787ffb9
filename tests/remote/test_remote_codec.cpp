// The wire encoding on byte buffers: the bytes of each primitive, record
// round trips field by field, the receiver's rules (flags, onVld, the
// signed partition byte, reserved values) and every bound.
#include <gtest/gtest.h>

#include "remote/limits.h"
#include "remote/records.h"
#include "tests/remote/record_compare.h"
#include "tests/remote/sample_records.h"

namespace omb::test {
namespace {

using remote::BufferSource;
using remote::SocketFailure;
using remote::WireReader;
using remote::WireWriter;

// Decodes with `get` and expects every byte to be used.
template <typename Get>
auto Decode(const std::string& bytes, Get get) {
  BufferSource source(bytes);
  WireReader reader(source);
  auto value = get(reader);
  EXPECT_EQ(source.remaining(), 0u);
  return value;
}

// The failure text a decode of `bytes` ends with ("" when it succeeds).
template <typename Get>
std::string DecodeFailure(const std::string& bytes, Get get) {
  BufferSource source(bytes);
  WireReader reader(source);
  try {
    get(reader);
  } catch (const SocketFailure& failure) {
    return failure.text();
  }
  return "";
}

std::string Int32Bytes(int32_t value) {
  WireWriter out;
  out.Int32(value);
  return out.Take();
}

TEST(RemoteCodec, PrimitivesHaveTheirWireBytes) {
  WireWriter out;
  out.Int32(0x01020304);
  out.Int32(-2);
  out.String("");
  out.String("ab");
  out.Flag(true);
  out.Flag(false);
  EXPECT_EQ(out.bytes(), std::string("\x04\x03\x02\x01\xFE\xFF\xFF\xFF"
                                     "\0\0\0\0"
                                     "\x02\0\0\0ab\x01\x00",
                                     20));
  BufferSource source(out.bytes());
  WireReader in(source);
  EXPECT_EQ(in.Int32(), 0x01020304);
  EXPECT_EQ(in.Int32(), -2);
  EXPECT_EQ(in.String(10), "");
  EXPECT_EQ(in.String(10), "ab");
  EXPECT_TRUE(in.Flag());
  EXPECT_FALSE(in.Flag());
}

TEST(RemoteCodec, WideTextTravelsAsNarrowText) {
  WireWriter out;
  out.Wide(u"Gr\u00FC\u00DFe");
  BufferSource source(out.bytes());
  WireReader in(source);
  EXPECT_EQ(in.Wide(100), u"Gr\u00FC\u00DFe");
}

TEST(RemoteCodec, AnyNonZeroByteIsATrueFlagButOnVldNeedsOne) {
  EXPECT_TRUE(Decode(std::string("\x07", 1), [](WireReader& in) { return in.Flag(); }));
  VldInfo disk = SampleDisk('E', "v");
  WireWriter out;
  remote::PutVldInfo(out, disk);
  std::string bytes = out.Take();
  bytes[4 + 4 + disk.volumePath.size() + 4 + disk.storagePath.size()] = 2;  // the onVld byte
  EXPECT_FALSE(Decode(bytes, remote::GetVldInfo).onVld);
}

TEST(RemoteCodec, RecordsRoundTripFieldByField) {
  const PartitionInfo server = SamplePartition(3, 5);
  WireWriter out;
  remote::PutPartitionInfo(out, server);
  ExpectSamePartition(Decode(out.bytes(), remote::GetPartitionInfo), server);

  ServerList list;
  list.machineName = "DOMSRV01";
  list.partitioned = true;
  for (int n = 1; n <= 8; ++n) list.servers.push_back(SamplePartition(n, n));
  WireWriter listOut;
  remote::PutServerList(listOut, list);
  ServerList received = Decode(listOut.bytes(), [](WireReader& in) {
    ServerList decoded;
    remote::GetServerList(in, decoded);
    return decoded;
  });
  EXPECT_EQ(received.machineName, "DOMSRV01");
  EXPECT_TRUE(received.partitioned);
  ASSERT_EQ(received.servers.size(), 8u);
  for (size_t i = 0; i < 8; ++i) ExpectSamePartition(received.servers[i], list.servers[i]);
  EXPECT_EQ(received.byServerName.at("Mail2/Sales/Acme").partitionNumber, 2);

  const std::vector<std::string> names = {"04-07-2003_13.05.09.txt", "", "x"};
  WireWriter namesOut;
  remote::PutNameList(namesOut, names);
  EXPECT_EQ(Decode(namesOut.bytes(), remote::GetNameList), names);
}

TEST(RemoteCodec, FieldsThatDoNotTravelStayInitial) {
  PartitionInfo server = SamplePartition(1, 0);
  server.dataPathValueName = "PARTITION1";
  server.logEnabled = true;
  server.logPathRelative = 1;
  server.dominoVersion = 6;
  WireWriter out;
  remote::PutPartitionInfo(out, server);
  const PartitionInfo received = Decode(out.bytes(), remote::GetPartitionInfo);
  EXPECT_EQ(received.dataPathValueName, "");
  EXPECT_FALSE(received.logEnabled);
  EXPECT_EQ(received.logPathRelative, 0);
  EXPECT_EQ(received.dominoVersion, 0u);
}

TEST(RemoteCodec, NoSnapshotsTravelAsCountZeroAndNothingAfter) {
  WireWriter out;
  remote::PutPartitionInfo(out, SamplePartition(1, 0));
  ASSERT_GE(out.bytes().size(), 4u);
  EXPECT_EQ(out.bytes().substr(out.bytes().size() - 4), Int32Bytes(0));
  EXPECT_TRUE(Decode(out.bytes(), remote::GetPartitionInfo).snapshots.empty());
}

TEST(RemoteCodec, PartitionNumberTravelsAsItsLowByteAndReturnsSigned) {
  WireWriter out;
  remote::PutPartitionInfo(out, SamplePartition(0x1C8, 0));  // low byte 0xC8
  EXPECT_EQ(static_cast<uint8_t>(out.bytes()[0]), 0xC8);
  EXPECT_EQ(Decode(out.bytes(), remote::GetPartitionInfo).partitionNumber, -56);
}

TEST(RemoteCodec, RestoreRequestKeepsItsReservedValues) {
  restore::RestoreJob job;
  job.server = SamplePartition(2, 1);
  job.snapshot = SampleSnapshot(7);
  job.pointInTime = 5;  // any non-zero is point in time
  job.reserved1 = 7;
  job.reserved2 = 0xFE;
  job.reservedValue = 0xDEADBEEF;
  WireWriter out;
  remote::PutRestoreRequest(out, job);
  restore::RestoreJob received;
  Decode(out.bytes(), [&](WireReader& in) {
    remote::GetRestoreRequest(in, received);
    return 0;
  });
  ExpectSamePartition(received.server, job.server);
  ExpectSameSnapshot(received.snapshot, job.snapshot);
  EXPECT_EQ(received.pointInTime, 1);
  EXPECT_EQ(received.reserved1, 7);
  EXPECT_EQ(received.reserved2, 0xFE);
  EXPECT_EQ(received.reservedValue, 0xDEADBEEFu);
}

TEST(RemoteCodec, BackupRequestRoundTrips) {
  remote::BackupRequest request{true, 10, false, true, "Nightly backup"};
  WireWriter out;
  remote::PutBackupRequest(out, request);
  const remote::BackupRequest received = Decode(out.bytes(), remote::GetBackupRequest);
  EXPECT_TRUE(received.deleteExcess);
  EXPECT_EQ(received.keepCount, 10);
  EXPECT_FALSE(received.runNow);
  EXPECT_TRUE(received.replaceExistingJob);
  EXPECT_EQ(received.jobName, "Nightly backup");
}

TEST(RemoteCodec, APeerThatStopsMidItemClosedTheSocket) {
  const std::string int32 = Int32Bytes(77);
  EXPECT_EQ(DecodeFailure(int32.substr(0, 2), [](WireReader& in) { return in.Int32(); }),
            remote::kPeerClosed);
  WireWriter out;
  out.String("a longer text");
  EXPECT_EQ(DecodeFailure(out.bytes().substr(0, 9), [](WireReader& in) { return in.String(100); }),
            remote::kPeerClosed);
  WireWriter record;
  remote::PutPartitionInfo(record, SamplePartition(1, 3));
  for (size_t cut : {size_t{0}, size_t{1}, record.bytes().size() / 2, record.bytes().size() - 1}) {
    EXPECT_EQ(DecodeFailure(record.bytes().substr(0, cut), remote::GetPartitionInfo), remote::kPeerClosed)
        << cut;
  }
}

TEST(RemoteCodec, LengthsAndCountsBeyondTheirBoundsAreRecvFailed) {
  const auto name = [](WireReader& in) { return in.String(remote::kMaxNameBytes); };
  EXPECT_EQ(DecodeFailure(Int32Bytes(-1), name), remote::kRecvFailed);
  EXPECT_EQ(DecodeFailure(Int32Bytes(INT32_MIN), name), remote::kRecvFailed);
  EXPECT_EQ(DecodeFailure(Int32Bytes(1025), name), remote::kRecvFailed);
  // A length within bounds that no data follows allocates nothing first.
  EXPECT_EQ(DecodeFailure(Int32Bytes(int32_t{64} << 20),
                          [](WireReader& in) { return in.String(remote::kMaxTextBytes); }),
            remote::kPeerClosed);
  EXPECT_EQ(DecodeFailure(Int32Bytes((int32_t{64} << 20) + 1),
                          [](WireReader& in) { return in.String(remote::kMaxTextBytes); }),
            remote::kRecvFailed);

  ServerList nine;
  for (int n = 1; n <= 9; ++n) nine.servers.push_back(SamplePartition(n, 0));
  WireWriter listOut;
  remote::PutServerList(listOut, nine);
  EXPECT_EQ(DecodeFailure(listOut.bytes(),
                          [](WireReader& in) {
                            ServerList list;
                            remote::GetServerList(in, list);
                            return list.count();
                          }),
            remote::kRecvFailed);

  WireWriter many;
  remote::PutPartitionInfo(many, SamplePartition(1, 65));
  EXPECT_EQ(DecodeFailure(many.bytes(), remote::GetPartitionInfo), remote::kRecvFailed);
  WireWriter enough;
  remote::PutPartitionInfo(enough, SamplePartition(1, 64));
  EXPECT_EQ(Decode(enough.bytes(), remote::GetPartitionInfo).snapshots.size(), 64u);

  EXPECT_EQ(DecodeFailure(Int32Bytes(100001), remote::GetNameList), remote::kRecvFailed);
}

TEST(RemoteCodec, TimeTextsMustFitTheirFieldsAndDriveLettersBeAscii) {
  SnapshotEntry entry = SampleSnapshot(1);
  entry.timeText = std::string(31, '9');
  WireWriter fits;
  remote::PutSnapshotEntry(fits, entry);
  EXPECT_EQ(Decode(fits.bytes(), remote::GetSnapshotEntry).timeText, entry.timeText);
  entry.timeText += "9";
  WireWriter tooLong;
  remote::PutSnapshotEntry(tooLong, entry);
  EXPECT_EQ(DecodeFailure(tooLong.bytes(), remote::GetSnapshotEntry), remote::kRecvFailed);

  for (int32_t letter : {0x100, -1, 0x80}) {
    WireWriter out;
    remote::PutVldInfo(out, SampleDisk('E', "v"));
    std::string bytes = out.Take();
    bytes.replace(0, 4, Int32Bytes(letter));
    EXPECT_EQ(DecodeFailure(bytes, remote::GetVldInfo), remote::kRecvFailed) << letter;
  }
}

TEST(RemoteCodec, TheSnapshotComponentNameIsKeptWhole) {
  SnapshotEntry entry = SampleSnapshot(1);
  ASSERT_GT(entry.component.name.size(), 32u);
  WireWriter out;
  remote::PutSnapshotEntry(out, entry);
  EXPECT_EQ(Decode(out.bytes(), remote::GetSnapshotEntry).component.name, entry.component.name);
}

}  // namespace
}  // namespace omb::test
