#pragma once
// Times given on ombctl's command line.
#include <cstdint>
#include <string>

namespace omb::ctl {

// "YYYY-MM-DD HH:MM:SS" (or with "T" between date and time) in this
// machine's local time, as a UTC FILETIME. False for anything else and for
// dates that do not exist (2026-02-30) or local times that a clock change
// skips.
bool ParseLocalTime(const std::string& text, uint64_t& fileTime);

}  // namespace omb::ctl
