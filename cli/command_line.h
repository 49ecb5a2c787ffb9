#pragma once
// The command-line application: takes the command-line lock, parses the
// options and runs what they ask for.
#include <memory>

#include "cli/options.h"
#include "core/application.h"

namespace omb {

class CommandLineApplication : public Application {
 public:
  explicit CommandLineApplication(const CliOptions& options);
  // 1 when the options were invalid (nothing runs), otherwise 0.
  int Run(int showCommand) override;

 private:
  CliOptions options_;
};

// Takes the command-line lock (another command line holding it ends the
// process with exit status 255 after a message box), parses the options and
// builds the application.
std::unique_ptr<Application> CreateCommandLineApplication(int argc, char** argv);

}  // namespace omb
