// Commands 104 and 105: pin and unpin a snapshot of the service's machine.
// The arguments come first, then status 1 and the outcome; a read-only
// service answers with a refusal in the outcome, so the client can say why.
#include "remote/commands.h"
#include "remote/limits.h"
#include "remote/pin_records.h"
#include "tools/ombsvc/session.h"

namespace omb::service {

namespace {

bool InBounds(const remote::PinRequest& request) {
  return request.partition >= 1 && request.partition <= static_cast<int>(remote::kMaxPartitions) &&
         request.number >= 1 && request.number <= static_cast<int>(remote::kMaxSnapshots);
}

ops::PinReply Decide(int command, const remote::PinRequest& request, SessionContext& context) {
  if (context.options.readOnly) return {ops::PinStatus::Refused, "The service is read-only."};
  if (!InBounds(request)) {
    return {ops::PinStatus::Refused, "No snapshot " + std::to_string(request.number) + " on partition " +
                                         std::to_string(request.partition) + "."};
  }
  // A backup or restore of this service holds the gate; the run lock taken
  // below also turns away one of another process.
  std::lock_guard<std::mutex> engine(context.engine.mutex);
  return context.operations.SetSnapshotPin(request.partition, request.number, command == remote::kPinSnapshot);
}

}  // namespace

Outcome AnswerPinCommand(int command, remote::WireChannel& channel, SessionContext& context) {
  const remote::PinRequest request = remote::GetPinRequest(channel.reader());
  const ops::PinReply reply = Decide(command, request, context);
  remote::WireWriter out;
  out.Byte(remote::kStatusAccepted);
  remote::PutPinReply(out, reply);
  channel.SendEncoded(out.bytes());
  static const char* const outcomes[] = {"done", "refused", "failed"};
  return {std::string("ok: ") + outcomes[static_cast<int>(reply.status)] + ": " + reply.message};
}

}  // namespace omb::service
