#pragma once
// The decoders the fuzz target drives, chosen by the first byte of an
// input; the seed writer makes one valid input per decoder.
#include <cstdint>

namespace omb::fuzz {

enum Decoder : uint8_t {
  kVldInfo,
  kSnapshotEntry,
  kPartitionInfo,
  kBackupRequest,
  kRestoreRequest,
  kServerList,
  kNameList,
  kFileTime,
  kStream,
  kDecoderCount,
};

}  // namespace omb::fuzz
