#pragma once
// Machine-wide named locks: a non-blocking exclusive FileLock
// (platform/durable.h) on a file in $OMB_MACHINE/locks/. Held while the
// object lives; the kernel releases it when the process ends, however it
// ends. A second acquire of the same name fails, in another process and in
// the same one.
#include <memory>
#include <string>
#include <string_view>

namespace omb::platform {

class FileLock;

class NamedLock {
 public:
  ~NamedLock();
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;
  // name is the Windows object name, e.g. "\\\\.\\PIPE\\omb".
  static std::unique_ptr<NamedLock> TryAcquire(std::string_view name);

 private:
  explicit NamedLock(std::unique_ptr<FileLock> lock);
  std::unique_ptr<FileLock> lock_;
};

}  // namespace omb::platform
