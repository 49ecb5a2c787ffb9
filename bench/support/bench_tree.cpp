#include "bench/support/bench_tree.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace omb::bench {

namespace fs = std::filesystem;

void WriteRandomFile(const fs::path& path, size_t size, std::mt19937_64& random) {
  std::vector<uint64_t> block((size + 7) / 8);
  for (uint64_t& word : block) word = random();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::write(fd, block.data(), size) != static_cast<ssize_t>(size)) {
    std::perror(path.c_str());
    std::exit(1);
  }
  ::close(fd);
}

TreeSize BuildTree(const fs::path& root, int smallFiles, size_t largeMiB, int largeFiles,
                   const std::string& largeFolder) {
  std::mt19937_64 random(42);
  TreeSize size;
  for (int i = 0; i < smallFiles; ++i) {
    fs::path folder = root / ("mail" + std::to_string(i % 100));
    fs::create_directories(folder);
    size_t bytes = 1024 * (1 + random() % 16);
    WriteRandomFile(folder / ("user" + std::to_string(i) + ".nsf"), bytes, random);
    size.files++;
    size.bytes += bytes;
  }
  const fs::path large = largeFolder.empty() ? root : root / largeFolder;
  fs::create_directories(large);
  for (int i = 0; i < largeFiles; ++i) {
    WriteRandomFile(large / ("db" + std::to_string(i) + ".nsf"), largeMiB << 20, random);
    size.files++;
    size.bytes += largeMiB << 20;
  }
  return size;
}

double SecondsAfterSync(const std::function<void()>& work) {
  ::sync();
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace omb::bench
