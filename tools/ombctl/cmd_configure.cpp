// ombctl configure: the configuration without the wizard. The same plan
// rules decide what may move where; every refusal prints the box the wizard
// would show and changes nothing.
#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "config/plan.h"
#include "core/observer.h"
#include "core/progress.h"
#include "reports/reports.h"
#include "tools/ombctl/listing.h"
#include "tools/ombctl/ombctl.h"
#include "tools/ombctl/stream_observer.h"

namespace omb::ctl {

namespace {

constexpr const char* kUsage =
    "Usage: ombctl configure --data P=X: --log P=Y: [--data ... --log ...] --vaultinfo PATH\n"
    "\n"
    "Moves the data directory (--data) and the transaction-log directory (--log) of\n"
    "Domino partition P to the same path on virtual disk X: or Y:, repoints the\n"
    "registry, notes.ini, the server document and the start-menu shortcut, and\n"
    "creates the Vaultinfo directory PATH. Every rule of the configuration wizard\n"
    "applies; a refused plan changes nothing. Domino must not be running.\n"
    "\n"
    "Exit status: 0 configured, 1 refused (nothing changed), 2 the configuration failed.\n";

struct Assignment {
  config::PlanKind kind;
  int partition = 0;
  char drive = 0;
};

struct ConfigureOptions {
  std::vector<Assignment> assignments;  // data first, then logs, each in the order given
  std::string vaultinfo;
};

class OptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "P=X:" (or "P=X"): a partition number 1..8 and a drive letter.
Assignment ParseAssignment(config::PlanKind kind, const std::string& option, const std::string& value) {
  const size_t equals = value.find('=');
  const std::string number = value.substr(0, equals);
  std::string drive = equals == std::string::npos ? "" : value.substr(equals + 1);
  if (drive.size() == 2 && drive[1] == ':') drive.pop_back();
  if (number.size() != 1 || number[0] < '1' || number[0] > '8' || drive.size() != 1 ||
      !std::isalpha(static_cast<unsigned char>(drive[0]))) {
    throw OptionError(option + " takes PARTITION=DRIVE: such as 1=E:, not '" + value + "'");
  }
  return {kind, number[0] - '0', static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])))};
}

ConfigureOptions ParseOptions(const std::vector<std::string>& args) {
  ConfigureOptions options;
  std::vector<Assignment> logs;
  bool haveVaultinfo = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    const size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    } else if (name == "--data" || name == "--log" || name == "--vaultinfo") {
      if (i + 1 >= args.size()) throw OptionError(name + " needs a value");
      value = args[++i];
    }
    if (name == "--data") {
      options.assignments.push_back(ParseAssignment(config::PlanKind::Data, name, value));
    } else if (name == "--log") {
      logs.push_back(ParseAssignment(config::PlanKind::Log, name, value));
    } else if (name == "--vaultinfo") {
      if (haveVaultinfo) throw OptionError("--vaultinfo is given twice");
      options.vaultinfo = value;
      haveVaultinfo = true;
    } else {
      throw OptionError("unknown option '" + args[i] + "'");
    }
  }
  if (options.assignments.empty() && logs.empty()) throw OptionError("give at least one --data or --log");
  if (!haveVaultinfo) throw OptionError("--vaultinfo PATH is required");
  options.assignments.insert(options.assignments.end(), logs.begin(), logs.end());
  return options;
}

// Each box of a step as the command line shows boxes: "caption: text".
// Warnings and refusals go to standard error, confirmations to standard
// output.
void Show(const config::PlanCheck& check, Invocation& call) {
  for (const config::PlanMessage& message : check.messages) {
    std::string text = message.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::ostream& stream = message.icon == platform::MessageIcon::Information ? call.out : call.err;
    stream << message.caption << ": " << text << "\n";
  }
}

const PartitionInfo* PartitionByNumber(const config::PlanMachine& machine, int number) {
  for (const PartitionInfo& server : machine.servers) {
    if (server.partitionNumber == number) return &server;
  }
  return nullptr;
}

// Applies every rule in the wizard's order; false (after printing why) at
// the first refusal.
bool BuildPlan(const ConfigureOptions& options, config::ConfigurationPlan& plan, Invocation& call) {
  auto accepted = [&call](const config::PlanCheck& check) {
    Show(check, call);
    return check.accepted;
  };
  if (!accepted(plan.CheckVirtualDiskCount())) return false;
  for (const Assignment& assignment : options.assignments) {
    const PartitionInfo* server = PartitionByNumber(plan.machine(), assignment.partition);
    if (server == nullptr) {
      call.err << "ombctl configure: this computer has no Domino partition " << assignment.partition << "\n";
      return false;
    }
    if (!accepted(plan.Assign(assignment.kind, server->serverName, assignment.drive))) return false;
  }
  if (!accepted(plan.CheckLogsPage())) return false;
  return accepted(plan.SetVaultinfoPath(options.vaultinfo, call.services.storage));
}

}  // namespace

int RunConfigure(Invocation& call) {
  if (WantsHelp(call.args)) {
    call.out << kUsage;
    return kExitDone;
  }
  ConfigureOptions options;
  try {
    options = ParseOptions(call.args);
  } catch (const OptionError& error) {
    call.err << "ombctl configure: " << error.what() << "; see 'ombctl configure --help'\n";
    return kExitRefused;
  }
  const config::PlanCheck running = config::CheckDominoNotRunning();
  if (!running.accepted) {
    Show(running, call);
    return kExitRefused;
  }
  config::PlanMachine machine;
  if (const int result = config::ReadPlanMachine(call.services, machine); result != 0) {
    call.err << "ombctl configure: could not read the Domino servers of this computer (status " << result
             << ")\n";
    return kExitFailed;
  }
  config::ConfigurationPlan plan(std::move(machine));
  if (!BuildPlan(options, plan, call)) return kExitRefused;
  call.out << plan.Summary() << "\n";

  // The run saves its report, as omb's entry does before a run.
  reports::EnsureReportFolder();
  StreamObserver observer(call.out);
  config::ConfigureJob job = config::MakeConfigureJob(plan, call.services);
  job.progress.window = &observer;
  return config::RunConfiguration(job) == 0 ? kExitDone : kExitFailed;
}

}  // namespace omb::ctl
