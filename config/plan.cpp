// The rules of a configuration plan, shared by the wizard and ombctl.
#include "config/plan.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>

#include "domino/discovery.h"
#include "domino/locks.h"
#include "domino/vaultinfo.h"
#include "platform/paths.h"

namespace omb::config {

namespace {

constexpr const char* kWizardError = "Configuration Wizard Error";
constexpr const char* kWizardWarning = "Configuration Wizard Warning";
constexpr const char* kVaultinfoError = "Vaultinfo Directory Error";
// The Vaultinfo page's edit box holds at most this many characters.
constexpr size_t kVaultinfoLimit = 1024;

PlanMessage Error(std::string text) { return {kWizardError, std::move(text), platform::MessageIcon::Error}; }
PlanMessage VaultinfoWarning(std::string text) {
  return {kVaultinfoError, std::move(text), platform::MessageIcon::Warning};
}
PlanCheck Refused(std::vector<PlanMessage> messages) { return {false, std::move(messages)}; }

char Upper(char letter) { return static_cast<char>(std::toupper(static_cast<unsigned char>(letter))); }

// The drive letter a path starts with ("X:..."), upper case; 0 without one.
char DriveLetterOf(const std::string& path) {
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) return 0;
  return Upper(path[0]);
}

std::string LoggingStyleName(const PartitionInfo& server) {
  switch (server.logStyleCode) {
    case 0: return "Circular";
    case 1: return "Archive";
    case 5119: return "No Logging";
    default: return "";
  }
}

const std::string& DirectoryOf(const PartitionInfo& server, PlanKind kind) {
  return kind == PlanKind::Data ? server.dataPath : server.logPath;
}

std::string ProgramDirectory() {
  std::string path;
  if (ReadRegistryValue("SOFTWARE\\Lotus\\Domino\\5.0", "Path", path) == 0) return path;
  if (ReadRegistryValue("SOFTWARE\\Lotus\\Domino", "Path", path) == 0) return path;
  return "";
}

// The drive letters of the component's virtual disks; false when the
// component cannot be asked.
bool ListVirtualDisks(storage::Component& component, std::vector<char>& drives) {
  std::unique_ptr<storage::DiskInterface> disks;
  std::vector<storage::VirtualDiskRecord> records;
  if (storage::Failed(component.GetDiskFactory())) return false;
  if (storage::Failed(component.CreateDiskInterface(disks)) || !disks) return false;
  if (storage::Failed(disks->QueryVirtualDisks(records))) return false;
  drives.clear();
  for (const storage::VirtualDiskRecord& record : records) {
    for (const std::u16string& letter : record.driveLetters) {
      if (!letter.empty() && letter[0] < 0x80 && std::isalpha(letter[0])) {
        drives.push_back(Upper(static_cast<char>(letter[0])));
      }
    }
  }
  return true;
}

bool Contains(const std::vector<char>& drives, char drive) {
  return std::find(drives.begin(), drives.end(), drive) != drives.end();
}

}  // namespace

bool LiesWithin(const std::string& inner, const std::string& outer) {
  if (inner.empty() || outer.empty()) return false;
  std::string base = outer;
  while (base.size() > 3 && base.back() == '\\') base.pop_back();
  if (platform::EqualsNoCase(inner, base)) return true;
  if (base.back() != '\\') base += '\\';
  return inner.size() > base.size() && platform::EqualsNoCase(inner.substr(0, base.size()), base);
}

int ReadPlanMachine(const RunServices& services, PlanMachine& machine) {
  ServerList list;
  const int result = DiscoverServers(list, services);
  machine.servers = list.servers;
  machine.virtualDisks.clear();
  ListVirtualDisks(services.storage, machine.virtualDisks);
  machine.programDrive = DriveLetterOf(ProgramDirectory());
  machine.currentVaultinfo = GetVaultinfoRoot();
  return result;
}

PlanCheck CheckDominoNotRunning() {
  if (!IsDominoRunning()) return {};
  return Refused({Error("Notes/Domino is running. Please shutdown it down before running the configuration")});
}

ConfigurationPlan::ConfigurationPlan(PlanMachine machine) : machine_(std::move(machine)) {
  for (char& drive : machine_.virtualDisks) drive = Upper(drive);
}

PlanCheck ConfigurationPlan::CheckVirtualDiskCount() const {
  const std::set<char> disks(machine_.virtualDisks.begin(), machine_.virtualDisks.end());
  if (disks.empty()) {
    return Refused({Error("There are no virtual disks.  Please add at least two (for the Data Directory "
                          "and Log Directory")});
  }
  if (disks.size() == 1) {
    return Refused({Error("You need at least two virtual disks (for the Data Directory and Log Directory")});
  }
  return {};
}

std::vector<char> ConfigurationPlan::VldChoices() const {
  std::set<char> taken;
  for (const PartitionInfo& server : machine_.servers) {
    taken.insert(DriveLetterOf(server.dataPath));
    taken.insert(DriveLetterOf(server.logPath));
  }
  for (const PlanEntry& entry : data_) taken.insert(entry.driveLetter);
  for (const PlanEntry& entry : logs_) taken.insert(entry.driveLetter);
  std::set<char> choices;
  for (char drive : machine_.virtualDisks) {
    if (!taken.count(drive)) choices.insert(drive);
  }
  return {choices.begin(), choices.end()};
}

std::vector<PartitionRow> ConfigurationPlan::AvailablePartitions(PlanKind kind) const {
  std::vector<PartitionRow> rows;
  for (const PartitionInfo& server : machine_.servers) {
    if (IsPlanned(kind, server.serverName)) continue;
    rows.push_back({server.serverName, DirectoryOf(server, kind), LoggingStyleName(server),
                    server.archiveLogging ? "Yes" : "No"});
  }
  return rows;
}

std::vector<PlannedRow> ConfigurationPlan::PlannedRows(PlanKind kind) const {
  std::vector<PlannedRow> rows;
  for (const PlanEntry& entry : ListOf(kind)) {
    rows.push_back({entry.server.serverName, DirectoryOf(entry.server, kind), entry.driveLetter});
  }
  return rows;
}

const PartitionInfo* ConfigurationPlan::FindServer(const std::string& serverName) const {
  for (const PartitionInfo& server : machine_.servers) {
    if (server.serverName == serverName) return &server;
  }
  return nullptr;
}

bool ConfigurationPlan::IsPlanned(PlanKind kind, const std::string& serverName) const {
  const std::vector<PlanEntry>& list = ListOf(kind);
  return std::any_of(list.begin(), list.end(),
                     [&](const PlanEntry& entry) { return entry.server.serverName == serverName; });
}

PlanCheck ConfigurationPlan::Assign(PlanKind kind, const std::string& serverName, char drive) {
  drive = Upper(drive);
  if (serverName.empty()) return Refused({Error("Please select a Domino Partition")});
  if (drive == 0) return Refused({Error("Please select a VLD")});
  const PartitionInfo* server = FindServer(serverName);
  // The wizard offers only the rows and drives that are free; a caller that
  // names others is refused before any rule is applied.
  if (server == nullptr || IsPlanned(kind, serverName)) {
    return Refused({Error(serverName + " cannot be configured: it is not a Domino partition of this "
                                       "computer, or it is planned already.")});
  }
  if (!Contains(VldChoices(), drive)) {
    return Refused({Error(std::string(1, drive) + ": is not a free virtual disk of this computer.")});
  }
  if (!server->archiveLogging) {
    return Refused({Error("Please enabled Archive style logging before configuring this Server"),
                    Error("Canceled")});
  }
  if (kind == PlanKind::Data && machine_.programDrive != 0 && drive == machine_.programDrive) {
    return Refused({Error("This VLD has Domino binaries on it.")});
  }
  PlanCheck check;
  PlanEntry entry{*server, kind, drive, false};
  if (kind == PlanKind::Data && LiesWithin(server->logPath, server->dataPath)) {
    entry.mustMoveLog = true;
    check.messages.push_back({kWizardWarning,
                              serverName + "'s transaction log directory is located within the data "
                                           "directory. The transaction log directory must be migrated "
                                           "to a virtual disk.",
                              platform::MessageIcon::Warning});
  }
  ListOf(kind).push_back(std::move(entry));
  return check;
}

PlanCheck ConfigurationPlan::Unassign(PlanKind kind, const std::string& serverName) {
  std::vector<PlanEntry>& list = ListOf(kind);
  auto found = std::find_if(list.begin(), list.end(),
                            [&](const PlanEntry& entry) { return entry.server.serverName == serverName; });
  if (serverName.empty() || found == list.end()) {
    return Refused({Error("Please select a Partition to reconfigure")});
  }
  list.erase(found);
  return {};
}

PlanCheck ConfigurationPlan::CheckLogsPage() const {
  for (const PlanEntry& entry : data_) {
    if (entry.mustMoveLog && !IsPlanned(PlanKind::Log, entry.server.serverName)) {
      return Refused({Error(entry.server.serverName + "'s log directory is within the data directory" +
                            ".  The log directory for this server must be configured for migration "
                            "before continuing.")});
    }
  }
  if (data_.empty() && logs_.empty()) return Refused({Error("Nothing to configure. Cannot continue")});
  return {};
}

std::string ConfigurationPlan::ProposedVaultinfoPath() const {
  if (!logs_.empty()) return std::string(1, logs_.front().driveLetter) + ":\\vaultinfo\\";
  std::string current = machine_.currentVaultinfo;
  if (!current.empty() && current.back() != '\\') current += '\\';
  return current;
}

std::optional<PlanMessage> ConfigurationPlan::VaultinfoDriveRefusal(char drive,
                                                                    storage::Component& component) const {
  std::vector<char> disks;
  if (!ListVirtualDisks(component, disks)) return VaultinfoWarning("Could not get a list of active drives");
  if (!Contains(disks, drive)) return std::nullopt;  // a local disk is accepted
  for (const PlanEntry& entry : data_) {
    if (entry.driveLetter == drive) {
      return VaultinfoWarning(
          "Vaultinfo Drive cannot exist on the same active drive as a 'to be configured' Data Directory\n");
    }
  }
  for (const PartitionInfo& server : machine_.servers) {
    if (DriveLetterOf(server.dataPath) == drive) {
      return VaultinfoWarning("Vaultinfo Drive cannot exist on the same active drive as an existing Data "
                              "Directory\n");
    }
  }
  return std::nullopt;
}

PlanCheck ConfigurationPlan::SetVaultinfoPath(const std::string& text, storage::Component& component) {
  if (text.empty()) return Refused({Error("The Vaultinfo path cannot be empty.")});
  const PlanMessage badFormat = Error("Bad format for Vaultinfo path. Please correct");
  std::string path = text;
  if (path.back() != '\\') path += '\\';
  const char drive = DriveLetterOf(path);
  if (path.size() > kVaultinfoLimit || drive == 0) return Refused({badFormat});
  if (std::optional<PlanMessage> refusal = VaultinfoDriveRefusal(drive, component)) {
    return Refused({*refusal, badFormat});
  }
  CreateDirectoryPath(path);
  if (DirectoryExists(path) != 0) {
    return Refused({VaultinfoWarning("Cannot create vaultinfo directory\n"), badFormat});
  }
  vaultinfo_ = path;
  return {true,
          {{"Configuration Wizard",
            "Vaultinfo Directory is " + path + ". It will be created (if necessary) during the configuration "
                                               "process.",
            platform::MessageIcon::Information}}};
}

ConfigureJob MakeConfigureJob(const ConfigurationPlan& plan, const RunServices& services) {
  ConfigureJob job(services);
  auto add = [](std::vector<MigrationEntry>& list, const PlanEntry& entry) {
    list.push_back({static_cast<char16_t>(entry.driveLetter), entry.server, static_cast<int>(entry.kind)});
  };
  for (const PlanEntry& entry : plan.dataEntries()) add(job.dataEntries, entry);
  for (const PlanEntry& entry : plan.logEntries()) add(job.logEntries, entry);
  job.vaultinfoPath = plan.vaultinfoPath();
  return job;
}

std::string ConfigurationPlan::Summary() const {
  std::string summary;
  if (!data_.empty()) {
    summary += "The following Data Directories will be moved:\r\n\r\n";
    for (const PlanEntry& entry : data_) {
      summary += entry.server.serverName + " data directory will be move to :" + "  " + entry.driveLetter + "\r\n";
    }
    summary += "\r\n";
  }
  if (!logs_.empty()) {
    summary += "The following Transaction Log directories will be moved:\r\n\r\n";
    for (const PlanEntry& entry : logs_) {
      summary += entry.server.serverName + " log directory will move to:" + "  " + entry.driveLetter + "\r\n";
    }
    summary += "\r\n";
  }
  summary += "The Vaultinfo Directory will be:\r\n  " + vaultinfo_ + "\r\n";
  return summary;
}

}  // namespace omb::config
