// ombctl servers: the Domino servers of the machine as discovery finds
// them. Only the fields that the remote service's server list carries are
// shown, so the listing of a machine is the same asked here or through
// its service.
#include <ostream>

#include "tools/ombctl/listing.h"

namespace omb::ctl {

namespace {

constexpr const char* kName = "servers";

constexpr const char* kHelp =
    "Usage: ombctl servers [--json] [--host H[:PORT]]\n\n"
    "Lists the Domino servers of the machine: name, notes.ini, data and log\n"
    "folders with their virtual disks, logging style and snapshots.\n";

std::string DriveText(char drive) { return drive == 0 ? "" : std::string(1, drive); }

nlohmann::ordered_json DiskJson(const VldInfo& disk) {
  nlohmann::ordered_json json;
  json["on_vld"] = disk.onVld;
  json["drive"] = DriveText(disk.driveLetter);
  json["filer"] = disk.filer;
  json["volume"] = disk.volume;
  json["file_name"] = disk.fileName;
  json["volume_path"] = disk.volumePath;
  json["storage_path"] = disk.storagePath;
  return json;
}

nlohmann::ordered_json ServerJson(const PartitionInfo& server) {
  nlohmann::ordered_json json;
  json["partition"] = server.partitionNumber;
  json["name"] = server.serverName;
  json["short_name"] = server.shortName;
  json["notes_ini"] = server.notesIniPath;
  json["data_path"] = server.dataPath;
  json["log_path"] = server.logPath;
  json["log_style"] = server.logStyle;
  json["log_style_code"] = server.logStyleCode;
  json["archive_logging"] = server.archiveLogging != 0;
  json["notes_readable"] = server.notesReadable;
  json["partitioned"] = server.partitioned;
  json["data_disk"] = DiskJson(server.dataDisk);
  json["log_disk"] = DiskJson(server.logDisk);
  nlohmann::ordered_json snapshots = nlohmann::ordered_json::array();
  for (const SnapshotEntry& entry : server.snapshots) {
    snapshots.push_back({{"name", entry.name}, {"created", UtcTimeText(entry.component.creationTime)}});
  }
  json["snapshots"] = std::move(snapshots);
  return json;
}

void WriteServersJson(std::ostream& out, const ServerList& list) {
  nlohmann::ordered_json document = JsonDocument("servers");
  document["machine"] = list.machineName;
  document["partitioned"] = list.partitioned;
  nlohmann::ordered_json servers = nlohmann::ordered_json::array();
  for (const PartitionInfo& server : list.servers) servers.push_back(ServerJson(server));
  document["servers"] = std::move(servers);
  WriteJson(out, document);
}

std::string DiskText(const VldInfo& disk) {
  if (!disk.onVld) return "not on a virtual disk";
  return "drive " + DriveText(disk.driveLetter) + ":, filer " + disk.filer + ", volume " + disk.volume + ", file " +
         disk.fileName;
}

void WriteServersText(std::ostream& out, const ServerList& list) {
  out << "Machine: " << list.machineName << "\n";
  out << "Partitioned: " << (list.partitioned ? "yes" : "no") << "\n";
  for (const PartitionInfo& server : list.servers) {
    out << "\nServer " << server.partitionNumber << ": " << server.serverName << "\n";
    out << "  notes.ini:  " << server.notesIniPath << "\n";
    out << "  Data path:  " << server.dataPath << "\n";
    out << "  Data disk:  " << DiskText(server.dataDisk) << "\n";
    out << "  Log path:   " << server.logPath << "\n";
    out << "  Log disk:   " << DiskText(server.logDisk) << "\n";
    out << "  Log style:  " << server.logStyle << "\n";
    out << "  Snapshots:  " << server.snapshots.size() << "\n";
  }
  if (list.servers.empty()) out << "\nNo Domino server found.\n";
}

}  // namespace

int RunServers(Invocation& call) {
  if (WantsHelp(call.args)) {
    call.out << kHelp;
    return kExitDone;
  }
  ListingOptions options;
  std::string error;
  if (!ParseListingOptions(call.args, {}, options, error)) return Refuse(call, kName, error);
  if (!options.positional.empty()) return Refuse(call, kName, "takes no arguments");
  Machine machine;
  if (!machine.Open(options.host, call.services, error)) return Refuse(call, kName, error);
  ServerList list;
  const int result = machine.operations().ListServers(list);
  if (options.json) WriteServersJson(call.out, list);
  else WriteServersText(call.out, list);
  if (result != 0) {
    call.err << "ombctl servers: discovery ended with " << result << "; the list holds what was found\n";
    return kExitFailed;
  }
  return kExitDone;
}

}  // namespace omb::ctl
