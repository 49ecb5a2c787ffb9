#pragma once
// The one home of the files that others rely on and of the locks that keep
// their writers apart. Host paths; results are 0 or an errno value.
//
// A durable replace writes a temporary file in the target's folder,
// flushes it, renames it over the target and flushes the folder, so that a
// reader, or the machine after a crash, sees the old file or the new one
// and never a torn one. Files that only live as long as the process using
// them may skip the flushes (Flush::ToCache): after a crash they are void
// anyway.
#include <filesystem>
#include <memory>
#include <string_view>

namespace omb::platform {

enum class Flush { ToDisk, ToCache };

// Replaces `target` with `bytes` as described above. On failure the target
// is as it was and the temporary file is gone. `temporary` names the
// temporary file; without it a unique name beside the target is used (a
// writer that holds the target's lock passes a fixed one, so that a writer
// killed mid-update leaves at most that one file, which the next reuses).
int WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                        Flush flush = Flush::ToDisk, const std::filesystem::path& temporary = {});

// The same for a file written piece by piece. The target changes only when
// Commit succeeds; a file that is not committed is removed again.
class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  int Open(const std::filesystem::path& target, const std::filesystem::path& temporary = {});
  int Write(std::string_view bytes);
  // Flush (ToDisk), close, rename over the target, flush the folder (ToDisk).
  int Commit(Flush flush = Flush::ToDisk);
  // Commit in two halves, for a writer that flushes many files with one
  // file-system sync between closing them and renaming them.
  int Close();
  int Rename();
  const std::filesystem::path& temporary() const { return temporary_; }

 private:
  void Discard();

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  int fd_ = -1;
  bool pending_ = false;  // the temporary exists and is not renamed yet
};

// Appends `bytes` with one write (concurrent appenders never interleave
// within a piece), flushed when asked. The file is created when missing.
int AppendToFile(const std::filesystem::path& file, std::string_view bytes, Flush flush);

// An flock on a file, held while the object lives and released by the
// kernel when the process ends however it ends. Each acquire opens the file
// anew, so a second acquire conflicts in the same process too. The lock
// file is created when missing (its folder must exist) and never removed:
// removing it would let two holders lock two files of the same name.
class FileLock {
 public:
  enum class Mode { Exclusive, Shared };
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Waits until the lock is granted; nullptr (errno set) when the file
  // cannot be opened or locked.
  static std::unique_ptr<FileLock> Acquire(const std::filesystem::path& file, Mode mode = Mode::Exclusive);
  // Does not wait: nullptr also when another holder has the lock.
  static std::unique_ptr<FileLock> TryAcquire(const std::filesystem::path& file, Mode mode = Mode::Exclusive);
  // Whether the locked file is still the one at `file` (a file replaced by
  // rename is a new file: a lock on the old one guards nothing).
  bool Guards(const std::filesystem::path& file) const;

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  static std::unique_ptr<FileLock> Take(const std::filesystem::path& file, Mode mode, bool wait);
  int fd_;
};

}  // namespace omb::platform
