// The registry file is read as UTF-8 or, when it starts with a byte-order
// mark, as UTF-16LE (what "reg export" writes), so a file taken from a real
// machine can be dropped in. It is always rewritten as UTF-8 without a BOM:
// the program's texts are narrow, and a UTF-8 file can be read and diffed
// with ordinary tools.
#include "platform/registry.h"

#include <filesystem>

#include "platform/host_io.h"
#include "platform/paths.h"
#include "platform/posix_io.h"
#include "platform/reg_format.h"

namespace omb::platform {

namespace {

using detail::RegEntry;
using detail::RegHive;
using detail::RegSection;
using detail::Update;

constexpr std::string_view kHiveName = "HKEY_LOCAL_MACHINE";
constexpr size_t kMaxRegistryBytes = 32u << 20;

std::filesystem::path RegistryFile() { return MachineRoot() / "registry" / "HKLM.reg"; }

std::string FullKeyPath(std::string_view subkey) {
  std::string relative = detail::NormalizeKeyPath(subkey);
  return relative.empty() ? std::string(kHiveName) : std::string(kHiveName) + "\\" + relative;
}

RegHive LoadHive() {
  std::string bytes;
  if (detail::ReadHostFile(RegistryFile(), bytes) != 0 || bytes.size() > kMaxRegistryBytes) return {};
  return detail::ParseRegFile(bytes);
}

bool IsSameOrBelow(std::string_view path, std::string_view key) {
  if (path.size() == key.size()) return EqualsNoCase(path, key);
  return path.size() > key.size() && path[key.size()] == '\\' && EqualsNoCase(path.substr(0, key.size()), key);
}

bool KeyPresent(const RegHive& hive, std::string_view fullKey) {
  for (const RegSection& section : hive.sections) {
    if (IsSameOrBelow(section.path, fullKey)) return true;
  }
  return false;
}

// The value line that an import would leave in force: of all lines of that
// name in the sections of that key, the last one.
RegEntry* FindEntry(RegHive& hive, std::string_view fullKey, std::string_view name) {
  for (auto section = hive.sections.rbegin(); section != hive.sections.rend(); ++section) {
    if (!EqualsNoCase(section->path, fullKey)) continue;
    for (auto entry = section->entries.rbegin(); entry != section->entries.rend(); ++entry) {
      if (entry->named && EqualsNoCase(entry->name, name)) return &*entry;
    }
  }
  return nullptr;
}

RegSection* FindSection(RegHive& hive, std::string_view fullKey) {
  for (RegSection& section : hive.sections) {
    if (EqualsNoCase(section.path, fullKey)) return &section;
  }
  return nullptr;
}

// Adds the sections of the key and of each missing parent, as an export
// lists every key.
RegSection& AddKeyWithParents(RegHive& hive, const std::string& fullKey) {
  size_t cut = fullKey.find('\\');
  do {
    cut = cut == std::string::npos ? cut : fullKey.find('\\', cut + 1);
    std::string path = fullKey.substr(0, cut);
    if (FindSection(hive, path) == nullptr) hive.sections.push_back({path, {}});
  } while (cut != std::string::npos);
  return *FindSection(hive, fullKey);
}

// Key and value names are written as they are, inside one line of the file:
// a line break would end the line early and start a section of its own.
bool Writable(std::string_view name) {
  return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool UpdateHive(const std::function<Update(RegHive&)>& change) {
  std::filesystem::path file = RegistryFile();
  MakeDirectory(file.parent_path());  // the first write makes the folder
  return detail::UpdateHostFileLocked(file, kMaxRegistryBytes, [&change](std::string& bytes) {
    RegHive hive = detail::ParseRegFile(bytes);
    Update decision = change(hive);
    if (decision == Update::Write) bytes = detail::FormatRegFile(hive);
    return decision;
  });
}

}  // namespace

bool RegistryKeyExists(std::string_view subkey) {
  return KeyPresent(LoadHive(), FullKeyPath(subkey));
}

std::optional<RegValue> ReadRegistry(std::string_view subkey, std::string_view valueName) {
  RegHive hive = LoadHive();
  const RegEntry* entry = FindEntry(hive, FullKeyPath(subkey), valueName);
  if (entry == nullptr || entry->kind != RegEntry::Kind::Value) return std::nullopt;
  return entry->value;
}

bool WriteRegistry(std::string_view subkey, std::string_view valueName, const RegValue& value,
                   bool createKey) {
  if (!Writable(subkey) || !Writable(valueName)) return false;
  std::string fullKey = FullKeyPath(subkey);
  return UpdateHive([&](RegHive& hive) {
    if (RegEntry* existing = FindEntry(hive, fullKey, valueName)) {
      existing->kind = RegEntry::Kind::Value;
      existing->value = value;
      existing->verbatim.clear();
      return Update::Write;
    }
    if (!createKey && !KeyPresent(hive, fullKey)) return Update::Refuse;
    RegEntry entry;
    entry.named = true;
    entry.name = std::string(valueName);
    entry.value = value;
    AddKeyWithParents(hive, fullKey).entries.push_back(std::move(entry));
    return Update::Write;
  });
}

bool CreateRegistryKey(std::string_view subkey) {
  if (!Writable(subkey)) return false;
  std::string fullKey = FullKeyPath(subkey);
  return UpdateHive([&](RegHive& hive) {
    if (FindSection(hive, fullKey) != nullptr) return Update::Unchanged;
    AddKeyWithParents(hive, fullKey);
    return Update::Write;
  });
}

bool DeleteRegistryValue(std::string_view subkey, std::string_view valueName) {
  std::string fullKey = FullKeyPath(subkey);
  return UpdateHive([&](RegHive& hive) {
    bool removed = false;
    for (RegSection& section : hive.sections) {
      if (!EqualsNoCase(section.path, fullKey)) continue;
      std::erase_if(section.entries, [&](const RegEntry& entry) {
        bool match = entry.named && EqualsNoCase(entry.name, valueName);
        removed = removed || match;
        return match;
      });
    }
    return removed ? Update::Write : Update::Refuse;
  });
}

}  // namespace omb::platform
