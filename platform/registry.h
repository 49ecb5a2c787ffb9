#pragma once
// HKEY_LOCAL_MACHINE, kept in $OMB_MACHINE/registry/HKLM.reg in the format
// of Windows .reg exports. Key and value names compare without regard to
// case; value types are kept. Reading accepts UTF-8 and UTF-16LE with a BOM.
// Every update is a read-modify-write under an exclusive lock, written to a
// temporary file, flushed and renamed over the old file.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace omb::platform {

enum class RegType { String, ExpandString, Dword };

struct RegValue {
  RegType type = RegType::String;
  std::string text;      // String and ExpandString
  uint32_t number = 0;   // Dword
};

// Subkeys are relative to HKEY_LOCAL_MACHINE ("SOFTWARE\\Lotus\\Domino").
bool RegistryKeyExists(std::string_view subkey);
std::optional<RegValue> ReadRegistry(std::string_view subkey, std::string_view valueName);
// Creates the key (and its parents) when createKey is true; otherwise fails
// when the key is missing. Returns true when written.
bool WriteRegistry(std::string_view subkey, std::string_view valueName, const RegValue& value,
                   bool createKey);
bool CreateRegistryKey(std::string_view subkey);
bool DeleteRegistryValue(std::string_view subkey, std::string_view valueName);

}  // namespace omb::platform
