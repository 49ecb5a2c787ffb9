#pragma once
// Upper bounds for everything received over the wire, by either side.
// Each length or count is checked before anything is allocated for it; a
// value beyond its bound (or a negative one) ends the exchange as a lost
// connection ("recv failed"), so a broken or hostile peer can neither make
// us allocate without limit nor loop.
#include <cstddef>

namespace omb::remote {

inline constexpr size_t kMaxNameBytes = 1024;              // names, paths, texts of a record
inline constexpr size_t kMaxTimeTextBytes = 31;            // the 32-byte time fields of a snapshot
inline constexpr size_t kMaxTextBytes = size_t{64} << 20;  // a report's text, one progress piece
inline constexpr size_t kMaxPartitions = 8;
inline constexpr size_t kMaxSnapshots = 64;                // per partition
inline constexpr size_t kMaxReportNames = 100000;

}  // namespace omb::remote
