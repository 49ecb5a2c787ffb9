// The replies of the listing commands on the wire: what goes out comes
// back, named lists are cut at their bound while their counts stay whole,
// and a count beyond a bound is refused before anything is allocated.
#include <gtest/gtest.h>

#include "remote/limits.h"
#include "remote/listing_records.h"
#include "remote/pin_records.h"

namespace omb::remote {
namespace {

ops::SnapshotDetails SampleSnapshot() {
  ops::SnapshotDetails details;
  details.partition = 2;
  details.server = "Mail2/Sales/Acme";
  details.name = "DOMINOSNAP__DOMSRV01__MAIL2__RECENT";
  details.number = 1;
  details.creationTime = 0x01D9'1234'5678'9ABCull;
  details.complete = true;
  details.logHint = true;
  details.firstLog = 7;
  details.lastLog = 0x8000'0001u;  // beyond int32: travels as its bits
  details.logSeries = "0a1b2c3d";
  details.seriesCurrent = true;
  for (uint32_t number = 7; number < 107; ++number) details.missingLogs.push_back(number);
  details.missingCount = 100;
  details.pinned = true;
  return details;
}

ops::MachineStatus SampleStatus() {
  ops::MachineStatus status;
  status.machineName = "DOMSRV01";
  status.now = 0x01DA'0000'0000'0001ull;
  status.discoveryResult = 0;
  status.vaultinfoDrive = 'V';
  status.vaultinfoFreeMegabytes = int64_t{5} << 33;
  ops::ServerStatus server;
  server.partition = 1;
  server.server = "Mail1/Sales/Acme";
  server.logStyle = "Archive";
  server.snapshots = 3;
  server.incompleteSnapshots = 1;
  server.newestComplete = "DOMINOSNAP__DOMSRV01__MAIL1__RECENT";
  server.newestCompleteTime = 0x01D9'0000'0000'0002ull;
  server.databasesInBackup = 70;
  for (int index = 0; index < 70; ++index) server.backupModeDatabases.push_back("E:\\d" + std::to_string(index) + ".nsf");
  server.extentsWaiting = -1;
  server.logDrive = 'F';
  server.logFreeMegabytes = -1;
  status.servers = {server};
  return status;
}

TEST(ListingRecords, SnapshotDetailsComeBackWithTheNamedMissingLogsCut) {
  WireWriter out;
  PutSnapshotDetailsList(out, {SampleSnapshot()});
  BufferSource source(out.bytes());
  WireReader in(source);
  const std::vector<ops::SnapshotDetails> list = GetSnapshotDetailsList(in);
  EXPECT_EQ(source.remaining(), 0u);
  ASSERT_EQ(list.size(), 1u);
  const ops::SnapshotDetails& got = list[0];
  const ops::SnapshotDetails sent = SampleSnapshot();
  EXPECT_EQ(got.server, sent.server);
  EXPECT_EQ(got.name, sent.name);
  EXPECT_EQ(got.number, 1);
  EXPECT_EQ(got.creationTime, sent.creationTime);
  EXPECT_EQ(got.lastLog, sent.lastLog);
  EXPECT_EQ(got.logSeries, sent.logSeries);
  EXPECT_TRUE(got.complete && got.logHint && got.seriesCurrent);
  EXPECT_FALSE(got.logsPresent);
  EXPECT_TRUE(got.pinned);
  EXPECT_EQ(got.missingCount, 100u);
  ASSERT_EQ(got.missingLogs.size(), ops::kMaxListedItems);
  EXPECT_EQ(got.missingLogs.front(), 7u);
}

TEST(ListingRecords, MachineStatusComesBackWithUnknownFiguresKept) {
  WireWriter out;
  PutMachineStatus(out, SampleStatus());
  BufferSource source(out.bytes());
  WireReader in(source);
  const ops::MachineStatus got = GetMachineStatus(in);
  EXPECT_EQ(source.remaining(), 0u);
  EXPECT_EQ(got.machineName, "DOMSRV01");
  EXPECT_EQ(got.now, SampleStatus().now);
  EXPECT_EQ(got.vaultinfoDrive, 'V');
  EXPECT_EQ(got.vaultinfoFreeMegabytes, int64_t{5} << 33);
  ASSERT_EQ(got.servers.size(), 1u);
  const ops::ServerStatus& server = got.servers[0];
  EXPECT_EQ(server.databasesInBackup, 70);
  EXPECT_EQ(server.backupModeDatabases.size(), ops::kMaxListedItems);
  EXPECT_EQ(server.extentsWaiting, -1);
  EXPECT_EQ(server.logFreeMegabytes, -1);
  EXPECT_EQ(server.logDrive, 'F');
  EXPECT_EQ(server.newestCompleteTime, SampleStatus().servers[0].newestCompleteTime);
}

TEST(PinRecords, RequestAndReplyComeBackAndALongMessageIsCut) {
  WireWriter out;
  PutPinRequest(out, {3, 17});
  PutPinReply(out, {ops::PinStatus::Refused, std::string(kMaxPinMessageBytes + 10, 'x')});
  BufferSource source(out.bytes());
  WireReader in(source);
  const PinRequest request = GetPinRequest(in);
  EXPECT_EQ(request.partition, 3);
  EXPECT_EQ(request.number, 17);
  const ops::PinReply reply = GetPinReply(in);
  EXPECT_EQ(reply.status, ops::PinStatus::Refused);
  EXPECT_EQ(reply.message.size(), kMaxPinMessageBytes);
  EXPECT_EQ(source.remaining(), 0u);
}

TEST(PinRecords, UnknownOutcomeIsRefused) {
  for (int32_t outcome : {-1, 3}) {
    WireWriter out;
    out.Int32(outcome);
    out.String("done");
    BufferSource source(out.bytes());
    WireReader in(source);
    EXPECT_THROW(GetPinReply(in), SocketFailure) << outcome;
  }
}

TEST(ListingRecords, CountsBeyondTheirBoundsAndCutRepliesAreRefused) {
  const auto refused = [](const std::string& bytes, auto decode) {
    BufferSource source(bytes);
    WireReader in(source);
    EXPECT_THROW(decode(in), SocketFailure);
  };
  WireWriter tooMany;
  tooMany.Int32(static_cast<int32_t>(kMaxPartitions * kMaxSnapshots + 1));
  refused(tooMany.bytes(), [](WireReader& in) { GetSnapshotDetailsList(in); });
  WireWriter negative;
  negative.Int32(-1);
  refused(negative.bytes(), [](WireReader& in) { GetSnapshotDetailsList(in); });

  WireWriter status;
  PutMachineStatus(status, SampleStatus());
  const std::string whole = status.bytes();
  refused(whole.substr(0, whole.size() - 1), [](WireReader& in) { GetMachineStatus(in); });

  WireWriter nineServers;
  ops::MachineStatus many = SampleStatus();
  PutMachineStatus(nineServers, many);
  std::string bytes = nineServers.bytes();
  // The server count follows name, now, result, drive and free space.
  const size_t countAt = 4 + many.machineName.size() + 8 + 4 + 1 + 8;
  ASSERT_EQ(bytes[countAt], 1);
  bytes[countAt] = 9;
  refused(bytes, [](WireReader& in) { GetMachineStatus(in); });
}

}  // namespace
}  // namespace omb::remote
