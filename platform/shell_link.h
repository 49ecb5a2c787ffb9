#pragma once
// Shell links (.lnk files) of the simulated machine. A link is a small text
// file at the link's own path that holds its target, arguments, working
// directory and description:
//
//   [Shell Link]
//   Target=C:\Lotus\Domino\nserver.exe
//   Arguments==D:\Lotus\Domino\Data1\notes.ini
//
// Loading and saving answer as IPersistFile does: 0 (S_OK) or an HRESULT,
// a Win32 failure as 0x8007xxxx, so that FormatMessageText() explains it.
// A link is written atomically; a file that is not a link, or that is
// larger than any link can be, is refused without reading it whole.
#include <cstdint>
#include <string>
#include <string_view>

namespace omb::platform {

struct ShellLink {
  std::string target;
  std::string arguments;
  std::string workingDirectory;
  std::string description;
};

// Longest value a link keeps (the shell's INFOTIPSIZE); longer ones are refused.
inline constexpr size_t kMaxShellLinkValue = 1024;

// Results besides 0.
inline constexpr uint32_t kLinkNotFound = 0x80070002u;     // no such file
inline constexpr uint32_t kLinkPathNotFound = 0x80070003u; // no such folder
inline constexpr uint32_t kLinkInvalid = 0x80004005u;      // not a shell link (E_FAIL)
inline constexpr uint32_t kLinkBadValue = 0x80070057u;     // a value the file cannot hold

uint32_t LoadShellLink(std::string_view windowsPath, ShellLink& link);
// Replaces the file at the path; its folder must exist.
uint32_t SaveShellLink(std::string_view windowsPath, const ShellLink& link);

// The all-users Start menu Programs folder (CSIDL_COMMON_PROGRAMS).
std::string AllUsersProgramsFolder();

}  // namespace omb::platform
