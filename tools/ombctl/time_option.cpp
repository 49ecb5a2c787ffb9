#include "tools/ombctl/time_option.h"

#include "platform/system.h"

namespace omb::ctl {

bool ParseLocalTime(const std::string& text, uint64_t& fileTime) {
  const std::optional<uint64_t> parsed = platform::ParseLocalTimeText(text);
  if (!parsed) return false;
  fileTime = *parsed;
  return true;
}

}  // namespace omb::ctl
