#include "ui/backup_view.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/control_ids.h"
#include "ui/job_name_dialog.h"
#include "ui/runs.h"
#include "ui/schedule.h"
#include "ui/server_tree.h"
#include "ui/status_dialog.h"

namespace omb::ui {

namespace {

constexpr int kMaxKeepCount = 31;

bool AnyTicked(const ServerList& list) {
  for (const PartitionInfo& server : list.servers) {
    if (server.selected) return true;
  }
  return false;
}

}  // namespace

KeepCountBox::KeepCountBox(QWidget* parent) : QSpinBox(parent) {
  setRange(0, kMaxKeepCount);
  setValue(0);
}

QValidator::State KeepCountBox::validate(QString& text, int&) const {
  if (text.isEmpty()) return QValidator::Intermediate;
  if (text.size() > 2) return QValidator::Invalid;
  for (QChar c : text) {
    if (!c.isDigit()) return QValidator::Invalid;
  }
  return QValidator::Acceptable;
}

int KeepCountBox::valueFromText(const QString& text) const {
  return std::min(text.toInt(), kMaxKeepCount);
}

BackupView::BackupView(ConsoleModel& model, ConsoleServices& services, QWidget* parent)
    : ConsoleView(parent), model_(model), services_(services) {
  setObjectName(QStringLiteral("backupView"));
  auto* panel = new QWidget;
  tree_ = new ServerTree(ServerTree::Kind::Backup, panel);
  tree_->setObjectName(QStringLiteral("backupTree"));
  details_ = new DetailsList(panel);
  details_->setObjectName(QStringLiteral("backupDetails"));
  details_->setFixedWidth(350);

  auto* group = new QGroupBox(panel);
  group->setMinimumWidth(560);
  deleteBox_ = new QCheckBox(tr("&Delete oldest snapshots in excess of"), group);
  deleteBox_->setObjectName(ControlName(ctl::kDeleteExcessBox));
  count_ = new KeepCountBox(group);
  count_->setObjectName(QStringLiteral("deleteCount"));
  count_->setFixedSize(48, 22);
  auto* groupLayout = new QHBoxLayout(group);
  groupLayout->addWidget(deleteBox_);
  groupLayout->addWidget(count_);
  groupLayout->addStretch();

  auto* start = new QPushButton(tr("&Start Backup..."), panel);
  start->setObjectName(ControlName(ctl::kStartBackup));
  auto* schedule = new QPushButton(tr("Sc&hedule..."), panel);
  schedule->setObjectName(ControlName(ctl::kSchedule));

  auto* lists = new QHBoxLayout;
  lists->addWidget(tree_, 1);
  lists->addWidget(details_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(start);
  buttons->addWidget(schedule);
  auto* layout = new QVBoxLayout(panel);
  layout->addWidget(new QLabel(tr("Click to select the Domino Server that you want to back up."),
                               panel));
  layout->addWidget(new QLabel(tr("Domino Server List"), panel));
  layout->addLayout(lists, 1);
  layout->addWidget(group);
  layout->addLayout(buttons);

  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  scroll->setWidget(panel);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(scroll);

  connect(tree_, &ServerTree::tickClicked, this, [this](QTreeWidgetItem* item, bool ticked) {
    HandleTick(*tree_, item, ticked, model_, services_.prompts);
  });
  connect(tree_, &QTreeWidget::currentItemChanged, this, &BackupView::ItemSelected);
  connect(start, &QPushButton::clicked, this, &BackupView::StartBackup);
  connect(schedule, &QPushButton::clicked, this, &BackupView::Schedule);
}

void BackupView::Activate() {
  tree_->Fill(model_.Servers());
  details_->clear();
}

void BackupView::Refresh() {
  model_.MarkServersStale();
  Activate();
}

void BackupView::ItemSelected() {
  const PartitionInfo* server =
      FindPartition(model_.Servers(), ServerTree::PartitionOf(tree_->currentItem()));
  if (server == nullptr) {
    details_->clear();
    return;
  }
  details_->ShowRows(PartitionDetailRows(*server));
}

bool BackupView::CheckSomethingTicked(const QString& caption) {
  if (AnyTicked(model_.Servers())) return true;
  services_.prompts.Show(this, tr("Please select at least one partition to backup"), caption,
                         Icon::Error);
  return false;
}

void BackupView::StartBackup() {
  if (!CheckSomethingTicked(tr("Backup Error"))) return;
  BackupChoice choice{deleteBox_->isChecked(), count_->value()};
  if (choice.deleteExcess && (choice.keepCount < 1 || choice.keepCount > kMaxKeepCount)) {
    services_.prompts.Show(this,
                           tr("Invalid number for 'Delete in excess of'. Please specify a value "
                              "between 1 and ") +
                               QString::number(kMaxKeepCount),
                           tr("Backup Error"), Icon::Error);
    return;
  }
  {
    StatusDialog dialog(StatusKind::Backup,
                        BackupRun(model_.operations(), model_.runServices(), model_.Servers(), choice), services_,
                        this);
    dialog.exec();
  }
  deleteBox_->setChecked(false);
  count_->setValue(0);
  // The run changed the snapshots: the next look lists the servers again.
  model_.MarkServersStale();
}

void BackupView::Schedule() {
  if (!CheckSomethingTicked(tr("Backup Error"))) return;
  JobNameDialog names(services_.prompts, this);
  if (names.exec() != QDialog::Accepted) return;
  BackupChoice choice{deleteBox_->isChecked(), count_->value()};
  ScheduleBackupJob(model_, services_, this, names.jobName(), names.replace(), choice);
}

}  // namespace omb::ui
