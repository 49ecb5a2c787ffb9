#pragma once
// The machine root and the mapping of Windows paths onto host paths.
//
// Everything a simulated Windows machine holds lives below one directory,
// the machine root ($OMB_MACHINE). Windows paths ("D:\Lotus\Domino\Data")
// stay Windows paths everywhere in the program; only this layer turns them
// into host paths ($OMB_MACHINE/drives/D/Lotus/Domino/Data), resolving each
// component exactly first and then without regard to letter case.
#include <filesystem>
#include <string>
#include <string_view>

namespace omb::platform {

inline constexpr const char* kDefaultMachineRoot = "/var/lib/omb/machine";

// $OMB_MACHINE, or kDefaultMachineRoot when unset.
std::filesystem::path MachineRoot();

// Replaces the machine root for this process (tests; the remote service).
void SetMachineRoot(const std::filesystem::path& root);

// Host path of a Windows path. Accepts "X:\a\b", "X:/a/b", "x:" and "X:\";
// doubled backslashes count as one. Each existing component is matched
// case-insensitively; missing components keep the caller's spelling.
// A path without a drive letter resolves against drive C:'s root.
std::filesystem::path HostPath(std::string_view windowsPath);

// Host folder of a drive letter ($OMB_MACHINE/drives/<upper letter>).
std::filesystem::path DriveFolder(char driveLetter);

// Windows path of a host path below the drives folder ("" when outside it).
std::string WindowsPath(const std::filesystem::path& hostPath);

// Upper-case drive letter of a Windows path, or 0 when it has none.
char DriveOf(std::string_view windowsPath);

// Joins a folder and a name with exactly one backslash between them.
std::string JoinPath(std::string_view folder, std::string_view name);

// The parts of a Windows path as _splitpath gives them.
struct PathParts {
  std::string drive;      // "D:"
  std::string directory;  // "\\Lotus\\Domino\\"
  std::string fileName;   // "a"
  std::string extension;  // ".nsf"
  std::string driveAndDirectory() const { return drive + directory; }
};
PathParts SplitPath(std::string_view path);

// Case-insensitive ASCII comparison, as Windows compares names.
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string ToUpper(std::string_view text);
std::string ToLower(std::string_view text);

}  // namespace omb::platform
