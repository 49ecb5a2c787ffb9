// Commands 104 and 105: pinning a snapshot of the service's machine.
#include "remote/commands.h"
#include "remote/pin_records.h"
#include "remote/remote_client.h"

namespace omb::remote {

ops::PinReply RemoteClient::SetSnapshotPin(int partition, int number, bool pinned) {
  WireChannel channel = Open();
  WireWriter arguments;
  PutPinRequest(arguments, {partition, number});
  SendCommand(channel, pinned ? kPinSnapshot : kUnpinSnapshot, arguments.bytes());
  RequireListingStatus(channel, pinned ? "Pinning snapshots" : "Unpinning snapshots");
  ops::PinReply reply = GetPinReply(channel.reader());
  CloseExchange(channel);
  return reply;
}

}  // namespace omb::remote
