#include "ui/config_wizard.h"

#include <QApplication>

#include "ui/config_pages.h"
#include "ui/runs.h"
#include "ui/status_dialog.h"
#include "ui/wizard_style.h"

namespace omb::ui {

ConfigWizard::ConfigWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner)
    : QWizard(owner), model_(model), services_(services) {
  setObjectName(QStringLiteral("configWizard"));
  setWindowTitle(tr("Ombrel Configuration Wizard"));
  StyleWizard(*this);
  setPage(kWelcome, new ConfigWelcomePage(this));
  setPage(kData, new ConfigAssignPage(*this, config::PlanKind::Data));
  setPage(kLogs, new ConfigAssignPage(*this, config::PlanKind::Log));
  setPage(kVaultinfo, new ConfigVaultinfoPage(*this));
  setPage(kCompletion, new ConfigCompletionPage(*this));
  setStartId(kWelcome);
  // Qt initialises a page only when Next reaches it; the assignment pages
  // also rebuild their disk choices when Back returns to them.
  connect(this, &QWizard::currentIdChanged, this, &ConfigWizard::PageEntered);
}

config::ConfigurationPlan& ConfigWizard::plan() {
  if (!plan_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    config::PlanMachine machine;
    config::ReadPlanMachine(model_.runServices(), machine);
    // The partitions are those of the console's shared server list, listed
    // now when it is not current.
    machine.servers = model_.Servers().servers;
    plan_ = std::make_unique<config::ConfigurationPlan>(std::move(machine));
    QApplication::restoreOverrideCursor();
  }
  return *plan_;
}

void ConfigWizard::PageEntered(int id) {
  if (auto* assign = qobject_cast<ConfigAssignPage*>(page(id))) assign->Activate();
}

bool ShowPlanCheck(Prompts& prompts, QWidget* owner, const config::PlanCheck& check) {
  for (const config::PlanMessage& message : check.messages) {
    prompts.Show(owner, QString::fromStdString(message.text), QString::fromStdString(message.caption),
                 FromPlatformIcon(message.icon));
  }
  return check.accepted;
}

void RunConfigWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner) {
  if (!ShowPlanCheck(services.prompts, nullptr, config::CheckDominoNotRunning())) return;
  ConfigWizard wizard(model, services, owner);
  if (wizard.exec() != QDialog::Accepted) return;
  // The run gets its own copy of the plan; the wizard and its plan end here.
  StatusDialog dialog(StatusKind::Configurator, ConfigureRun(wizard.plan(), model.runServices()),
                      services, nullptr);
  dialog.exec();
  model.MarkServersStale();
}

}  // namespace omb::ui
