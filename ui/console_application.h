#pragma once
// The console's application object: the machine it works on, the main
// window, and the observers told when the target machine changes.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/application.h"
#include "operations/operations.h"
#include "ui/console_model.h"
#include "ui/console_services.h"
#include "ui/main_window.h"

namespace omb::ui {

class ConsoleApplication : public Application, public ConsoleConnector {
 public:
  using Observer = void (*)(void* user);

  // local: the operations of this machine; services: the console's seams
  // (both outlive the application).
  // connector: the remote client's (empty: no other machine answers);
  // runs: what the console's runs work through.
  ConsoleApplication(ops::Operations& local, ConsoleServices& services,
                     const StartupSteps& steps = {}, RemoteConnector connector = {},
                     const RunServices& runs = DefaultRunServices());
  ~ConsoleApplication() override;

  // Creates and shows the main window and runs the event loop until it
  // closes; returns the loop's exit code.
  int Run(int showCommand) override;
  void Connect(const std::string& machineName, int& status) override;
  bool Connect(const std::string& machineName) override;
  int ConnectTo(const std::string& host) override;

  // Observers run in registration order after each successful Connect.
  void AddObserver(Observer observer, void* user);

  ConsoleModel& model() { return model_; }
  // The main window once Run or CreateWindow made it.
  MainWindow* window() const { return window_.get(); }
  MainWindow& CreateWindow();

 private:
  static void NotifyWindow(void* self);

  ConsoleServices& services_;
  ConsoleModel model_;
  std::unique_ptr<MainWindow> window_;
  std::vector<std::pair<Observer, void*>> observers_;
};

}  // namespace omb::ui
