// dominosim: drives the Notes runtime from outside. It makes simulated
// machines with Domino servers, writes documents as a running server would,
// prints checksums, damages and compacts databases and stands in for a running server.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/dominosim/args.h"
#include "tools/dominosim/commands.h"

namespace {

constexpr const char* kUsage =
    "usage: dominosim <command> [options]\n"
    "  init [--servers N] [--layout 5|6] [--logging L[,L...]] [--databases K]\n"
    "       [--computer NAME] [--fresh]\n"
    "  write --server N --db PATH --docs K\n"
    "  delete --server N --db PATH --docs K\n"
    "  checksum --server N\n"
    "  damage --server N --db PATH\n"
    "  compact --server N --db PATH\n"
    "  serve --server N\n"
    "  info\n";

int Dispatch(const std::string& command, const std::vector<std::string>& words) {
  using namespace omb::dominosim;
  if (command == "init") return InitCommand(words);
  if (command == "write") return WriteCommand(words);
  if (command == "delete") return DeleteCommand(words);
  if (command == "checksum") return ChecksumCommand(words);
  if (command == "damage") return DamageCommand(words);
  if (command == "compact") return CompactCommand(words);
  if (command == "serve") return ServeCommand(words);
  if (command == "info") return InfoCommand(words);
  throw UsageError("unknown command \"" + command + "\" (try dominosim help)");
}

}  // namespace

int main(int argc, char** argv) {
  using omb::dominosim::Complain;
  if (argc < 2) {
    Complain("no command given (try dominosim help)");
    return 2;
  }
  const std::string command = argv[1];
  if (command == "help" || command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    return Dispatch(command, std::vector<std::string>(argv + 2, argv + argc));
  } catch (const omb::dominosim::UsageError& error) {
    Complain(error.what());
    return 2;
  } catch (const std::exception& error) {
    Complain(error.what());
    return 1;
  }
}
