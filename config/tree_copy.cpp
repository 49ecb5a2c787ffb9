#include "config/tree_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "platform/file_faults.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix_io.h"
#include "platform/system.h"

namespace omb::config {

namespace fs = std::filesystem;

namespace {

constexpr size_t kCompareChunk = 1 << 20;

using Fd = platform::FileDescriptor;

int Win32FromErrno(int error) {
  switch (error) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES: case EPERM: case EISDIR: case EROFS: return 5;
    case EMFILE: case ENFILE: return 4;
    case ENOMEM: return 8;
    case EBUSY: case ETXTBSY: return 32;
    case EEXIST: return 183;
    case ENOSPC: case EDQUOT: return 112;
    case ENAMETOOLONG: return 206;
    case EIO: return 1117;
    default: return 87;
  }
}

// Reads up to size bytes; fewer only at the end of the file.
ssize_t ReadFully(int fd, char* data, size_t size, off_t offset) {
  size_t total = 0;
  while (total < size) {
    ssize_t got = ::pread(fd, data + total, size - total, offset + static_cast<off_t>(total));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(total);
}

class Copier {
 public:
  Copier(const std::string& sourceRoot, const std::string& destinationRoot, const std::function<void()>& onFile,
         CopyFailure& failure, CopyMode mode)
      : sourceRoot_(sourceRoot), destinationRoot_(destinationRoot), onFile_(onFile), failure_(failure), mode_(mode) {}

  bool Run(const std::vector<TreeEntry>& entries) {
    const fs::path sourceHost = platform::HostPath(sourceRoot_);
    const fs::path targetHost = platform::HostPath(destinationRoot_);
    if (!AddFolder("", targetHost)) return Fail(sourceRoot_, destinationRoot_, ErrnoText(errno));
    for (const TreeEntry& entry : entries) {
      const bool ok = entry.isDirectory ? CopyFolder(entry.relative) : CopyFile(sourceHost, entry.relative);
      if (!ok) return false;
    }
    return Flush();
  }

 private:
  // A destination folder: its host path and the names it held before the
  // copy, by upper-case name, so that a file or folder of the same name in
  // other letter case is reused, as Windows would.
  struct Folder {
    fs::path host;
    std::map<std::string, std::string> existing;
  };

  bool Fail(const std::string& source, const std::string& target, const std::string& reason) {
    failure_ = {source, target, reason};
    return false;
  }

  static std::string ParentOf(const std::string& relative) {
    size_t cut = relative.rfind('\\');
    return cut == std::string::npos ? std::string() : relative.substr(0, cut);
  }
  static std::string NameOf(const std::string& relative) {
    size_t cut = relative.rfind('\\');
    return cut == std::string::npos ? relative : relative.substr(cut + 1);
  }
  std::string SourcePath(const std::string& relative) const { return platform::JoinPath(sourceRoot_, relative); }
  std::string TargetPath(const std::string& relative) const {
    return platform::JoinPath(destinationRoot_, relative);
  }

  bool AddFolder(const std::string& relative, const fs::path& host) {
    struct stat info {};
    if (::stat(host.c_str(), &info) != 0) return false;
    devices_.insert(info.st_dev);
    Folder folder{host, {}};
    std::vector<platform::DirEntry> listing;
    if (platform::ListDirectory(platform::WindowsPath(host), listing) == 0) {
      for (const platform::DirEntry& entry : listing) folder.existing[platform::ToUpper(entry.name)] = entry.name;
    }
    folders_[platform::ToUpper(relative)] = std::move(folder);
    return true;
  }

  // The host path for a name in a destination folder: the existing entry
  // of that name in any case, else the name as the source spells it.
  fs::path TargetHost(const Folder& folder, const std::string& name) const {
    auto found = folder.existing.find(platform::ToUpper(name));
    return folder.host / (found != folder.existing.end() ? found->second : name);
  }

  const Folder& FolderOf(const std::string& relative) const {
    return folders_.at(platform::ToUpper(ParentOf(relative)));
  }

  bool CopyFolder(const std::string& relative) {
    const fs::path host = TargetHost(FolderOf(relative), NameOf(relative));
    if (platform::MakeDirectory(host) != 0 && errno != EEXIST) {
      return Fail(SourcePath(relative), TargetPath(relative), ErrnoText(errno));
    }
    if (!AddFolder(relative, host)) return Fail(SourcePath(relative), TargetPath(relative), ErrnoText(errno));
    return true;
  }

  bool CopyFile(const fs::path& sourceHost, const std::string& relative) {
    const fs::path from = sourceHost / fs::path(RelativeHost(relative));
    const fs::path to = TargetHost(FolderOf(relative), NameOf(relative));
    std::string reason;
    if (mode_ == CopyMode::ChangedOnly && SameSizeAndTime(from, to)) return true;
    if (!CopyOne(from, to, reason)) return Fail(SourcePath(relative), TargetPath(relative), reason);
    if (onFile_) onFile_();
    return true;
  }

  static bool SameSizeAndTime(const fs::path& from, const fs::path& to) {
    struct stat a {}, b {};
    return ::stat(from.c_str(), &a) == 0 && ::stat(to.c_str(), &b) == 0 && S_ISREG(b.st_mode) &&
           a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
  }

  static std::string RelativeHost(const std::string& relative) {
    std::string host = relative;
    for (char& c : host) {
      if (c == '\\') c = '/';
    }
    return host;
  }

  // Copies one file over whatever is at `to`, keeps its last-write time,
  // and checks that the copy holds the source's bytes. A failed copy is
  // removed: a torn file must not stand where the server will look.
  bool CopyOne(const fs::path& from, const fs::path& to, std::string& reason) {
    // Without waiting: a pipe or device in the tree must not hang the run.
    Fd source(platform::OpenFile(from, O_RDONLY | O_NONBLOCK));
    if (source.get() < 0) return Failed(reason, errno);
    struct stat sourceInfo {};
    if (::fstat(source.get(), &sourceInfo) != 0) return Failed(reason, errno);
    if (!S_ISREG(sourceInfo.st_mode)) return Failed(reason, EACCES);
    // Opened without truncation first: a destination that is the source
    // itself (a drive mapped onto the source's folder) must not be emptied.
    Fd target(platform::OpenFile(to, O_RDWR | O_CREAT, sourceInfo.st_mode & 0777));
    if (target.get() < 0) return Failed(reason, errno);
    struct stat targetInfo {};
    if (::fstat(target.get(), &targetInfo) == 0 && targetInfo.st_dev == sourceInfo.st_dev &&
        targetInfo.st_ino == sourceInfo.st_ino) {
      return Failed(reason, EBUSY);
    }
    int error = ::ftruncate(target.get(), 0) != 0 ? errno
                : sourceInfo.st_size == 0           ? 0
                                                    : platform::CopyFileData(source.get(), target.get());
    if (error == 0) error = Verify(source.get(), target.get(), reason);
    if (error == 0) {
      struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
      ::futimens(target.get(), times);
      if (!target.Close()) error = errno;
    }
    if (error == 0) return true;
    target.Close();
    platform::RemoveFile(to);
    if (reason.empty()) reason = ErrnoText(error);
    return false;
  }

  static bool Failed(std::string& reason, int error) {
    reason = ErrnoText(error);
    return false;
  }

  // The copy must have the source's size and bytes as the source has them
  // now; a source that changed while it was copied fails the copy too.
  int Verify(int source, int target, std::string& reason) {
    struct stat sourceInfo {}, targetInfo {};
    if (::fstat(source, &sourceInfo) != 0 || ::fstat(target, &targetInfo) != 0) return errno;
    if (sourceInfo.st_size != targetInfo.st_size) {
      reason = "The copy has " + std::to_string(targetInfo.st_size) + " bytes, the original " +
               std::to_string(sourceInfo.st_size) + ".\r\n";
      return EIO;
    }
    std::vector<char>& a = sourceBuffer_;
    std::vector<char>& b = targetBuffer_;
    // Read to the end rather than to the size: a source that grew, or one
    // whose size says nothing of its contents, must fail too.
    for (off_t offset = 0;;) {
      ssize_t gotA = ReadFully(source, a.data(), a.size(), offset);
      ssize_t gotB = ReadFully(target, b.data(), b.size(), offset);
      if (gotA < 0 || gotB < 0) return errno;
      if (gotA != gotB || std::memcmp(a.data(), b.data(), static_cast<size_t>(gotA)) != 0) {
        reason = "The copy differs from the original file.\r\n";
        return EIO;
      }
      if (gotA == 0) break;
      offset += gotA;
    }
    return 0;
  }

  // One sync of each file system the copy wrote to puts every file and
  // folder of it on the disk, far faster than a flush per file.
  bool Flush() {
    for (dev_t device : devices_) {
      for (const auto& [name, folder] : folders_) {
        struct stat info {};
        if (::stat(folder.host.c_str(), &info) != 0 || info.st_dev != device) continue;
        Fd fd(platform::OpenFile(folder.host, O_RDONLY | O_DIRECTORY));
        if (fd.get() < 0) return Fail(sourceRoot_, destinationRoot_, ErrnoText(errno));
        if (platform::FileOperationFails(platform::FileOperation::Fsync) || ::syncfs(fd.get()) != 0) {
          return Fail(sourceRoot_, destinationRoot_, ErrnoText(errno));
        }
        break;
      }
    }
    return true;
  }

  const std::string& sourceRoot_;
  const std::string& destinationRoot_;
  const std::function<void()>& onFile_;
  CopyFailure& failure_;
  CopyMode mode_;
  std::map<std::string, Folder> folders_;  // by upper-case relative path
  std::set<dev_t> devices_;
  // Reused by every comparison: a fresh megabyte per file would cost more
  // than the copy of a small file.
  std::vector<char> sourceBuffer_ = std::vector<char>(kCompareChunk);
  std::vector<char> targetBuffer_ = std::vector<char>(kCompareChunk);
};

}  // namespace

std::string ErrnoText(int error) { return platform::FormatMessageText(static_cast<uint32_t>(Win32FromErrno(error))); }

int ListTree(const std::string& sourceRoot, std::vector<TreeEntry>& entries) {
  entries.clear();
  // A folder reached again through a link is listed once only: a link to
  // one of its own parents would otherwise never end.
  std::set<std::pair<dev_t, ino_t>> listed;
  std::vector<std::string> pending{""};
  while (!pending.empty()) {
    const std::string folder = std::move(pending.back());
    pending.pop_back();
    const std::string path = folder.empty() ? sourceRoot : platform::JoinPath(sourceRoot, folder);
    struct stat info {};
    if (::stat(platform::HostPath(path).c_str(), &info) == 0 && !listed.insert({info.st_dev, info.st_ino}).second) {
      continue;
    }
    std::vector<platform::DirEntry> listing;
    if (int error = platform::ListDirectory(path, listing)) return error;
    if (!folder.empty()) entries.push_back({folder, true});
    for (const platform::DirEntry& entry : listing) {
      std::string relative = folder.empty() ? entry.name : folder + "\\" + entry.name;
      if (entry.isDirectory) {
        pending.push_back(std::move(relative));
      } else {
        entries.push_back({std::move(relative), false});
      }
    }
  }
  return 0;
}

bool CopyTree(const std::string& sourceRoot, const std::string& destinationRoot,
              const std::vector<TreeEntry>& entries, const std::function<void()>& onFile, CopyFailure& failure,
              CopyMode mode) {
  return Copier(sourceRoot, destinationRoot, onFile, failure, mode).Run(entries);
}

}  // namespace omb::config
