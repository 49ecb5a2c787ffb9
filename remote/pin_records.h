#pragma once
// Commands 104 (pin) and 105 (unpin): the request (int32 partition, int32
// snapshot number) and the reply after status 1 (int32 outcome 0..2, string
// message). Get* check every value against its bound, as the other records do.
#include "operations/operations.h"
#include "remote/wire.h"

namespace omb::remote {

// The longest message a pin reply carries; a longer one is cut there.
inline constexpr size_t kMaxPinMessageBytes = 4096;

struct PinRequest {
  int partition = 0;
  int number = 0;
};

void PutPinRequest(WireWriter& out, const PinRequest& request);
PinRequest GetPinRequest(WireReader& in);

void PutPinReply(WireWriter& out, const ops::PinReply& reply);
ops::PinReply GetPinReply(WireReader& in);

}  // namespace omb::remote
