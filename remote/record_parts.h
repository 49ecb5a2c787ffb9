#pragma once
// What the record codecs of records.cpp and listing_records.cpp share:
// names and lists, each bounded by remote/limits.h when received.
// Internal to remote/.
#include <algorithm>
#include <string>
#include <vector>

#include "remote/limits.h"
#include "remote/wire.h"

namespace omb::remote {

inline std::string GetName(WireReader& in) { return in.String(kMaxNameBytes); }

// A count, then each item.
template <class Item, class PutOne>
void PutList(WireWriter& out, const std::vector<Item>& items, PutOne putOne) {
  out.Int32(static_cast<int32_t>(items.size()));
  for (const Item& item : items) putOne(out, item);
}

// The same for at most `max` items: the rest stay behind, as a receiver
// would refuse the whole list.
template <class Item, class PutOne>
void PutFirst(WireWriter& out, const std::vector<Item>& items, size_t max, PutOne putOne) {
  const size_t count = std::min(items.size(), max);
  out.Int32(static_cast<int32_t>(count));
  for (size_t index = 0; index < count; ++index) putOne(out, items[index]);
}

// A count of at most `max`, then that many items.
template <class GetOne>
auto GetList(WireReader& in, size_t max, GetOne getOne) {
  const size_t count = in.Count(max);
  std::vector<decltype(getOne(in))> items;
  for (size_t index = 0; index < count; ++index) items.push_back(getOne(in));
  return items;
}

}  // namespace omb::remote
