#include "platform/test_steps.h"

#ifdef OMB_TEST_HOOKS

#include <csignal>
#include <cstdlib>
#include <mutex>
#include <string>

namespace omb::platform {

namespace {

struct StepAction {
  std::string name;
  long occurrence = 1;
  int signal = 0;
};

// Parses OMB_TEST_STEP once; a malformed value acts on no step.
const StepAction& Action() {
  static const StepAction action = [] {
    StepAction parsed;
    const char* text = std::getenv("OMB_TEST_STEP");
    if (text == nullptr) return parsed;
    std::string value(text);
    const size_t colon = value.rfind(':');
    if (colon == std::string::npos) return parsed;
    const std::string what = value.substr(colon + 1);
    std::string step = value.substr(0, colon);
    const size_t hash = step.find('#');
    if (hash != std::string::npos) {
      parsed.occurrence = std::strtol(step.c_str() + hash + 1, nullptr, 10);
      step.resize(hash);
    }
    parsed.signal = what == "kill" ? SIGKILL : what == "term" ? SIGTERM : 0;
    parsed.name = step;
    return parsed;
  }();
  return action;
}

}  // namespace

void ReachStep(const char* name) {
  const StepAction& action = Action();
  if (action.signal == 0 || action.name != name) return;
  static std::mutex mutex;
  static long passes = 0;
  std::lock_guard guard(mutex);
  if (++passes == action.occurrence) std::raise(action.signal);
}

}  // namespace omb::platform

#endif
