#include "ui/restore_view.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/errors.h"
#include "ui/control_ids.h"
#include "ui/restore_handover.h"
#include "ui/server_tree.h"

namespace omb::ui {

namespace {

constexpr qint64 kUnixEpochAsFileTime = 116444736000000000LL;
constexpr qint64 kTicksPerMillisecond = 10000;

QDateTime FromFileTime(uint64_t fileTime) {
  return QDateTime::fromMSecsSinceEpoch((static_cast<qint64>(fileTime) - kUnixEpochAsFileTime) / kTicksPerMillisecond)
      .toLocalTime();
}

// The last tick of the second the field shows: every change made in that
// second is recovered.
uint64_t EndOfSecondAsFileTime(const QDateTime& time) {
  const qint64 seconds = time.toSecsSinceEpoch();
  return static_cast<uint64_t>((seconds + 1) * 1000 * kTicksPerMillisecond + kUnixEpochAsFileTime - 1);
}

}  // namespace

RestoreView::RestoreView(ConsoleModel& model, ConsoleServices& services, QWidget* parent)
    : ConsoleView(parent), model_(model), services_(services) {
  setObjectName(QStringLiteral("restoreView"));
  auto* hint = new QLabel(tr("&Double click the backup set you want to restore located under the "
                             "selected Storage Group tree."),
                          this);
  hint->setWordWrap(true);
  tree_ = new ServerTree(ServerTree::Kind::Restore, this);
  tree_->setObjectName(ControlName(ctl::kRestoreTree));
  hint->setBuddy(tree_);
  details_ = new DetailsList(this);
  details_->setObjectName(ControlName(ctl::kRestoreDetails));
  details_->setFixedWidth(300);
  auto* chosenLabel = new QLabel(tr("Selected S&napshot for Restore:"), this);
  chosen_ = new QLineEdit(this);
  chosen_->setObjectName(ControlName(ctl::kChosenSnapshot));
  chosen_->setReadOnly(true);
  chosenLabel->setBuddy(chosen_);
  pointInTime_ = new QCheckBox(tr("&Point-in-Time Restore"), this);
  pointInTime_->setObjectName(ControlName(ctl::kPointInTimeBox));
  recoverUntil_ = new QCheckBox(tr("&Recover up to a chosen time:"), this);
  recoverUntil_->setObjectName(ControlName(ctl::kRecoverUntilBox));
  untilTime_ = new QDateTimeEdit(this);
  untilTime_->setObjectName(ControlName(ctl::kRecoverUntilTime));
  untilTime_->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  untilTime_->setEnabled(false);
  auto* start = new QPushButton(tr("&Start Restore..."), this);
  start->setObjectName(ControlName(ctl::kStartRestore));

  auto* layout = new QGridLayout(this);
  layout->addWidget(hint, 0, 0, 1, 3);
  layout->addWidget(tree_, 1, 0, 1, 2);
  layout->addWidget(details_, 1, 2);
  layout->addWidget(chosenLabel, 2, 0);
  layout->addWidget(chosen_, 2, 1, 1, 2);
  layout->addWidget(pointInTime_, 3, 0, 1, 2);
  layout->addWidget(recoverUntil_, 4, 0);
  layout->addWidget(untilTime_, 4, 1);
  layout->addWidget(start, 4, 2, Qt::AlignRight);
  layout->setRowStretch(1, 1);
  layout->setColumnStretch(1, 1);

  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { ShowDetails(item); });
  connect(tree_, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item) { Choose(item); });
  connect(start, &QPushButton::clicked, this, &RestoreView::StartRestore);
  // The three modes exclude each other: point in time, up to the minute
  // (neither box), or up to a chosen time.
  connect(pointInTime_, &QCheckBox::toggled, this, [this](bool checked) {
    if (checked) recoverUntil_->setChecked(false);
  });
  connect(recoverUntil_, &QCheckBox::toggled, this, &RestoreView::FollowUntilChoice);
}

void RestoreView::FollowUntilChoice(bool checked) {
  if (checked) pointInTime_->setChecked(false);
  const bool limited = checked && LimitToRecoveryRange();
  if (checked && !limited) recoverUntil_->setChecked(false);
  untilTime_->setEnabled(limited);
}

bool RestoreView::LimitToRecoveryRange() {
  if (chosenSnapshot_.empty()) {
    services_.prompts.Show(this, tr("Please select a snapshot to restore."), tr("Restore Error"), Icon::Warning);
    return false;
  }
  std::vector<ops::SnapshotDetails> list;
  try {
    model_.operations().ListSnapshots(list);
  } catch (const OMBError& error) {
    services_.prompts.Show(this, QString::fromStdString(error.message()), tr("Restore Error"), Icon::Warning);
    return false;
  }
  for (const ops::SnapshotDetails& details : list) {
    if (details.partition != chosenPartition_ || details.name != chosenSnapshot_) continue;
    if (details.recoverTo == 0) break;
    untilTime_->setDateTimeRange(FromFileTime(details.recoverFrom), FromFileTime(details.recoverTo));
    untilTime_->setDateTime(FromFileTime(details.recoverTo));
    return true;
  }
  services_.prompts.Show(this,
                         tr("This snapshot cannot be recovered to a chosen time: the transaction logs it "
                            "needs are not all there."),
                         tr("Restore Error"), Icon::Warning);
  return false;
}

void RestoreView::Activate() { Rebuild(); }

void RestoreView::Refresh() {
  model_.MarkServersStale();
  Rebuild();
}

void RestoreView::Rebuild() {
  tree_->Fill(model_.Servers());
  details_->clear();
}

void RestoreView::ShowDetails(QTreeWidgetItem* item) {
  const PartitionInfo* server =
      FindPartition(model_.Servers(), ServerTree::PartitionOf(item));
  int snapshot = ServerTree::SnapshotOf(item);
  if (server == nullptr) {
    details_->clear();
  } else if (snapshot >= 0 && static_cast<size_t>(snapshot) < server->snapshots.size()) {
    details_->ShowRows(SnapshotDetailRows(server->snapshots[static_cast<size_t>(snapshot)]));
  } else {
    details_->ShowRows(PartitionDetailRows(*server));
  }
}

void RestoreView::Choose(QTreeWidgetItem* item) {
  const PartitionInfo* server =
      FindPartition(model_.Servers(), ServerTree::PartitionOf(item));
  int snapshot = ServerTree::SnapshotOf(item);
  // Only a snapshot can be chosen; a partition leaves the choice as it was.
  if (server == nullptr || snapshot < 0 || static_cast<size_t>(snapshot) >= server->snapshots.size()) {
    return;
  }
  chosenPartition_ = server->partitionNumber;
  chosenSnapshot_ = server->snapshots[static_cast<size_t>(snapshot)].name;
  chosen_->setText(QString::fromStdString(chosenSnapshot_));
  // Another snapshot has another range.
  recoverUntil_->setChecked(false);
}

void RestoreView::StartRestore() {
  const PartitionInfo* server = FindPartition(model_.Servers(), chosenPartition_);
  const SnapshotEntry* snapshot = nullptr;
  for (size_t i = 0; server != nullptr && i < server->snapshots.size(); ++i) {
    if (server->snapshots[i].name == chosenSnapshot_) snapshot = &server->snapshots[i];
  }
  if (snapshot == nullptr) {
    services_.prompts.Show(this, tr("Please select a snapshot to restore."), tr("Restore Error"),
                           Icon::Warning);
    return;
  }
  bool pointInTime = pointInTime_->isChecked();
  if (pointInTime &&
      !services_.prompts.AskYesNo(this, tr("Would you like to proceed with the POINT IN TIME "
                                           "restore?"),
                                  tr("Restore Confirmation"), Icon::Warning)) {
    return;
  }
  // The run gets copies: the list may be listed again while it works.
  PartitionInfo chosenServer = *server;
  SnapshotEntry chosenSnapshot = *snapshot;
  std::optional<uint64_t> until;
  if (recoverUntil_->isChecked()) until = EndOfSecondAsFileTime(untilTime_->dateTime());
  HandOverRestore(model_, services_, this, chosenServer, chosenSnapshot, pointInTime, until);
  pointInTime_->setChecked(false);
  recoverUntil_->setChecked(false);
  Rebuild();
}

}  // namespace omb::ui
