#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/config_pages.h"
#include "ui/config_wizard.h"
#include "ui/control_ids.h"

namespace omb::ui {

namespace {

// The most characters the path may have.
constexpr int kPathLimit = 1024;

}  // namespace

ConfigVaultinfoPage::ConfigVaultinfoPage(ConfigWizard& wizard) : QWizardPage(&wizard), wizard_(wizard) {
  setObjectName(DialogName(dlg::kConfigVaultinfo));
  setTitle(tr("Where to put Vaultinfo files."));
  setSubTitle(tr("Select a directory to put backup information files."));
  auto* label = new QLabel(tr("Vaultinfo directory:"), this);
  path_ = new QLineEdit(this);
  path_->setObjectName(ControlName(ctl::kVaultinfoPath));
  path_->setMaxLength(kPathLimit);
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  browse->setObjectName(ControlName(ctl::kVaultinfoBrowse));
  auto* row = new QHBoxLayout;
  row->addWidget(path_, 1);
  row->addWidget(browse);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addLayout(row);
  layout->addStretch();
  connect(browse, &QPushButton::clicked, this, &ConfigVaultinfoPage::Browse);
}

void ConfigVaultinfoPage::initializePage() {
  if (path_->text().isEmpty()) {
    path_->setText(QString::fromStdString(wizard_.plan().ProposedVaultinfoPath()));
  }
}

void ConfigVaultinfoPage::Browse() {
  BrowseResult chosen =
      wizard_.services().folders.Browse(this, tr("Choose Storage Directory"), path_->text());
  if (chosen.kind != BrowseResult::Kind::Chosen) return;
  QString folder = chosen.windowsPath;
  // Joined with exactly one backslash, also below a drive's root ("E:\").
  if (!folder.endsWith(QLatin1Char('\\'))) folder += QLatin1Char('\\');
  path_->setText(folder + QStringLiteral("vaultinfo\\"));
}

bool ConfigVaultinfoPage::validatePage() {
  config::ConfigurationPlan& plan = wizard_.plan();
  const config::PlanCheck check =
      plan.SetVaultinfoPath(path_->text().toStdString(), wizard_.model().runServices().storage);
  if (check.accepted) path_->setText(QString::fromStdString(plan.vaultinfoPath()));
  return ShowPlanCheck(wizard_.services().prompts, nullptr, check);
}

}  // namespace omb::ui
