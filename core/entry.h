#pragma once
// The program entry: the console's single-instance guard, the report folder,
// the application object of the mode and its Run.
#include <functional>
#include <memory>

#include "core/application.h"

namespace omb {

// Builds the application object of one mode from the argument vector.
using AppFactory = std::function<std::unique_ptr<Application>(int argc, char** argv)>;

// The console's single-instance lock name.
constexpr const char* kConsoleMutexName = "{5C0E2A71-93D4-4b8e-A1F0-7D62C48E1B35}";

// What the program hands to the entry. The report folder belongs to the
// report store, a library above this one, so its preparation comes in as a
// step (reports::EnsureReportFolder); it may throw OMBError.
struct EntryPoints {
  AppFactory commandLine;
  AppFactory console;                       // empty: no console in this build
  std::function<void()> prepareReportFolder;  // empty: nothing to prepare
};

// Runs the program: with arguments the command-line application, without
// them the console (when one is given). Returns the exit code: Run's code,
// 0 when another console already runs, 1 when the application could not be
// built or no console is part of this build.
int RunEntry(int argc, char** argv, const EntryPoints& entry);

}  // namespace omb
