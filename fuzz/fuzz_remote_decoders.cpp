// libFuzzer target over every decoder of the wire protocol. An input is a
// selector byte and the bytes a peer would send. Each decoder must either
// succeed or throw SocketFailure; a decoded record, encoded again, must
// decode to the same bytes (what a decoder accepts it also reproduces).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_decoders.h"
#include "remote/commands.h"
#include "remote/limits.h"
#include "remote/records.h"

namespace {

using namespace omb;
using namespace omb::remote;

// Decodes and re-encodes one record of the selected kind.
std::string DecodeAndEncode(uint8_t decoder, WireReader& in) {
  WireWriter out;
  switch (decoder) {
    case fuzz::kVldInfo:
      PutVldInfo(out, GetVldInfo(in));
      break;
    case fuzz::kSnapshotEntry:
      PutSnapshotEntry(out, GetSnapshotEntry(in));
      break;
    case fuzz::kPartitionInfo:
      PutPartitionInfo(out, GetPartitionInfo(in));
      break;
    case fuzz::kBackupRequest:
      PutBackupRequest(out, GetBackupRequest(in));
      break;
    case fuzz::kRestoreRequest: {
      restore::RestoreJob job;
      GetRestoreRequest(in, job);
      PutRestoreRequest(out, job);
      break;
    }
    case fuzz::kServerList: {
      ServerList list;
      GetServerList(in, list);
      PutServerList(out, list);
      break;
    }
    case fuzz::kNameList:
      PutNameList(out, GetNameList(in));
      break;
    case fuzz::kFileTime:
      out.Int32(in.Int32());
      out.Int32(in.Int32());
      break;
    case fuzz::kStream:
      // A streamed reply: strings until "done".
      for (;;) {
        std::string line = in.String(kMaxTextBytes);
        out.String(line);
        if (line == kStreamDone) break;
      }
      break;
  }
  return out.Take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t decoder = data[0] % fuzz::kDecoderCount;
  std::string first;
  size_t consumed = 0;
  try {
    BufferSource source(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    WireReader in(source);
    first = DecodeAndEncode(decoder, in);
    consumed = size - 1 - source.remaining();
  } catch (const SocketFailure& failure) {
    if (!failure.Is(kRecvFailed) && !failure.Is(kPeerClosed)) std::abort();
    return 0;
  }
  // Text that is not UTF-8 widens when encoded again and may then pass a
  // bound; anything else must decode and encode to the very same bytes.
  try {
    BufferSource again(first);
    WireReader in(again);
    if (DecodeAndEncode(decoder, in) != first || again.remaining() != 0) std::abort();
  } catch (const SocketFailure& failure) {
    if (!failure.Is(kRecvFailed) || first.size() <= consumed) std::abort();
  }
  return 0;
}
