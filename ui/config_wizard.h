#pragma once
// The configuration wizard: Welcome, data directories, transaction logs,
// Vaultinfo directory, Completion. It builds a configuration plan through
// the plan rules, one assignment at a time, shows every refusal as its
// message boxes, and at Finish hands the plan to the configuration run in
// the "Configurator Status" dialog.
#include <QWizard>
#include <memory>

#include "config/plan.h"
#include "ui/console_model.h"
#include "ui/console_services.h"

namespace omb::ui {

class ConfigWizard : public QWizard {
  Q_OBJECT
 public:
  enum PageId { kWelcome, kData, kLogs, kVaultinfo, kCompletion };
  ConfigWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner);

  // The plan, read from the machine on its first use (the data page's
  // initialisation): the shared server list, the virtual disks, the Domino
  // program drive and the current Vaultinfo directory.
  config::ConfigurationPlan& plan();
  ConsoleModel& model() { return model_; }
  ConsoleServices& services() { return services_; }

 private:
  void PageEntered(int id);

  ConsoleModel& model_;
  ConsoleServices& services_;
  std::unique_ptr<config::ConfigurationPlan> plan_;
};

// The menu command and the Wizard tab's button: refuses while a Domino
// server or Notes client runs; otherwise the wizard, and at Finish the
// configuration run of its plan in the "Configurator Status" dialog.
void RunConfigWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner);

// Shows a plan check's boxes in turn (owner may be nullptr); true when the
// step was accepted.
bool ShowPlanCheck(Prompts& prompts, QWidget* owner, const config::PlanCheck& check);

}  // namespace omb::ui
