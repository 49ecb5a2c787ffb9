#include "core/services.h"

namespace omb {

namespace {

// The process's presenter as it is when a message is shown, so a front end
// that installs its own later is still used.
class ProcessMessageBox : public platform::MessageBoxPresenter {
 public:
  void Show(std::string_view text, std::string_view caption, platform::MessageIcon icon) override {
    platform::ShowMessageBox(text, caption, icon);
  }
};

}  // namespace

RunServices DefaultRunServices() {
  static ProcessMessageBox messages;
  return RunServices{notes::Api(), storage::CurrentComponent(), platform::SystemClock(), messages};
}

}  // namespace omb
