#pragma once
// A test hook that fails the Nth platform file operation with a chosen
// errno, so that a test can fail every file operation of a run in turn and
// check what the run leaves behind. It exists only in builds with
// OMB_TEST_HOOKS; without them no operation ever fails through it.
#include <cstdint>
#include <optional>

namespace omb::platform {

// The kinds of operation of platform/posix_io.h.
enum class FileOperation { Open, Write, Fsync, Rename, Remove, Mkdir };

#ifdef OMB_TEST_HOOKS

// Counts the platform file operations of this process from now on (every
// kind, or only `kind`) and fails the nth of them (1-based) with `error`;
// nth 0 only counts. Replaces any earlier setting.
void FailFileOperation(uint64_t nth, int error, std::optional<FileOperation> kind = std::nullopt);
// Stops failing and counting.
void ClearFileFault();
// The operations counted since FailFileOperation.
uint64_t FileOperationCount();
// Whether the nth operation was reached and failed.
bool FileFaultFired();

// Counts one operation; true, with errno set, when it is the one to fail.
bool FileOperationFails(FileOperation operation);

#else

inline bool FileOperationFails(FileOperation) { return false; }

#endif

}  // namespace omb::platform
