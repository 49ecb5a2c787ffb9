#include "platform/locks.h"

#include <filesystem>

#include "platform/durable.h"
#include "platform/paths.h"

namespace omb::platform {

namespace {

constexpr size_t kMaxLockFileName = 200;

// A file name for a Windows object name. Object names such as pipe names
// ignore case, so the name is lower-cased; every character other than a
// letter, digit or '-' becomes '_' ("\\.\PIPE\omb" -> "pipe_omb").
std::string LockFileName(std::string_view name) {
  std::string out;
  for (char c : ToLower(name)) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    if (plain) {
      out += c;
    } else if (!out.empty() && out.back() != '_') {
      out += '_';
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  if (out.size() > kMaxLockFileName) out.resize(kMaxLockFileName);
  return out.empty() ? "_" : out;
}

}  // namespace

NamedLock::NamedLock(std::unique_ptr<FileLock> lock) : lock_(std::move(lock)) {}

NamedLock::~NamedLock() = default;

std::unique_ptr<NamedLock> NamedLock::TryAcquire(std::string_view name) {
  std::filesystem::path folder = MachineRoot() / "locks";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  std::unique_ptr<FileLock> lock = FileLock::TryAcquire(folder / LockFileName(name));
  if (lock == nullptr) return nullptr;
  return std::unique_ptr<NamedLock>(new NamedLock(std::move(lock)));
}

}  // namespace omb::platform
