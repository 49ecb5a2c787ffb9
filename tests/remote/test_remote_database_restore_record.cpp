// The request of command 103 on the wire: every field round trips, and a
// receiver refuses what no client sends before it allocates or runs.
#include <gtest/gtest.h>

#include "remote/database_restore_record.h"
#include "remote/limits.h"

namespace omb::test {
namespace {

using remote::BufferSource;
using remote::SocketFailure;
using remote::WireReader;
using remote::WireWriter;

ops::DatabaseRestoreRequest Sample() {
  ops::DatabaseRestoreRequest request;
  request.partition = 3;
  request.snapshotNumber = 12;
  request.database = "mail\\user1.nsf";
  request.target = "E:\\Lotus\\Domino\\Data\\mail\\back.nsf";
  request.replace = true;
  request.point = restore::RecoveryPoint::UntilTime;
  request.untilTime = 0x01DC1234ABCDEF01ull;
  return request;
}

std::string Encoded(const ops::DatabaseRestoreRequest& request) {
  WireWriter out;
  remote::PutDatabaseRestoreRequest(out, request);
  return out.Take();
}

std::string Failure(const std::string& bytes) {
  BufferSource source(bytes);
  WireReader reader(source);
  try {
    remote::GetDatabaseRestoreRequest(reader);
  } catch (const SocketFailure& failure) {
    return failure.text();
  }
  return "";
}

TEST(DatabaseRestoreRecord, EveryFieldRoundTrips) {
  const std::string bytes = Encoded(Sample());
  BufferSource source(bytes);
  WireReader reader(source);
  const ops::DatabaseRestoreRequest got = remote::GetDatabaseRestoreRequest(reader);
  EXPECT_EQ(source.remaining(), 0u);
  EXPECT_EQ(got.partition, 3);
  EXPECT_EQ(got.snapshotNumber, 12);
  EXPECT_EQ(got.database, "mail\\user1.nsf");
  EXPECT_EQ(got.target, "E:\\Lotus\\Domino\\Data\\mail\\back.nsf");
  EXPECT_TRUE(got.replace);
  EXPECT_EQ(got.point, restore::RecoveryPoint::UntilTime);
  EXPECT_EQ(got.untilTime, 0x01DC1234ABCDEF01ull);
}

TEST(DatabaseRestoreRecord, ReceiverRefusesWhatNoClientSends) {
  ops::DatabaseRestoreRequest request = Sample();
  request.partition = 0;
  EXPECT_EQ(Failure(Encoded(request)), remote::kRecvFailed);
  request = Sample();
  request.partition = 9;
  EXPECT_EQ(Failure(Encoded(request)), remote::kRecvFailed);
  request = Sample();
  request.database.assign(remote::kMaxNameBytes + 1, 'x');
  EXPECT_EQ(Failure(Encoded(request)), remote::kRecvFailed);
  std::string unknownPoint = Encoded(Sample());
  unknownPoint[unknownPoint.size() - 9] = 3;  // the point byte, before the two time words
  EXPECT_EQ(Failure(unknownPoint), remote::kRecvFailed);
  // A request cut short is a peer that went away.
  EXPECT_EQ(Failure(Encoded(Sample()).substr(0, 10)), remote::kPeerClosed);
}

}  // namespace
}  // namespace omb::test
