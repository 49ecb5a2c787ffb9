#pragma once
// Small POSIX descriptor helpers used by every module that writes host
// files or pipes directly.
#include <cstddef>

namespace omb::platform {

// Writes all `size` bytes to `fd`, resuming after short writes and retrying
// writes interrupted by a signal. False on any other failure; regular files
// only return short counts on errors such as a full disk, which the next
// call then reports.
bool WriteAll(int fd, const char* data, size_t size);

}  // namespace omb::platform
