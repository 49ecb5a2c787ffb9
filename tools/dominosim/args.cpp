#include "tools/dominosim/args.h"

namespace omb::dominosim {

Args::Args(const std::vector<std::string>& words, const std::set<std::string>& valued,
           const std::set<std::string>& flags) {
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.rfind("--", 0) != 0) throw UsageError("unexpected argument \"" + word + "\"");
    std::string name = word.substr(2);
    std::string value;
    const size_t equals = name.find('=');
    const bool inlineValue = equals != std::string::npos;
    if (inlineValue) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    if (flags.count(name)) {
      if (inlineValue) throw UsageError("option --" + name + " takes no value");
    } else if (valued.count(name)) {
      if (!inlineValue) {
        if (i + 1 >= words.size()) throw UsageError("option --" + name + " needs a value");
        value = words[++i];
      }
    } else {
      throw UsageError("unknown option --" + name);
    }
    values_[name] = value;
  }
}

std::string Args::Text(const std::string& name, const std::string& fallback) const {
  auto found = values_.find(name);
  return found == values_.end() ? fallback : found->second;
}

int Args::Number(const std::string& name, int fallback, int low, int high) const {
  auto found = values_.find(name);
  if (found == values_.end()) return fallback;
  const std::string& text = found->second;
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
    throw UsageError("option --" + name + " needs a number, not \"" + text + "\"");
  }
  const int value = std::stoi(text);
  if (value < low || value > high) {
    throw UsageError("option --" + name + " must lie between " + std::to_string(low) + " and " +
                     std::to_string(high));
  }
  return value;
}

std::string Args::Required(const std::string& name) const {
  auto found = values_.find(name);
  if (found == values_.end() || found->second.empty()) {
    throw UsageError("option --" + name + " is required");
  }
  return found->second;
}

}  // namespace omb::dominosim
