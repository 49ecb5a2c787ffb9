#pragma once
// The configuration plan: which server's data and log directories move to
// which virtual disk, and where the Vaultinfo directory goes. The wizard
// builds it one assignment at a time, ombctl configure all at once; both go
// through the same rules here, and each refusal carries the message boxes
// the administrator sees, in the order they are shown. A refused step
// changes nothing in the plan.
#include <optional>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "core/services.h"
#include "domino/server_info.h"
#include "platform/messagebox.h"
#include "storage/storage.h"

namespace omb::config {

// What an entry moves; the numbers are those of the migration's entries.
enum class PlanKind : int { Log = kKindLog, Data = kKindData };

// One message box: the wizard shows it, ombctl prints it.
struct PlanMessage {
  std::string caption;
  std::string text;
  platform::MessageIcon icon = platform::MessageIcon::Error;
};

// The answer to one step: accepted or refused, and the boxes that go with
// it (a warning or a confirmation may accompany an accepted step).
struct PlanCheck {
  bool accepted = true;
  std::vector<PlanMessage> messages;
};

// One server and one kind of directory to move.
struct PlanEntry {
  PartitionInfo server;
  PlanKind kind = PlanKind::Data;
  char driveLetter = 0;  // upper case
  bool mustMoveLog = false;  // data entry whose log directory lies inside its data directory
};

// One row of the list of partitions that can still be assigned on a page.
struct PartitionRow {
  std::string serverName;
  std::string path;          // data directory, or log directory on the logs page
  std::string loggingStyle;  // "Circular", "Archive", "No Logging", or empty
  std::string canConfigure;  // "Yes" or "No"
};

// One row of a page's list of planned entries.
struct PlannedRow {
  std::string serverName;
  std::string from;  // the directory as it is now
  char to = 0;       // the target drive letter
};

// What the plan rules need to know of the machine.
struct PlanMachine {
  std::vector<PartitionInfo> servers;  // as discovery found them
  std::vector<char> virtualDisks;      // drive letters of every VLD, upper case
  char programDrive = 0;               // drive of the Domino program directory, 0 when unknown
  std::string currentVaultinfo;        // CHANGE_INFO_DIR, empty when not set
};

// Reads the machine: discovery through the services, the VLDs that the
// storage component reports, the program directory and omb.ini. Returns
// the discovery result (0 when every server was read).
int ReadPlanMachine(const RunServices& services, PlanMachine& machine);

// The refusal of the wizard and of ombctl while Domino or Notes runs.
PlanCheck CheckDominoNotRunning();

class ConfigurationPlan {
 public:
  explicit ConfigurationPlan(PlanMachine machine);

  // Entering the data page: at least two virtual disks must exist.
  PlanCheck CheckVirtualDiskCount() const;

  // Drives still free for an assignment, sorted: every VLD that holds no
  // server's data or log directory and no entry of either list.
  std::vector<char> VldChoices() const;
  // Partitions without an entry of that kind yet, in partition order.
  std::vector<PartitionRow> AvailablePartitions(PlanKind kind) const;
  // The entries of a page, in the order they were assigned.
  std::vector<PlannedRow> PlannedRows(PlanKind kind) const;

  // Assigns a drive to a server's directory. An empty name means that no
  // partition is selected, drive 0 that no VLD is selected.
  PlanCheck Assign(PlanKind kind, const std::string& serverName, char drive);
  // Takes a server's entry off the list again; an empty name means that no
  // row is selected.
  PlanCheck Unassign(PlanKind kind, const std::string& serverName);
  // Leaving the logs page: every server whose log directory lies in its
  // data directory must have its logs planned too, and something must be
  // planned at all.
  PlanCheck CheckLogsPage() const;

  // The path the Vaultinfo page offers first.
  std::string ProposedVaultinfoPath() const;
  // Checks the Vaultinfo path against the disks, creates the directory and,
  // when that worked, takes the normalised path (ending in a backslash)
  // into the plan. `component` lists the VLDs as they are now.
  PlanCheck SetVaultinfoPath(const std::string& text, storage::Component& component);

  // The summary of the completion page.
  std::string Summary() const;

  const std::vector<PlanEntry>& dataEntries() const { return data_; }
  const std::vector<PlanEntry>& logEntries() const { return logs_; }
  const std::string& vaultinfoPath() const { return vaultinfo_; }
  const PlanMachine& machine() const { return machine_; }

 private:
  std::vector<PlanEntry>& ListOf(PlanKind kind) { return kind == PlanKind::Data ? data_ : logs_; }
  const std::vector<PlanEntry>& ListOf(PlanKind kind) const {
    return kind == PlanKind::Data ? data_ : logs_;
  }
  const PartitionInfo* FindServer(const std::string& serverName) const;
  bool IsPlanned(PlanKind kind, const std::string& serverName) const;
  std::optional<PlanMessage> VaultinfoDriveRefusal(char drive, storage::Component& component) const;

  PlanMachine machine_;
  std::vector<PlanEntry> data_;
  std::vector<PlanEntry> logs_;
  std::string vaultinfo_;
};

// The plan as the configuration run takes it: its data and log entries
// and its Vaultinfo path, with the services the run works through.
ConfigureJob MakeConfigureJob(const ConfigurationPlan& plan, const RunServices& services);

// True when `inner` is `outer` or lies below it (compared as Windows
// compares names).
bool LiesWithin(const std::string& inner, const std::string& outer);

}  // namespace omb::config
