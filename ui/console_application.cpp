#include "ui/console_application.h"

#include <QApplication>

namespace omb::ui {

ConsoleApplication::ConsoleApplication(ops::Operations& local, ConsoleServices& services,
                                       const StartupSteps& steps, RemoteConnector connector,
                                       const RunServices& runs)
    : Application(steps, std::move(connector)), services_(services), model_(local, runs) {
  AddObserver(&ConsoleApplication::NotifyWindow, this);
}

ConsoleApplication::~ConsoleApplication() = default;

MainWindow& ConsoleApplication::CreateWindow() {
  if (!window_) window_ = std::make_unique<MainWindow>(model_, services_, *this);
  return *window_;
}

int ConsoleApplication::Run(int) {
  CreateWindow().show();
  return QApplication::exec();
}

void ConsoleApplication::Connect(const std::string& machineName, int& status) {
  Application::Connect(machineName, status);
  if (status != 0) return;
  // The remote client is both the session and the machine's operations.
  model_.SetRemote(dynamic_cast<ops::Operations*>(connection()));
  for (const auto& observer : observers_) observer.first(observer.second);
}

bool ConsoleApplication::Connect(const std::string& machineName) {
  int status = 1;
  Connect(machineName, status);
  return status == 0;
}

int ConsoleApplication::ConnectTo(const std::string& host) {
  int status = 1;
  Connect(host, status);
  return status;
}

void ConsoleApplication::AddObserver(Observer observer, void* user) {
  observers_.emplace_back(observer, user);
}

void ConsoleApplication::NotifyWindow(void* self) {
  auto* app = static_cast<ConsoleApplication*>(self);
  if (app->window_) app->window_->ConnectionChanged();
}

}  // namespace omb::ui
