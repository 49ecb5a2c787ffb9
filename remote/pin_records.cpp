#include "remote/pin_records.h"

#include "remote/wire.h"

namespace omb::remote {

void PutPinRequest(WireWriter& out, const PinRequest& request) {
  out.Int32(request.partition);
  out.Int32(request.number);
}

PinRequest GetPinRequest(WireReader& in) {
  PinRequest request;
  request.partition = in.Int32();
  request.number = in.Int32();
  return request;
}

void PutPinReply(WireWriter& out, const ops::PinReply& reply) {
  out.Int32(static_cast<int32_t>(reply.status));
  out.String(reply.message.substr(0, kMaxPinMessageBytes));
}

ops::PinReply GetPinReply(WireReader& in) {
  ops::PinReply reply;
  const int32_t status = in.Int32();
  if (status < 0 || status > static_cast<int32_t>(ops::PinStatus::Failed)) throw SocketFailure(kRecvFailed);
  reply.status = static_cast<ops::PinStatus>(status);
  reply.message = in.String(kMaxPinMessageBytes);
  return reply;
}

}  // namespace omb::remote
