#include "storage/tree_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_faults.h"
#include "platform/posix_io.h"

namespace omb::storage {

namespace {

struct FileJob {
  std::string source;
  std::string target;
  struct stat info;
};

struct DirectoryJob {
  std::string target;
  struct stat info;
};

using Fd = platform::FileDescriptor;

class TreeCopier {
 public:
  TreeCopier(const CopyOptions& options) : options_(options), reflinkUsable_(options.tryReflink) {}

  CopyReport Run(const std::string& source, const std::string& target) {
    struct stat root;
    if (::stat(source.c_str(), &root) != 0) return Failed(errno);
    if (!S_ISDIR(root.st_mode)) return Failed(ENOTDIR);
    if (::mkdir(target.c_str(), 0700) != 0) return Failed(errno);
    directories_.push_back({target, root});
    Walk(source, target);
    if (firstError_ == 0) CopyFiles();
    if (firstError_ == 0) FinishDirectories();
    CopyReport report;
    report.error = firstError_.load();
    report.files = files_.size();
    report.bytes = bytes_.load();
    report.reflinked = reflinked_.load();
    return report;
  }

 private:
  static CopyReport Failed(int error) {
    CopyReport report;
    report.error = error;
    return report;
  }

  void Fail(int error) {
    int none = 0;
    firstError_.compare_exchange_strong(none, error == 0 ? EIO : error);
  }

  // Creates the folders and links, and queues the files, breadth by depth.
  void Walk(const std::string& sourceRoot, const std::string& targetRoot) {
    std::vector<std::pair<std::string, std::string>> pending{{sourceRoot, targetRoot}};
    while (!pending.empty() && firstError_ == 0) {
      auto [source, target] = std::move(pending.back());
      pending.pop_back();
      WalkOne(source, target, pending);
    }
  }

  void WalkOne(const std::string& source, const std::string& target,
               std::vector<std::pair<std::string, std::string>>& pending) {
    DIR* folder = ::opendir(source.c_str());
    if (!folder) return Fail(errno);
    int folderFd = ::dirfd(folder);
    while (dirent* entry = ::readdir(folder)) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      struct stat info;
      if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        Fail(errno);
        break;
      }
      std::string from = source + "/" + name;
      std::string to = target + "/" + name;
      if (S_ISDIR(info.st_mode)) {
        if (::mkdir(to.c_str(), 0700) != 0) Fail(errno);
        directories_.push_back({to, info});
        pending.emplace_back(from, to);
      } else if (S_ISREG(info.st_mode)) {
        files_.push_back({from, to, info});
      } else if (S_ISLNK(info.st_mode)) {
        CopyLink(from, to, info);
      } else if (S_ISFIFO(info.st_mode)) {
        if (::mkfifo(to.c_str(), info.st_mode & 07777) != 0) Fail(errno);
      }
      // Sockets and device nodes have no contents worth keeping.
      if (firstError_ != 0) break;
    }
    ::closedir(folder);
  }

  void CopyLink(const std::string& from, const std::string& to, const struct stat& info) {
    // Some file systems report a link size of 0; PATH_MAX then bounds it.
    size_t room = info.st_size > 0 ? static_cast<size_t>(info.st_size) + 1 : PATH_MAX + 1;
    std::string destination(room, '\0');
    ssize_t length = ::readlink(from.c_str(), destination.data(), destination.size());
    if (length < 0 || static_cast<size_t>(length) >= destination.size()) return Fail(length < 0 ? errno : EIO);
    destination.resize(static_cast<size_t>(length));
    if (::symlink(destination.c_str(), to.c_str()) != 0) return Fail(errno);
    struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
  }

  void CopyFiles() {
    unsigned workers = options_.workers == 0 ? 1 : options_.workers;
    if (workers > files_.size()) workers = static_cast<unsigned>(files_.size());
    if (workers <= 1) return CopyFileRange();
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < workers; ++i) threads.emplace_back([this] { CopyFileRange(); });
    for (std::thread& thread : threads) thread.join();
  }

  // Takes files from the shared queue until it is empty or a copy failed.
  void CopyFileRange() {
    while (firstError_ == 0) {
      size_t index = next_.fetch_add(1);
      if (index >= files_.size()) return;
      int error = CopyOneFile(files_[index]);
      if (error != 0) Fail(error);
    }
  }

  int CopyOneFile(const FileJob& job) {
    Fd in(::open(job.source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (in.get() < 0) return errno;
    Fd out(::open(job.target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0) return errno;
    bool cloned = false;
    int error = CopyContents(in.get(), out.get(), job.info.st_size, cloned);
    if (error != 0) return error;
    // Clean pages go at once; a clone shares the blocks and needs no memory.
    if (options_.dropSourceCache && !cloned) ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_DONTNEED);
    if (::fchmod(out.get(), job.info.st_mode & 07777) != 0) return errno;
    struct timespec times[2] = {job.info.st_atim, job.info.st_mtim};
    if (::futimens(out.get(), times) != 0) return errno;
    return 0;
  }

  int CopyContents(int in, int out, off_t size, bool& cloned) {
    if (size == 0) return 0;
    const bool tryClone = reflinkUsable_;
    const int error = platform::CopyFileData(in, out, tryClone, &cloned);
    // One refusal means this file system cannot clone.
    if (tryClone && !cloned) reflinkUsable_ = false;
    if (cloned) reflinked_ = true;
    if (error == 0) bytes_ += static_cast<unsigned long long>(size);
    return error;
  }

  // Modes and times of folders last, deepest first, since filling a folder
  // changes its modification time.
  void FinishDirectories() {
    for (auto it = directories_.rbegin(); it != directories_.rend(); ++it) {
      if (::chmod(it->target.c_str(), it->info.st_mode & 07777) != 0) return Fail(errno);
      struct timespec times[2] = {it->info.st_atim, it->info.st_mtim};
      if (::utimensat(AT_FDCWD, it->target.c_str(), times, 0) != 0) return Fail(errno);
    }
  }

  CopyOptions options_;
  std::vector<FileJob> files_;
  std::vector<DirectoryJob> directories_;
  std::atomic<size_t> next_{0};
  std::atomic<int> firstError_{0};
  std::atomic<unsigned long long> bytes_{0};
  std::atomic<bool> reflinkUsable_;
  std::atomic<bool> reflinked_{false};
};

// Lists a tree once, unlinks its non-folders on several threads, then
// removes the folders deepest first.
class TreeRemover {
 public:
  explicit TreeRemover(unsigned workers) : workers_(workers == 0 ? 1 : workers) {}

  void Run(const std::string& root) {
    struct stat info;
    if (::lstat(root.c_str(), &info) != 0) return;
    if (!S_ISDIR(info.st_mode)) {
      ::unlink(root.c_str());
      return;
    }
    List(root);
    UnlinkAll();
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) ::rmdir(it->c_str());
  }

 private:
  void List(const std::string& root) {
    std::vector<std::string> pending{root};
    while (!pending.empty()) {
      std::string folder = std::move(pending.back());
      pending.pop_back();
      folders_.push_back(folder);
      DIR* listing = ::opendir(folder.c_str());
      if (!listing) continue;
      while (dirent* entry = ::readdir(listing)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string path = folder + "/" + name;
        if (IsFolder(listing, *entry)) {
          pending.push_back(path);
        } else {
          files_.push_back(path);
        }
      }
      ::closedir(listing);
    }
  }

  static bool IsFolder(DIR* listing, const dirent& entry) {
    if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_DIR;
    struct stat info;
    return ::fstatat(::dirfd(listing), entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
  }

  void UnlinkAll() {
    unsigned workers = std::min<size_t>(workers_, files_.size());
    auto work = [this] {
      for (size_t i = next_.fetch_add(1); i < files_.size(); i = next_.fetch_add(1)) ::unlink(files_[i].c_str());
    };
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < workers; ++i) threads.emplace_back(work);
    work();
    for (std::thread& thread : threads) thread.join();
  }

  unsigned workers_;
  std::vector<std::string> folders_;
  std::vector<std::string> files_;
  std::atomic<size_t> next_{0};
};

}  // namespace

CopyReport CopyTree(const std::filesystem::path& source, const std::filesystem::path& target,
                    const CopyOptions& options) {
  TreeCopier copier(options);
  return copier.Run(source.string(), target.string());
}

bool RemoveTree(const std::filesystem::path& path, unsigned workers) {
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) return true;
  TreeRemover(workers).Run(path.string());
  // Whatever the fast path left (a folder that changed meanwhile) goes here.
  std::filesystem::remove_all(path, error);
  return !error && !std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

}  // namespace omb::storage

namespace omb::storage {

namespace {

// Moves the finished temporary file to `target` unless something is there
// already: renameat2 without replacing, or link and unlink where the file
// system has no such rename. One platform rename for the fault hook.
int PlaceWithoutReplacing(const std::filesystem::path& temporary, const std::filesystem::path& target) {
  if (platform::FileOperationFails(platform::FileOperation::Rename)) return errno;
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(temporary.c_str(), target.c_str()) != 0) return errno;
  ::unlink(temporary.c_str());
  return 0;
}

std::filesystem::path TemporaryBeside(const std::filesystem::path& target) {
  static std::atomic<unsigned> counter{0};
  std::string name = ".";
  name.append(target.filename().string())
      .append(".omb-file-")
      .append(std::to_string(::getpid()))
      .append("-")
      .append(std::to_string(counter++));
  return target.parent_path() / name;
}

int FillTemporary(int in, const std::filesystem::path& temporary, const struct stat& info,
                  const CopyOptions& options, CopyReport& report) {
  Fd out(platform::OpenFile(temporary, O_WRONLY | O_CREAT | O_EXCL, 0600));
  if (out.get() < 0) return errno;
  int error = 0;
  if (info.st_size > 0) {
    bool cloned = false;
    error = platform::CopyFileData(in, out.get(), options.tryReflink, &cloned);
    report.reflinked = cloned;
    if (error == 0) report.bytes = static_cast<unsigned long long>(info.st_size);
  }
  if (error == 0 && options.dropSourceCache && !report.reflinked) ::posix_fadvise(in, 0, 0, POSIX_FADV_DONTNEED);
  if (error == 0 && ::fchmod(out.get(), info.st_mode & 07777) != 0) error = errno;
  struct timespec times[2] = {info.st_atim, info.st_mtim};
  if (error == 0 && ::futimens(out.get(), times) != 0) error = errno;
  if (error == 0 && platform::SyncFile(out.get()) != 0) error = errno;
  return error;
}

}  // namespace

CopyReport CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target,
                              const CopyOptions& options) {
  CopyReport report;
  Fd in(platform::OpenFile(source, O_RDONLY | O_NOFOLLOW));
  struct stat info;
  if (in.get() < 0 || ::fstat(in.get(), &info) != 0) {
    report.error = errno;
    return report;
  }
  if (!S_ISREG(info.st_mode)) {
    report.error = EISDIR;
    return report;
  }
  std::error_code exists;
  if (std::filesystem::exists(std::filesystem::symlink_status(target, exists))) {
    report.error = EEXIST;
    return report;
  }
  const std::filesystem::path temporary = TemporaryBeside(target);
  report.error = FillTemporary(in.get(), temporary, info, options, report);
  if (report.error == 0) report.error = PlaceWithoutReplacing(temporary, target);
  if (report.error == 0 && platform::SyncFolder(target.parent_path()) != 0) report.error = errno;
  if (report.error != 0) {
    ::unlink(temporary.c_str());
  } else {
    report.files = 1;
  }
  return report;
}

}  // namespace omb::storage
