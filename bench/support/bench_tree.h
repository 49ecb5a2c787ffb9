#pragma once
// The tree of databases that the copy benchmarks copy, and their timing.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

namespace omb::bench {

struct TreeSize {
  unsigned long long files = 0;
  unsigned long long bytes = 0;
};

// A new file of `size` random bytes; ends the program when it cannot be written.
void WriteRandomFile(const std::filesystem::path& path, size_t size, std::mt19937_64& random);

// `smallFiles` databases of 1 to 16 KiB in 100 mail folders below `root`,
// and `largeFiles` of `largeMiB` each in `largeFolder` below it ("" for
// `root` itself). The same arguments always give the same tree.
TreeSize BuildTree(const std::filesystem::path& root, int smallFiles, size_t largeMiB, int largeFiles,
                   const std::string& largeFolder);

// Wall time of the work. Dirty pages are flushed before, not after: the
// disk is shared with other work, so a timed flush would measure that too.
double SecondsAfterSync(const std::function<void()>& work);

}  // namespace omb::bench
