// bench_config: the migration's directory copy of a 10,000-file data
// directory (flushed to disk and checked file by file) against `cp -a` of
// the same tree followed by `sync`. Goal: at most 1.1 times cp's time.
//
// Usage: bench_config [base folder] [small files] [large MiB] [large files]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/support/bench_tree.h"
#include "config/configuration.h"
#include "core/progress.h"
#include "platform/paths.h"

namespace fs = std::filesystem;
using namespace omb;

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  fs::path base = argc > 1 ? fs::path(argv[1]) : fs::path(tmp ? tmp : "/tmp");
  int smallFiles = argc > 2 ? std::atoi(argv[2]) : 10000;
  size_t largeMiB = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 20;
  int largeFiles = argc > 4 ? std::atoi(argv[4]) : 10;

  fs::path machine = base / ("omb-bench-config-" + std::to_string(::getpid()));
  ::setenv("OMB_MACHINE", machine.c_str(), 1);
  platform::SetMachineRoot(machine);
  const std::string source = "D:\\Lotus\\Domino\\Data";
  fs::create_directories(platform::HostPath(source));
  fs::create_directories(platform::DriveFolder('X'));
  unsigned long long bytes = bench::BuildTree(platform::HostPath(source), smallFiles, largeMiB, largeFiles, "").bytes;
  std::printf("tree: %d files, %.1f MB on %s\n", smallFiles + largeFiles, bytes / 1e6, machine.c_str());

  config::MigrationEntry entry;
  entry.server.dataPath = source;
  entry.server.serverName = "Bench/Acme";
  entry.kind = config::kKindData;
  entry.targetDriveLetter = u'X';
  const std::string destination = "X:\\Lotus\\Domino\\Data";
  const fs::path cpTarget = machine / "cp-copy";
  const std::string cp = "cp -a '" + platform::HostPath(source).string() + "' '" + cpTarget.string() + "' && sync";

  // Best of three each, alternating: the disk is shared with other work.
  double best = 1e9, bestCp = 1e9;
  for (int round = 0; round < 3; ++round) {
    fs::remove_all(platform::DriveFolder('X') / "Lotus");
    fs::remove_all(cpTarget);
    ProgressSink progress;
    RunServices services = DefaultRunServices();
    config::MigrationContext run{progress, nullptr, services};
    int result = 0;
    best = std::min(best, bench::SecondsAfterSync([&] {
      std::string prepared;
      result = config::PrepareDestination(run, entry, prepared);
      if (result == 0) result = config::CopyDirectoryTree(run, entry, prepared, "Data");
    }));
    if (result != 0) {
      std::fprintf(stderr, "copy failed:\n%s", progress.accumulated.c_str());
      return 1;
    }
    bestCp = std::min(bestCp, bench::SecondsAfterSync([&] {
      if (std::system(cp.c_str()) != 0) std::exit(1);
    }));
  }
  std::printf("cp -a + sync:   %.2f s\n", bestCp);
  std::printf("migration copy: %.2f s (%.2f x cp -a + sync; goal at most 1.10)\n", best, best / bestCp);
  ClearProgressText();
  fs::remove_all(machine);
  return 0;
}
