// Times the restore of one database file out of a snapshot against `cp` of
// that file followed by `sync`, from a snapshot of a volume that holds much
// more than the database and from one that holds only the database: the
// restore should cost about what the copy costs (goal: at most 1.2x) and
// nothing more for the larger volume.
//
//   bench_single_file [work folder]
//
// Sizes from the environment (MiB): OMB_BENCH_DB_MIB (default 1024) and
// OMB_BENCH_VOLUME_MIB (default 4096, the larger volume with the database
// in it); OMB_BENCH_ROUNDS (default 3) runs, the median is shown.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "storage/filer.h"
#include "storage/storage.h"

namespace fs = std::filesystem;
using namespace omb;

namespace {

constexpr size_t kFillerMiB = 256;

size_t EnvironmentMiB(const char* name, size_t fallback) {
  const char* text = std::getenv(name);
  const long value = text ? std::atol(text) : 0;
  return value > 0 ? static_cast<size_t>(value) : fallback;
}

// A file of `mib` MiB of random bytes, written in 1 MiB pieces.
void WriteFile(const fs::path& path, size_t mib, std::mt19937_64& random) {
  fs::create_directories(path.parent_path());
  std::vector<uint64_t> block((1 << 20) / 8);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
  for (size_t i = 0; i < mib; ++i) {
    for (uint64_t& word : block) word = random();
    if (::write(fd, block.data(), 1 << 20) != 1 << 20) {
      std::perror(path.c_str());
      std::exit(1);
    }
  }
  ::close(fd);
}

double Seconds(const std::function<void()>& work) {
  ::sync();
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "bench_single_file: %s failed\n", what);
  std::exit(1);
}

struct Volume {
  char drive;
  const char* name;
  size_t fillerMiB;
};

}  // namespace

int main(int argc, char** argv) {
  const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
  const fs::path root = base / ("omb-bench-single-" + std::to_string(::getpid()));
  fs::create_directories(root);
  platform::SetMachineRoot(root);
  const size_t dbMiB = EnvironmentMiB("OMB_BENCH_DB_MIB", 1024);
  const size_t volumeMiB = std::max(EnvironmentMiB("OMB_BENCH_VOLUME_MIB", 4096), dbMiB);
  const size_t rounds = EnvironmentMiB("OMB_BENCH_ROUNDS", 3);
  std::mt19937_64 random(42);

  const std::vector<Volume> volumes = {{'E', "large", volumeMiB - dbMiB}, {'G', "small", 0}};
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  Require(storage::CurrentComponent().CreateSnapshotInterface(snapshots) == storage::S_OK_, "the snapshot interface");
  for (const Volume& volume : volumes) {
    Require(storage::RegisterVirtualDisk(volume.drive, "FILER1", volume.name, std::string(volume.name) + ".vld"),
            "registering a disk");
    const fs::path drive = platform::DriveFolder(volume.drive);
    WriteFile(drive / "Data" / "mail" / "big.nsf", dbMiB, random);
    for (size_t filled = 0, n = 0; filled < volume.fillerMiB; filled += kFillerMiB, ++n) {
      WriteFile(drive / "Data" / "filler" / ("f" + std::to_string(n) + ".nsf"),
                std::min(kFillerMiB, volume.fillerMiB - filled), random);
    }
    Require(snapshots->CreateSnapShot(std::u16string(1, static_cast<char16_t>(volume.drive)), u"bench") ==
                storage::S_OK_,
            "the snapshot");
  }

  std::printf("single-file restore of a %zu MiB database (median of %zu)\n", dbMiB, rounds);
  for (const Volume& volume : volumes) {
    const std::u16string drive(1, static_cast<char16_t>(volume.drive));
    const fs::path copy = root / "storage" / "FILER1" / volume.name / ".snapshot" / "bench" /
                          std::string(1, volume.drive) / "Data" / "mail" / "big.nsf";
    const fs::path copied = platform::DriveFolder(volume.drive) / "Data" / "mail" / "copied.nsf";
    const std::string target = std::string(1, volume.drive) + ":\\Data\\mail\\restored.nsf";
    const std::string command = "cp '" + copy.string() + "' '" + copied.string() + "' && sync";
    std::vector<double> restoreTimes, copyTimes;
    for (size_t round = 0; round < rounds; ++round) {
      copyTimes.push_back(Seconds([&] { Require(std::system(command.c_str()) == 0, "cp"); }));
      fs::remove(copied);
      restoreTimes.push_back(Seconds([&] {
        Require(snapshots->RestoreFileFromSnapShot(drive, u"bench", u"\\Data\\mail\\big.nsf",
                                                   storage::ToUtf16(target)) == storage::S_OK_,
                "the single-file restore");
      }));
      fs::remove(platform::HostPath(target));
    }
    const double restore = Median(restoreTimes), plain = Median(copyTimes);
    std::printf("  volume of %5zu MiB: restore %.3f s, cp + sync %.3f s, ratio %.2f\n", volume.fillerMiB + dbMiB,
                restore, plain, restore / plain);
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
