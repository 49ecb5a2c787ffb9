#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include "ui/config_pages.h"
#include "ui/config_wizard.h"
#include "ui/control_ids.h"

namespace omb::ui {

namespace {

constexpr int kColumnWidth = 100;

QTreeWidget* ListView(const QStringList& columns, int id, QWidget* parent) {
  auto* view = new QTreeWidget(parent);
  view->setObjectName(ControlName(id));
  view->setRootIsDecorated(false);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setHeaderLabels(columns);
  for (int column = 0; column < columns.size(); ++column) view->setColumnWidth(column, kColumnWidth);
  return view;
}

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The text of a list view's selected row in its first column; empty when
// no row is selected.
std::string SelectedName(const QTreeWidget& view) {
  const QList<QTreeWidgetItem*> rows = view.selectedItems();
  return rows.isEmpty() ? std::string() : rows.front()->text(0).toStdString();
}

}  // namespace

ConfigAssignPage::ConfigAssignPage(ConfigWizard& wizard, config::PlanKind kind)
    : QWizardPage(&wizard), wizard_(wizard), kind_(kind) {
  const bool data = kind == config::PlanKind::Data;
  setObjectName(DialogName(data ? dlg::kConfigData : dlg::kConfigLogs));
  setTitle(data ? tr("Where to move databases") : tr("Where to move transaction logs"));
  setSubTitle(data ? tr("Select a Virtual disk location for the Lotus Domino Data Directory.")
                   : tr("Select a Virtual disk location for the Domino transaction logs."));
  partitions_ = ListView({tr("Partition"), tr("Path"), tr("Logging Style"), tr("Can Configure?")},
                         ctl::kPartitionList, this);
  disks_ = new QListWidget(this);
  disks_->setObjectName(ControlName(ctl::kVldList));
  disks_->setSortingEnabled(true);
  assign_ = new QPushButton(QStringLiteral("<=>"), this);
  assign_->setObjectName(ControlName(ctl::kAssign));
  entries_ = ListView({tr("Server Name"), tr("From"), tr("To")}, ctl::kPlanList, this);
  unassign_ = new QPushButton(tr("ReConfig"), this);
  unassign_->setObjectName(ControlName(ctl::kReConfig));

  auto* layout = new QGridLayout(this);
  layout->addWidget(partitions_, 0, 0);
  layout->addWidget(disks_, 0, 1);
  layout->addWidget(assign_, 1, 1);
  layout->addWidget(entries_, 2, 0);
  layout->addWidget(unassign_, 3, 0, Qt::AlignLeft);
  layout->setColumnStretch(0, 3);
  layout->setColumnStretch(1, 1);
  connect(assign_, &QPushButton::clicked, this, &ConfigAssignPage::Assign);
  connect(unassign_, &QPushButton::clicked, this, &ConfigAssignPage::Unassign);
}

void ConfigAssignPage::initializePage() {
  if (initialised_) return;
  initialised_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // The data page reads the machine (discovery included) the first time.
  wizard_.plan();
  FillDisks();
  FillPartitions();
  FillEntries();
  SetButtons();
  QApplication::restoreOverrideCursor();
}

void ConfigAssignPage::Activate() {
  FillDisks();
  SetButtons();
  if (kind_ != config::PlanKind::Data) return;
  const config::PlanCheck disks = wizard_.plan().CheckVirtualDiskCount();
  // Too few disks leave only Back.
  enoughDisks_ = disks.accepted;
  emit completeChanged();
  ShowPlanCheck(wizard_.services().prompts, nullptr, disks);
}

void ConfigAssignPage::FillDisks() {
  disks_->clear();
  for (char drive : wizard_.plan().VldChoices()) {
    auto* item = new QListWidgetItem(QStringLiteral("%1:").arg(QChar::fromLatin1(drive)));
    item->setData(Qt::UserRole, QChar::fromLatin1(drive));
    disks_->addItem(item);
  }
}

void ConfigAssignPage::FillPartitions() {
  partitions_->clear();
  for (const config::PartitionRow& row : wizard_.plan().AvailablePartitions(kind_)) {
    partitions_->addTopLevelItem(new QTreeWidgetItem(
        {Text(row.serverName), Text(row.path), Text(row.loggingStyle), Text(row.canConfigure)}));
  }
}

void ConfigAssignPage::FillEntries() {
  entries_->clear();
  for (const config::PlannedRow& row : wizard_.plan().PlannedRows(kind_)) {
    entries_->addTopLevelItem(
        new QTreeWidgetItem({Text(row.serverName), Text(row.from), QString(QChar::fromLatin1(row.to))}));
  }
}

void ConfigAssignPage::SetButtons() {
  assign_->setEnabled(partitions_->topLevelItemCount() > 0 && disks_->count() > 0);
  unassign_->setEnabled(entries_->topLevelItemCount() > 0);
}

void ConfigAssignPage::Assign() {
  const QList<QListWidgetItem*> drives = disks_->selectedItems();
  const char drive = drives.isEmpty() ? 0 : drives.front()->data(Qt::UserRole).toChar().toLatin1();
  const config::PlanCheck check = wizard_.plan().Assign(kind_, SelectedName(*partitions_), drive);
  if (!ShowPlanCheck(wizard_.services().prompts, nullptr, check)) return;
  FillDisks();
  FillPartitions();
  FillEntries();
  SetButtons();
}

void ConfigAssignPage::Unassign() {
  const config::PlanCheck check = wizard_.plan().Unassign(kind_, SelectedName(*entries_));
  if (!ShowPlanCheck(wizard_.services().prompts, nullptr, check)) return;
  FillDisks();
  FillPartitions();
  FillEntries();
  SetButtons();
}

bool ConfigAssignPage::validatePage() {
  if (kind_ != config::PlanKind::Log) return true;
  const config::ConfigurationPlan& plan = wizard_.plan();
  // "Nothing to configure" is owned by the page; the other refusal has no owner.
  const bool nothing = plan.dataEntries().empty() && plan.logEntries().empty();
  return ShowPlanCheck(wizard_.services().prompts, nothing ? this : nullptr, plan.CheckLogsPage());
}

}  // namespace omb::ui
