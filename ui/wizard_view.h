#pragma once
// The Configurator Wizard tab: the three buttons that start the wizards.
#include "ui/console_view.h"

class QPushButton;

namespace omb::ui {

class WizardView : public ConsoleView {
  Q_OBJECT
 public:
  explicit WizardView(QWidget* parent);
  void Activate() override {}
  void Deactivate() override {}
  void Refresh() override {}
  QPushButton* configButton() const { return config_; }

 signals:
  void configRequested();
  void backupRequested();
  void restoreRequested();

 private:
  QPushButton* config_;
};

}  // namespace omb::ui
