// Times a snapshot and a restore of a large virtual disk against `cp -a` of
// the same tree on the same file system, and prints the ratios.
//
//   bench_storage [work folder] [small files] [large file MiB] [large files]
//
// Defaults: a temporary folder under $TMPDIR (or /tmp), 10,000 small files
// and 10 files of 100 MiB (about 1.1 GB in all).
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench/support/bench_tree.h"
#include "platform/paths.h"
#include "storage/filer.h"
#include "storage/storage.h"
#include "storage/tree_copy.h"

namespace fs = std::filesystem;
using namespace omb;

namespace {

bool ReflinksAvailable(const fs::path& folder) {
  fs::path a = folder / "probe-a", b = folder / "probe-b";
  std::mt19937_64 random(1);
  bench::WriteRandomFile(a, 4096, random);
  int in = ::open(a.c_str(), O_RDONLY);
  int out = ::open(b.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  bool cloned = in >= 0 && out >= 0 && ::ioctl(out, FICLONE, in) == 0;
  ::close(in);
  ::close(out);
  fs::remove(a);
  fs::remove(b);
  return cloned;
}

void Check(storage::HRESULT hr, const char* what) {
  if (hr == storage::S_OK_ || hr == storage::E_HANDLE_) return;
  std::fprintf(stderr, "%s failed: 0x%08x\n", what, static_cast<unsigned>(hr));
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  fs::path base = argc > 1 ? fs::path(argv[1]) : fs::path(tmp ? tmp : "/tmp");
  int smallFiles = argc > 2 ? std::atoi(argv[2]) : 10000;
  size_t largeMiB = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 100;
  int largeFiles = argc > 4 ? std::atoi(argv[4]) : 10;

  fs::path machine = base / ("omb-bench-storage-" + std::to_string(::getpid()));
  fs::create_directories(machine / "drives" / "E");
  ::setenv("OMB_MACHINE", machine.c_str(), 1);
  platform::SetMachineRoot(machine);
  if (!storage::RegisterVirtualDisk('E', "BENCH", "vol", "bench.vld")) return 1;

  fs::path drive = platform::DriveFolder('E');
  bench::TreeSize size = bench::BuildTree(drive, smallFiles, largeMiB, largeFiles, "large");
  std::printf("tree: %llu files, %.2f GB on %s\n", size.files, size.bytes / 1e9, machine.c_str());
  std::printf("reflinks: %s\n", ReflinksAvailable(machine) ? "available" : "not available");

  // Each measure is the best of three: the disk is shared with other work.
  constexpr int kRounds = 3;
  std::string cp = "cp -a '" + drive.string() + "' '" + (machine / "cp-copy").string() + "'";
  double cpSeconds = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    cpSeconds = std::min(cpSeconds, bench::SecondsAfterSync([&] {
      if (std::system(cp.c_str()) != 0) std::exit(1);
    }));
    fs::remove_all(machine / "cp-copy");
  }

  // The copy and removal engines alone, with several worker counts.
  for (unsigned workers : {1u, 2u, 4u}) {
    fs::path target = machine / ("engine-" + std::to_string(workers));
    double copy = 1e9, removal = 1e9;
    for (int round = 0; round < kRounds; ++round) {
      copy = std::min(copy, bench::SecondsAfterSync([&] { storage::CopyTree(drive, target, {workers, true}); }));
      removal = std::min(removal, bench::SecondsAfterSync([&] { storage::RemoveTree(target, workers); }));
    }
    std::printf("%u worker(s): copy %.2f s (%.2f x cp -a), removal %.2f s\n", workers, copy,
                copy / cpSeconds, removal);
  }

  std::unique_ptr<storage::SnapshotInterface> snapshots;
  Check(storage::CurrentComponent().CreateSnapshotInterface(snapshots), "CreateSnapshotInterface");
  double snapshotSeconds = 1e9, restoreSeconds = 1e9;
  std::mt19937_64 random(7);
  for (int round = 0; round < kRounds; ++round) {
    std::u16string name = u"bench" + storage::ToUtf16(std::to_string(round));
    snapshotSeconds = std::min(snapshotSeconds, bench::SecondsAfterSync([&] { Check(snapshots->CreateSnapShot(u"E", name), "CreateSnapShot"); }));
    // Change the disk so that the restore has something to revert.
    fs::remove_all(drive / "mail0");
    bench::WriteRandomFile(drive / "large" / "db0.nsf", 4096, random);
    restoreSeconds = std::min(restoreSeconds, bench::SecondsAfterSync([&] { Check(snapshots->RestoreSnapShot(u"E", {name}), "RestoreSnapShot"); }));
  }

  std::printf("cp -a:    %.2f s\n", cpSeconds);
  std::printf("snapshot: %.2f s (%.2f x cp -a)\n", snapshotSeconds, snapshotSeconds / cpSeconds);
  std::printf("restore:  %.2f s (%.2f x cp -a)\n", restoreSeconds, restoreSeconds / cpSeconds);
  bool restored = fs::file_size(drive / "large" / "db0.nsf") == (largeMiB << 20) && fs::exists(drive / "mail0");
  std::printf("restore check: %s\n", restored ? "ok" : "FAILED");
  // A restore leaves the old tree to a detached remover that may still be
  // at work in the machine folder; retry until both are done.
  std::error_code error;
  for (int attempt = 0; attempt < 100 && fs::exists(machine, error); ++attempt) {
    if (fs::remove_all(machine, error) == static_cast<std::uintmax_t>(-1) || error) ::usleep(100000);
  }
  return restored ? 0 : 1;
}
