#pragma once
// Message boxes. The command line shows them on standard error as
// "caption: text"; the console installs a Qt one; tests install a recorder.
#include <string_view>

namespace omb::platform {

enum class MessageIcon { None, Error, Information, Warning };

class MessageBoxPresenter {
 public:
  virtual ~MessageBoxPresenter() = default;
  virtual void Show(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
};

class StderrMessageBox : public MessageBoxPresenter {
 public:
  void Show(std::string_view text, std::string_view caption, MessageIcon icon) override;
};

// Shows through the presenter installed for the process (stderr by default).
void ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon);
// Installs a presenter (not owned; nullptr restores stderr). Returns the previous one.
MessageBoxPresenter* SetMessageBoxPresenter(MessageBoxPresenter* presenter);

}  // namespace omb::platform
