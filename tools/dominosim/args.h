#pragma once
// Command-line options of dominosim: "--name value" or "--name=value",
// and bare flags. Misuse raises UsageError, which main turns into one line
// on standard error and exit code 2.
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace omb::dominosim {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Args {
 public:
  // valued: options that take a value; flags: options that do not.
  Args(const std::vector<std::string>& words, const std::set<std::string>& valued,
       const std::set<std::string>& flags);
  bool Has(const std::string& name) const { return values_.count(name) > 0; }
  std::string Text(const std::string& name, const std::string& fallback) const;
  // A whole number in [low, high]; the fallback when the option is absent.
  int Number(const std::string& name, int fallback, int low, int high) const;
  // Fails unless the option was given.
  std::string Required(const std::string& name) const;

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace omb::dominosim
