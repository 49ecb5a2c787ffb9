#include "tools/ombctl/subcommands.h"

namespace omb::ctl {

int RunSchedule(Invocation& call);
int RunVersion(Invocation& call);
int RunServers(Invocation& call);
int RunSnapshots(Invocation& call);
int RunReports(Invocation& call);
int RunReport(Invocation& call);
int RunStatus(Invocation& call);
int RunConfigure(Invocation& call);
int RunRestore(Invocation& call);
int RunPin(Invocation& call);
int RunUnpin(Invocation& call);
int RunArchiveLogs(Invocation& call);
int RunRestoreDb(Invocation& call);

std::vector<Subcommand> AllSubcommands() {
  return {
      {"servers", "list the Domino servers of the machine", &RunServers},
      {"snapshots", "list the snapshots, their numbers and the logs they need", &RunSnapshots},
      {"pin", "keep a snapshot from excess deletion", &RunPin},
      {"unpin", "let excess deletion count a pinned snapshot again", &RunUnpin},
      {"reports", "list the run reports", &RunReports},
      {"report", "show or delete one report", &RunReport},
      {"restore-db", "restore one database from a snapshot while the server runs", &RunRestoreDb},
      {"status", "health check for monitoring (exit 0 OK .. 3 UNKNOWN)", &RunStatus},
      {"restore", "restore a snapshot: up to the minute, point in time or to a time", &RunRestore},
      {"configure", "move data and log directories onto virtual disks", &RunConfigure},
      {"archive-logs", "archive ready log extents between backups", &RunArchiveLogs},
      {"schedule", "create, list and export scheduled backup jobs", &RunSchedule},
      {"version", "print the version of ombctl", &RunVersion},
  };
}

}  // namespace omb::ctl
