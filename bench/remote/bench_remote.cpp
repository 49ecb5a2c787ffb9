// bench_remote: what going through ombsvc on loopback costs.
//  - Listing: 8 partitions with 31 snapshots each, listed through the
//    service (its discovery, the streamed wait, the records on the wire)
//    against a local discovery of the same machine. Goal: at most 2x.
//  - Backup: one server backed up through the service (the match against
//    its discovery, the run, the streamed progress) against the same
//    backup run locally. Goal: at most 1.1x.
// Each figure is the median of several rounds, local and remote taken in
// turn so that both see the same machine state.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "domino/discovery.h"
#include "domino/vaultinfo.h"
#include "operations/operations.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "remote/remote_client.h"
#include "reports/reports.h"
#include "storage/storage.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kPartitions = 8;
constexpr int kSnapshotsEach = 31;
constexpr int kListingRounds = 15;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "bench_remote: %s\n", what.c_str());
  std::exit(1);
}

double Millis(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

fs::path NewMachineRoot(const char* name) {
  std::string pattern = (fs::temp_directory_path() / name).string() + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot make a machine root");
  return pattern;
}

void RunDominosim(const fs::path& root, const std::vector<std::string>& args) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("OMB_MACHINE", root.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(OMB_DOMINOSIM)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(OMB_DOMINOSIM, argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("dominosim failed");
}

// ombsvc on the machine, on a free loopback port.
class ServiceProcess {
 public:
  explicit ServiceProcess(const fs::path& root) {
    int out[2];
    if (::pipe(out) != 0) Fail("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 2);
      ::setenv("OMB_MACHINE", root.c_str(), 1);
      ::execl(OMB_OMBSVC, OMB_OMBSVC, "--listen", "127.0.0.1:0", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    const size_t colon = line.rfind(':');
    if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) Fail("ombsvc did not start");
    port_ = static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
  }
  ~ServiceProcess() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  uint16_t port() const { return port_; }

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

// 31 snapshots of each server's data volume, named as backups name them
// and entered in its hint file, so discovery lists all of them.
void AddSnapshots(const omb::ServerList& list) {
  std::unique_ptr<omb::storage::SnapshotInterface> snapshots;
  if (omb::storage::Failed(omb::storage::CurrentComponent().CreateSnapshotInterface(snapshots)))
    Fail("no snapshot interface");
  for (const omb::PartitionInfo& server : list.servers) {
    std::vector<std::string> names;
    for (int n = 1; n <= kSnapshotsEach; ++n) {
      const std::string name = "dominosnap__" + list.machineName + "__" + server.shortName + "__1-" +
                               std::to_string(n) + "-2026_3.4.5";
      const std::u16string drive(1, static_cast<char16_t>(server.dataDisk.driveLetter));
      if (omb::storage::Failed(snapshots->CreateSnapShot(drive, omb::storage::ToUtf16(name))))
        Fail("cannot create snapshot " + name);
      names.push_back(name);
    }
    std::string hintPath;
    if (omb::GetHintPath(server, hintPath) != 0 || omb::WriteNameList(hintPath, names) != 0)
      Fail("cannot write the hint file of " + server.serverName);
  }
}

void BenchListing() {
  const fs::path root = NewMachineRoot("omb-bench-remote-list");
  omb::platform::SetMachineRoot(root);
  RunDominosim(root, {"init", "--servers", std::to_string(kPartitions), "--databases", "2"});
  omb::ServerList list;
  if (omb::DiscoverServers(list, omb::DefaultRunServices()) != 0 || list.count() != kPartitions) Fail("discovery of the bench machine");
  AddSnapshots(list);

  ServiceProcess service(root);
  omb::remote::RemoteClient client({"127.0.0.1", service.port()});
  std::vector<double> local, remote;
  for (int round = 0; round < kListingRounds; ++round) {
    omb::ServerList here, there;
    auto start = Clock::now();
    omb::DiscoverServers(here, omb::DefaultRunServices());
    local.push_back(Millis(Clock::now() - start));
    start = Clock::now();
    if (client.ListRemoteServers(there) != 0) Fail("remote listing failed");
    remote.push_back(Millis(Clock::now() - start));
    if (there.count() != kPartitions || there.servers.back().snapshots.size() != kSnapshotsEach)
      Fail("remote listing differs");
  }
  const double ratio = Median(remote) / Median(local);
  std::printf("Listing %d partitions x %d snapshots (median of %d):\n", kPartitions, kSnapshotsEach,
              kListingRounds);
  std::printf("  local discovery   %8.2f ms\n", Median(local));
  std::printf("  through ombsvc    %8.2f ms\n", Median(remote));
  std::printf("  ratio             %8.2fx (goal: at most 2x) %s\n", ratio, ratio <= 2.0 ? "met" : "MISSED");
  std::error_code ignored;
  if (!std::getenv("OMB_KEEP_BENCH_MACHINE")) fs::remove_all(root, ignored);
}

constexpr int kBackupRounds = 9;
constexpr int kBackupDatabases = 200;

// One server with a few hundred databases and documents in the log; each
// round backs it up locally (the engine in this process) and through the
// service, a second apart so that snapshot names never share a second.
void BenchBackup() {
  const fs::path root = NewMachineRoot("omb-bench-remote-backup");
  omb::platform::SetMachineRoot(root);
  ::setenv("OMB_MACHINE", root.c_str(), 1);
  RunDominosim(root, {"init", "--servers", "1", "--databases", std::to_string(kBackupDatabases)});
  for (int n = 1; n <= 20; ++n)
    RunDominosim(root, {"write", "--server", "1", "--db", "mail/user" + std::to_string(n) + ".nsf", "--docs", "200"});
  omb::reports::EnsureReportFolder();

  ServiceProcess service(root);
  omb::remote::RemoteClient client({"127.0.0.1", service.port()});
  omb::ops::LocalOperations localOperations;
  const omb::remote::BackupRequest request{true, 5, true, false, ""};
  std::vector<double> local, remote;
  for (int round = 0; round < kBackupRounds; ++round) {
    omb::backup::BackupJob job;
    if (localOperations.ListServers(job.servers) != 0 || job.servers.count() != 1) Fail("local discovery");
    job.servers.servers[0].selected = true;
    job.deleteExcess = request.deleteExcess;
    job.keepCount = request.keepCount;
    auto start = Clock::now();
    if (localOperations.RunBackup(job) != 0) Fail("local backup failed");
    local.push_back(Millis(Clock::now() - start));
    ::sleep(1);

    omb::ServerList list;
    if (client.ListRemoteServers(list) != 0 || list.count() != 1) Fail("remote listing");
    list.servers[0].selected = true;
    start = Clock::now();
    if (client.BackupServers(list, request, omb::ProgressSink{}, nullptr) != 0) Fail("remote backup failed");
    remote.push_back(Millis(Clock::now() - start));
    ::sleep(1);
  }
  const double ratio = Median(remote) / Median(local);
  std::printf("Backup of one server with %d databases (median of %d):\n", kBackupDatabases, kBackupRounds);
  std::printf("  local run         %8.1f ms\n", Median(local));
  std::printf("  through ombsvc    %8.1f ms\n", Median(remote));
  std::printf("  ratio             %8.2fx (goal: at most 1.1x) %s\n", ratio, ratio <= 1.1 ? "met" : "MISSED");
  std::error_code ignored;
  if (!std::getenv("OMB_KEEP_BENCH_MACHINE")) fs::remove_all(root, ignored);
}

}  // namespace

int main() {
  ::setenv("TZ", "UTC", 1);
  BenchListing();
  BenchBackup();
  return 0;
}
