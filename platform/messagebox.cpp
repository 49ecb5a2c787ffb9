#include "platform/messagebox.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace omb::platform {

namespace {

StderrMessageBox& DefaultPresenter() {
  static StderrMessageBox presenter;
  return presenter;
}

std::atomic<MessageBoxPresenter*>& InstalledPresenter() {
  static std::atomic<MessageBoxPresenter*> presenter{nullptr};
  return presenter;
}

}  // namespace

void StderrMessageBox::Show(std::string_view text, std::string_view caption, MessageIcon) {
  // One piece of output, so that boxes from several threads do not mix.
  std::string line;
  line.reserve(caption.size() + text.size() + 3);
  line.append(caption).append(": ").append(text).append("\n");
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void ShowMessageBox(std::string_view text, std::string_view caption, MessageIcon icon) {
  MessageBoxPresenter* presenter = InstalledPresenter().load();
  if (presenter == nullptr) presenter = &DefaultPresenter();
  presenter->Show(text, caption, icon);
}

MessageBoxPresenter* SetMessageBoxPresenter(MessageBoxPresenter* presenter) {
  return InstalledPresenter().exchange(presenter);
}

}  // namespace omb::platform
