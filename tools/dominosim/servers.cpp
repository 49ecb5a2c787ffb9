#include "tools/dominosim/servers.h"

#include <optional>

#include "platform/paths.h"
#include "platform/registry.h"
#include "tools/dominosim/args.h"

namespace omb::dominosim {

namespace {

std::optional<std::string> Value(const std::string& key, const std::string& name) {
  std::optional<platform::RegValue> value = platform::ReadRegistry(key, name);
  if (!value || value->type == platform::RegType::Dword) return std::nullopt;
  return value->text;
}

std::optional<std::string> FirstOf(const std::string& name) {
  if (auto value = Value(kOldKey, name)) return value;
  return Value(kNewKey, name);
}

// The newer layout names its partitions "1,2,...,"; one separator means a
// single server.
bool NewLayoutSingle() {
  if (!Value(kNewKey, "Version")) return false;
  const std::string partitions = Value(kNewKey, "Partitions").value_or("");
  size_t separators = 0;
  for (char c : partitions) separators += c == ',';
  return separators == 1;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '\\') return folder + name;
  return folder + "\\" + name;
}

}  // namespace

std::vector<ServerPlace> FindServers() {
  std::vector<ServerPlace> servers;
  const bool single = NewLayoutSingle();
  for (int n = 1; n <= 8; ++n) {
    std::optional<std::string> data = Value(kOldKey, "PARTITION" + std::to_string(n));
    if (!data) data = Value(std::string(kNewKey) + "\\" + std::to_string(n), "DataPath");
    if (!data) {
      if (n > 1) break;
      data = FirstOf("DataPath");
      const std::optional<std::string> program = FirstOf("Path");
      if (data && program) servers.push_back({1, *data, Join(*program, "notes.ini")});
      break;
    }
    const std::optional<std::string> program = FirstOf("Path");
    const std::string iniFolder = single ? program.value_or(kProgramDir) : *data;
    servers.push_back({n, *data, Join(iniFolder, "notes.ini")});
    if (single) break;
  }
  return servers;
}

ServerPlace ServerByNumber(int number) {
  if (!std::filesystem::exists(platform::MachineRoot() / "registry")) {
    throw UsageError("no machine at " + platform::MachineRoot().string() +
                     " (create one with: dominosim init)");
  }
  for (const ServerPlace& server : FindServers()) {
    if (server.number == number) return server;
  }
  throw UsageError("unknown server " + std::to_string(number) + " on this machine");
}

}  // namespace omb::dominosim
