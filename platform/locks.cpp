#include "platform/locks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

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

NamedLock::NamedLock(int fd) : fd_(fd) {}

NamedLock::~NamedLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<NamedLock> NamedLock::TryAcquire(std::string_view name) {
  std::filesystem::path folder = MachineRoot() / "locks";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  std::filesystem::path file = folder / LockFileName(name);
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  // Each open is its own file description, so a second acquire conflicts
  // even inside this process. The file is never removed: removing it would
  // let two holders lock two different files of the same name.
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<NamedLock>(new NamedLock(fd));
}

}  // namespace omb::platform
