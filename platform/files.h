#pragma once
// File and folder primitives on Windows paths. Results are Win32 error
// codes (0 = success; 2 file not found, 3 path not found, 5 access denied,
// 80 file exists, 183 already exists, 145 directory not empty, ...), so the
// engines can turn them into text with FormatMessageText().
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace omb::platform {

class AtomicFile;

struct DirEntry {
  std::string name;  // as stored on disk
  bool isDirectory = false;
};

bool PathExists(std::string_view windowsPath);
bool IsDirectory(std::string_view windowsPath);
bool IsFile(std::string_view windowsPath);

// Entries of a folder, without "." and "..", in a stable (name) order.
// Returns 0, or 3 when the folder does not exist.
int ListDirectory(std::string_view windowsPath, std::vector<DirEntry>& entries);

int CreateOneDirectory(std::string_view windowsPath);     // 183 when it exists
int RemoveDirectoryTree(std::string_view windowsPath);    // 0, or 2 when missing
int DeleteOneFile(std::string_view windowsPath);          // 2 when missing
int MoveFileOrDirectory(std::string_view from, std::string_view to);  // 183 when the target exists
int CopyOneFile(std::string_view from, std::string_view to, bool failIfExists);  // 80 when it exists

// Whole-file binary read and atomic replace (temporary file, fsync, rename).
int ReadWholeFile(std::string_view windowsPath, std::string& bytes);
int WriteFileAtomic(std::string_view windowsPath, std::string_view bytes);

// Text-mode streams: "\n" is written as "\r\n" (an existing "\r" stays, as
// the Windows C runtime does), and a text read turns "\r\n" back into "\n".
int AppendTextFile(std::string_view windowsPath, std::string_view text);
int WriteTextFile(std::string_view windowsPath, std::string_view text);  // truncates
int ReadTextFile(std::string_view windowsPath, std::string& text);

// Last-write time as a FILETIME (100 ns since 1601-01-01 UTC); 0 on failure.
uint64_t LastWriteTime(std::string_view windowsPath);
// Size in bytes, or -1.
int64_t FileSize(std::string_view windowsPath);

// Free bytes of the volume behind a drive letter (statvfs of its folder);
// false when it cannot be queried.
bool FreeBytes(char driveLetter, uint64_t& freeBytes);
// Size and free bytes of that volume; false when it cannot be queried. A
// size of 0 means unknown.
bool DriveSpace(char driveLetter, uint64_t& totalBytes, uint64_t& freeBytes);

// A binary file opened like _open(): Open() answers 0 or an errno value
// (ENOENT, EACCES, EEXIST, EINVAL, EMFILE ...). Mode::Replace writes a new
// file that takes the place of the one at the path only when Commit
// succeeds (durably: see platform/durable.h); closed without a commit, it
// leaves the path as it was.
class BinaryFile {
 public:
  enum class Mode { Read, WriteCreate, WriteCreateTruncate, Replace };
  BinaryFile();
  ~BinaryFile();
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  int Open(std::string_view windowsPath, Mode mode);
  // Bytes read (0 at the end), or -1 on error.
  long Read(char* buffer, unsigned long size);
  // Bytes written, or -1 on error.
  long Write(const char* data, unsigned long size);
  // Mode::Replace: 0, or the errno value of the failing step.
  int Commit();
  void Close();
  bool IsOpen() const { return fd_ >= 0 || replacement_ != nullptr; }

 private:
  int fd_ = -1;
  std::unique_ptr<AtomicFile> replacement_;
};

}  // namespace omb::platform
