// Commands 100 and 101, for ombctl: the snapshot details and the health of
// the service's machine. Both run the Notes runtime, so they take the
// engine gate as a listing does; the reply follows status 1 at once.
#include "remote/commands.h"
#include "remote/listing_records.h"
#include "tools/ombsvc/session.h"

namespace omb::service {

Outcome AnswerListSnapshots(remote::WireChannel& channel, SessionContext& context) {
  std::vector<ops::SnapshotDetails> list;
  int result = 0;
  {
    std::lock_guard<std::mutex> engine(context.engine.mutex);
    result = context.operations.ListSnapshots(list);
  }
  remote::WireWriter out;
  out.Byte(remote::kStatusAccepted);
  out.Int32(result);
  remote::PutSnapshotDetailsList(out, list);
  channel.SendEncoded(out.bytes());
  return {"ok: " + std::to_string(list.size()) + " snapshots"};
}

Outcome AnswerMachineStatus(remote::WireChannel& channel, SessionContext& context) {
  ops::MachineStatus status;
  {
    std::lock_guard<std::mutex> engine(context.engine.mutex);
    context.operations.MachineState(status);
  }
  remote::WireWriter out;
  out.Byte(remote::kStatusAccepted);
  remote::PutMachineStatus(out, status);
  channel.SendEncoded(out.bytes());
  return {"ok: " + std::to_string(status.servers.size()) + " servers"};
}

}  // namespace omb::service
