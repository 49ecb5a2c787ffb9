// bench_restore: an up-to-the-minute restore of a server with 1,000
// databases and 100,000 logged changes, with the built-in Notes runtime and
// filer on a temporary machine root.
//
// The machine comes from dominosim. Backup 1 takes the snapshot that is
// restored; half of the changes follow it, backup 2 archives the extents
// they filled, the other half stay in the active log. The restore then
// copies the archived extents back, reverts the data disk, applies the
// change information and replays all 100,000 changes. The time of each
// step is taken from the moments its progress lines are emitted.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "backup/backup.h"
#include "domino/discovery.h"
#include "domino/locks.h"
#include "notes/runtime.h"
#include "platform/paths.h"
#include "reports/reports.h"
#include "restore/restore.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDatabases = 1000;
constexpr int kChanges = 100000;

#ifdef OMB_DOMINOSIM
const char* const kDominosim = OMB_DOMINOSIM;
#else
const char* const kDominosim = "dominosim";
#endif

// Records when each progress line was emitted.
class TimingWindow : public omb::ProgressObserver {
 public:
  void Text(std::string_view text) override { lines.emplace_back(Clock::now(), std::string(text)); }
  void Range(int, int, int) override {}
  void Step() override {}
  void Position(int) override {}
  void Busy(bool) override {}
  void Finished(bool) override {}

  // Time of the first line containing the marker.
  int Count(const std::string& marker) const {
    int count = 0;
    for (const auto& line : lines) count += line.second.find(marker) != std::string::npos ? 1 : 0;
    return count;
  }

  Clock::time_point When(const std::string& marker) const {
    for (const auto& [time, text] : lines) {
      if (text.find(marker) != std::string::npos) return time;
    }
    std::fprintf(stderr, "bench_restore: no progress line \"%s\"\n", marker.c_str());
    std::exit(1);
  }

  std::vector<std::pair<Clock::time_point, std::string>> lines;
};

bool DominoStopped() { return false; }

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "bench_restore: %s\n", what.c_str());
  std::exit(1);
}

void RunDominosim(const std::vector<std::string>& args) {
  pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>(kDominosim)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execvp(kDominosim, argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("dominosim init failed");
}

std::string MailDatabase(int i) { return "mail\\user" + std::to_string(i) + ".nsf"; }

omb::notes::Note Document(int database, int number) {
  omb::notes::Note note;
  omb::notes::SetItem(note, "Form", "Memo");
  omb::notes::SetItem(note, "Subject", "Message " + std::to_string(number) + " in " +
                                           std::to_string(database));
  omb::notes::SetItem(note, "Body", std::string(160, 'x'));
  return note;
}

// Writes `perDatabase` documents to every mail database, as the server would.
void WriteChanges(const std::string& notesIni, int perDatabase, int round) {
  omb::notes::Runtime writer;
  if (writer.InitRuntime({"=" + notesIni}) != 0) Fail("cannot start the writer runtime");
  for (int i = 1; i <= kDatabases; ++i) {
    std::vector<omb::notes::Note> documents;
    for (int d = 0; d < perDatabase; ++d) documents.push_back(Document(i, round * perDatabase + d));
    if (writer.AddDocuments(MailDatabase(i), std::move(documents)) != 0) Fail("write failed");
  }
  writer.TermRuntime();
}

std::map<std::string, omb::notes::DbSummary> Summaries(const std::string& notesIni) {
  omb::notes::Runtime reader;
  if (reader.InitRuntime({"=" + notesIni}) != 0) Fail("cannot start the reader runtime");
  std::map<std::string, omb::notes::DbSummary> summaries;
  for (int i = 1; i <= kDatabases; ++i) {
    omb::notes::DbSummary summary;
    if (reader.Summarize(MailDatabase(i), summary) != 0) Fail("cannot read " + MailDatabase(i));
    summaries[MailDatabase(i)] = summary;
  }
  reader.TermRuntime();
  return summaries;
}

bool Same(const std::map<std::string, omb::notes::DbSummary>& a,
          const std::map<std::string, omb::notes::DbSummary>& b) {
  for (const auto& [name, summary] : a) {
    auto other = b.find(name);
    if (other == b.end() || other->second.documents != summary.documents ||
        other->second.hash != summary.hash) {
      return false;
    }
  }
  return a.size() == b.size();
}

omb::PartitionInfo FindServer() {
  omb::ServerList list;
  omb::DiscoverServers(list, omb::DefaultRunServices());
  if (list.servers.empty()) Fail("discovery found no server");
  return list.servers.front();
}

void Backup(Clock::duration& spent) {
  omb::backup::BackupJob job;
  omb::DiscoverServers(job.servers, job.services);
  for (omb::PartitionInfo& server : job.servers.servers) server.selected = true;
  Clock::time_point start = Clock::now();
  if (omb::backup::RunBackup(job) != 0) Fail("backup failed");
  spent += Clock::now() - start;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/omb-bench-restore-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) Fail("cannot make a machine root");
  const std::filesystem::path root = pattern;
  ::setenv("OMB_MACHINE", root.c_str(), 1);
  ::setenv("TZ", "UTC", 1);
  omb::platform::SetMachineRoot(root);
  omb::SetDominoRunningCheck(&DominoStopped);  // other servers of this host are not ours

  std::printf("Building a server with %d databases...\n", kDatabases);
  RunDominosim({"init", "--databases", std::to_string(kDatabases)});
  omb::reports::EnsureReportFolder();
  omb::PartitionInfo server = FindServer();

  Clock::duration backupTime{};
  Backup(backupTime);
  WriteChanges(server.notesIniPath, kChanges / kDatabases / 2, 0);
  omb::LoadSnapshotList(server, omb::storage::CurrentComponent());
  if (server.snapshots.empty()) Fail("no snapshot after the first backup");
  omb::SnapshotEntry restored = server.snapshots.back();
  Backup(backupTime);
  WriteChanges(server.notesIniPath, kChanges / kDatabases / 2, 1);
  omb::LoadSnapshotList(server, omb::storage::CurrentComponent());
  for (const omb::SnapshotEntry& entry : server.snapshots) {
    if (entry.component.creationTime == restored.component.creationTime) restored = entry;
  }
  std::map<std::string, omb::notes::DbSummary> expected = Summaries(server.notesIniPath);

  TimingWindow window;
  omb::restore::RestoreJob job;
  job.progress.window = &window;
  job.server = server;
  job.snapshot = restored;
  job.pointInTime = 0;
  Clock::time_point start = Clock::now();
  int result = omb::restore::RunRestore(job);
  Clock::time_point end = Clock::now();
  if (result != 0) {
    std::fputs(job.progress.accumulated.c_str(), stderr);
    Fail("restore failed");
  }
  bool recovered = Same(expected, Summaries(server.notesIniPath));

  double preparation = Seconds(window.When("Determining necessary logs"),
                               window.When("Starting restore of snapshot"));
  double revert = Seconds(window.When("Starting restore of snapshot"), window.When("Snapshot restored."));
  double apply = Seconds(window.When("Applying change information"),
                         window.When("Change information applied."));
  double recovery = Seconds(window.When("Performing UP TO THE MINUTE"), window.When("Recovery COMPLETE"));
  double total = Seconds(start, end);

  std::printf("Restored snapshot %s (two backups took %.2f s)\n", restored.name.c_str(),
              std::chrono::duration<double>(backupTime).count());
  std::printf("databases                 %d\n", kDatabases);
  std::printf("changes replayed          %d\n", kChanges);
  std::printf("extents copied in advance  %d\n", window.Count("Copying log file : "));
  std::printf("extents found in log dir  %d\n", window.Count("in active log directory."));
  std::printf("every database recovered  %s\n", recovered ? "yes" : "NO");
  std::printf("log preparation           %8.3f s  %5.1f %%\n", preparation, 100 * preparation / total);
  std::printf("snapshot restore          %8.3f s  %5.1f %%\n", revert, 100 * revert / total);
  std::printf("change-information apply  %8.3f s  %5.1f %%\n", apply, 100 * apply / total);
  std::printf("recovery                  %8.3f s  %5.1f %%\n", recovery, 100 * recovery / total);
  std::printf("whole run                 %8.3f s\n", total);
  std::printf("recovery rate             %8.0f changes/s\n", kChanges / recovery);

  std::error_code ignored;
  if (!std::getenv("OMB_KEEP_BENCH_MACHINE")) std::filesystem::remove_all(root, ignored);
  return recovered ? 0 : 1;
}
