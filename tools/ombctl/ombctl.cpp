#include "tools/ombctl/ombctl.h"

#include <algorithm>
#include <exception>
#include <ostream>

#include "core/application.h"
#include "tools/ombctl/subcommands.h"

namespace omb::ctl {

namespace {

void PrintUsage(std::ostream& out) {
  out << "Usage: ombctl SUBCOMMAND [OPTIONS]\n"
         "       ombctl SUBCOMMAND --help\n"
         "       ombctl --version\n\n"
         "Subcommands:\n";
  for (const Subcommand& command : Subcommands()) {
    std::string name = command.name;
    name.resize(std::max<size_t>(name.size() + 2, 14), ' ');
    out << "  " << name << command.summary << "\n";
  }
}

const Subcommand* Find(const std::string& name) {
  for (const Subcommand& command : Subcommands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

}  // namespace

bool WantsHelp(const std::vector<std::string>& args) {
  return std::any_of(args.begin(), args.end(), [](const std::string& arg) { return arg == "-h" || arg == "--help"; });
}

const std::vector<Subcommand>& Subcommands() {
  static const std::vector<Subcommand> all = AllSubcommands();
  return all;
}

int CtlMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, RunServices services) {
  if (args.empty()) {
    PrintUsage(err);
    return kExitRefused;
  }
  if (args[0] == "-h" || args[0] == "--help") {
    PrintUsage(out);
    return kExitDone;
  }
  if (args[0] == "--version") {
    out << "ombctl " << VersionText() << "\n";
    return kExitDone;
  }
  const Subcommand* command = Find(args[0]);
  if (command == nullptr) {
    err << "ombctl: unknown subcommand '" << args[0] << "'; see 'ombctl --help'\n";
    return kExitRefused;
  }
  Invocation call{std::vector<std::string>(args.begin() + 1, args.end()), out, err, services};
  try {
    return command->run(call);
  } catch (const std::exception& failure) {
    // The machinery below a subcommand throws; the program ends with a
    // message, never with an escaped exception.
    err << "ombctl " << command->name << ": " << failure.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace omb::ctl
