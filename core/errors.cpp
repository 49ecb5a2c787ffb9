#include "core/errors.h"

#include <sstream>

#include "platform/system.h"

namespace omb {

namespace {

constexpr const char* kMustBeNumber = "The argument must be a number.";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string NoArgumentText(const char* option, bool mustBeNumber) {
  std::string text = "No argument was specified to the " + Quoted(option) + " option.";
  if (mustBeNumber) text += std::string("  ") + kMustBeNumber;
  return text;
}

}  // namespace

const char* OMBError::what() const noexcept {
  try {
    what_ = message();
  } catch (...) {
    return "Unknown error.";
  }
  return what_.c_str();
}

COMInitFailure::COMInitFailure(uint32_t hr) : text_("Failure to initialize COM: ") {
  std::string systemText = platform::FormatMessageText(hr);
  text_ += systemText.empty() ? "Unknown error." : systemText;
}

CLIUnknownOption::CLIUnknownOption(const std::string& name)
    : text_("Unknown option: " + Quoted(name)) {}

std::string CLINoArgToBackupOption::message() const { return NoArgumentText("backup", false); }
std::string CLINoArgToDeleteOption::message() const { return NoArgumentText("delete", true); }
std::string CLINoArgToRestoreOption::message() const { return NoArgumentText("restore", true); }
std::string CLINoArgToSnapshotOption::message() const { return NoArgumentText("snapshot", true); }

CLIInvalidBackupOption::CLIInvalidBackupOption(const std::string& item,
                                               const std::string& argument)
    : text_("Invalid partition number " + Quoted(item) + " in backup option argument: " +
            Quoted(argument) + ".") {}

CLIInvalidNumberOption::CLIInvalidNumberOption(const char* option, const std::string& argument)
    : text_("Invalid argument to " + Quoted(option) + " option: " + Quoted(argument) + ".  " +
            kMustBeNumber) {}

std::string CLIArgToPointInTimeOption::message() const {
  return "An argument was specified to the " + Quoted("nr") +
         " option.  The option takes no argument.";
}

std::string CLIInvalidSnapshotNumber::message() const {
  std::ostringstream text;
  text << "Bad snapshot number: " << number_;
  return text.str();
}

std::string NetworkCmdFailure::message() const {
  std::ostringstream text;
  text << "Command " << command_ << " got response " << reply_ << "\n";
  return text.str();
}

}  // namespace omb
