#include "remote/database_restore_record.h"

#include "remote/limits.h"

namespace omb::remote {

void PutDatabaseRestoreRequest(WireWriter& out, const ops::DatabaseRestoreRequest& request) {
  out.Int32(request.partition);
  out.Int32(request.snapshotNumber);
  out.String(request.database);
  out.String(request.target);
  out.Flag(request.replace);
  out.Byte(static_cast<uint8_t>(request.point));
  out.Int32(static_cast<int32_t>(request.untilTime & 0xFFFFFFFFu));
  out.Int32(static_cast<int32_t>(request.untilTime >> 32));
}

ops::DatabaseRestoreRequest GetDatabaseRestoreRequest(WireReader& in) {
  ops::DatabaseRestoreRequest request;
  request.partition = in.Int32();
  request.snapshotNumber = in.Int32();
  request.database = in.String(kMaxNameBytes);
  request.target = in.String(kMaxNameBytes);
  request.replace = in.Flag();
  const uint8_t point = in.Byte();
  const uint32_t low = static_cast<uint32_t>(in.Int32());
  const uint32_t high = static_cast<uint32_t>(in.Int32());
  if (request.partition < 1 || request.partition > static_cast<int>(kMaxPartitions) || point > 2) {
    throw SocketFailure(kRecvFailed);
  }
  request.point = static_cast<restore::RecoveryPoint>(point);
  request.untilTime = static_cast<uint64_t>(high) << 32 | low;
  return request;
}

}  // namespace omb::remote
