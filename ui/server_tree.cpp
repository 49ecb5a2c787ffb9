#include "ui/server_tree.h"

#include <QStyle>
#include <QHeaderView>

#include "ui/console_model.h"
#include "ui/prompts.h"

namespace omb::ui {

namespace {

constexpr int kPartitionRole = Qt::UserRole;
constexpr int kSnapshotRole = Qt::UserRole + 1;
// Shown after the name of a pinned snapshot in both snapshot lists.
const QString kPinnedMark = QStringLiteral("  [pinned]");

QString YesNo(bool value) { return value ? QStringLiteral("YES") : QStringLiteral("NO"); }
QString Text(const std::string& text) { return QString::fromStdString(text); }

void AddDiskRows(DetailRows& rows, const QString& prefix, const VldInfo& disk) {
  rows.emplace_back(prefix + QStringLiteral(" On VLD"), YesNo(disk.onVld));
  rows.emplace_back(prefix + QStringLiteral(" Filer"), Text(disk.filer));
  rows.emplace_back(prefix + QStringLiteral(" Filename"), Text(disk.fileName));
  rows.emplace_back(prefix + QStringLiteral(" Data Vol"), Text(disk.volume));
}

}  // namespace

DetailRows PartitionDetailRows(const PartitionInfo& server) {
  DetailRows rows;
  rows.emplace_back(QStringLiteral("Server Name"), Text(server.serverName));
  rows.emplace_back(QStringLiteral("notes.ini"), Text(server.notesIniPath));
  rows.emplace_back(QStringLiteral("Partition Number"), QString::number(server.partitionNumber));
  rows.emplace_back(QStringLiteral("Data Path"), Text(server.dataPath));
  rows.emplace_back(QStringLiteral("Log Path"), Text(server.logPath));
  rows.emplace_back(QStringLiteral("Log Enabled"), YesNo(server.logEnabled));
  rows.emplace_back(QStringLiteral("Log Style"), Text(server.logStyle));
  AddDiskRows(rows, QStringLiteral("(DATA)"), server.dataDisk);
  AddDiskRows(rows, QStringLiteral("(LOG)"), server.logDisk);
  return rows;
}

DetailRows SnapshotDetailRows(const SnapshotEntry& snapshot) {
  DetailRows rows = {{QStringLiteral("Name"), Text(snapshot.name)},
                     {QStringLiteral("Date"), Text(snapshot.dateText)},
                     {QStringLiteral("Time"), Text(snapshot.timeText)}};
  if (snapshot.pinned) rows.push_back({QStringLiteral("Pinned"), QStringLiteral("Yes, kept by excess deletion")});
  return rows;
}

QString TickRefusal(const PartitionInfo& server) {
  if (server.archiveLogging == 0) {
    return QStringLiteral("Only Archival transaction logging is supported.  Backup Aborted");
  }
  if (!server.dataDisk.onVld) return QStringLiteral("This partition is not on a VLD.");
  return QString();
}

const PartitionInfo* FindPartition(const ServerList& list, int partitionNumber) {
  for (const PartitionInfo& server : list.servers) {
    if (server.partitionNumber == partitionNumber) return &server;
  }
  return nullptr;
}

// ---- the tree ------------------------------------------------------------------

ServerTree::ServerTree(Kind kind, QWidget* parent) : QTreeWidget(parent), kind_(kind) {
  setHeaderHidden(true);
  setColumnCount(1);
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (filling_ || column != 0 || PartitionOf(item) == 0 || SnapshotOf(item) >= 0) return;
    emit tickClicked(item, item->checkState(0) == Qt::Checked);
  });
}

void ServerTree::Fill(const ServerList& list) {
  filling_ = true;
  clear();
  // Only partitions of a backup tree carry a check box.
  const Qt::ItemFlags plain = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  auto* root = new QTreeWidgetItem(this, {tr("Lotus Domino Servers")});
  root->setFlags(plain);
  root->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
  auto* machine = new QTreeWidgetItem(root, {Text(list.machineName)});
  machine->setFlags(plain);
  machine->setIcon(0, style()->standardIcon(QStyle::SP_ComputerIcon));
  for (const PartitionInfo& server : list.servers) {
    auto* item = new QTreeWidgetItem(machine, {Text(server.serverName)});
    item->setFlags(plain);
    item->setData(0, kPartitionRole, server.partitionNumber);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
    if (kind_ == Kind::Backup) {
      item->setFlags(plain | Qt::ItemIsUserCheckable);
      item->setCheckState(0, server.selected ? Qt::Checked : Qt::Unchecked);
      continue;
    }
    for (size_t i = 0; i < server.snapshots.size(); ++i) {
      const SnapshotEntry& entry = server.snapshots[i];
      auto* snapshot = new QTreeWidgetItem(item, {Text(entry.name) + (entry.pinned ? kPinnedMark : QString())});
      if (entry.pinned) snapshot->setToolTip(0, QStringLiteral("Pinned: excess deletion keeps this snapshot."));
      snapshot->setFlags(plain);
      snapshot->setData(0, kPartitionRole, server.partitionNumber);
      snapshot->setData(0, kSnapshotRole, static_cast<int>(i));
      snapshot->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
    }
    item->setExpanded(true);
  }
  expandAll();
  filling_ = false;
}

int ServerTree::PartitionOf(const QTreeWidgetItem* item) {
  return item ? item->data(0, kPartitionRole).toInt() : 0;
}

int ServerTree::SnapshotOf(const QTreeWidgetItem* item) {
  QVariant index = item ? item->data(0, kSnapshotRole) : QVariant();
  return index.isValid() ? index.toInt() : -1;
}

QTreeWidgetItem* ServerTree::partitionItem(int partitionNumber) const {
  QTreeWidgetItem* root = topLevelItem(0);
  QTreeWidgetItem* machine = root ? root->child(0) : nullptr;
  for (int i = 0; machine != nullptr && i < machine->childCount(); ++i) {
    if (PartitionOf(machine->child(i)) == partitionNumber) return machine->child(i);
  }
  return nullptr;
}

QTreeWidgetItem* ServerTree::snapshotItem(int partitionNumber, int snapshotIndex) const {
  QTreeWidgetItem* partition = partitionItem(partitionNumber);
  if (partition == nullptr || snapshotIndex < 0 || snapshotIndex >= partition->childCount()) {
    return nullptr;
  }
  return partition->child(snapshotIndex);
}

void ServerTree::SetTicked(QTreeWidgetItem* item, bool ticked) {
  bool wasFilling = filling_;
  filling_ = true;
  item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
  filling_ = wasFilling;
}

void HandleTick(ServerTree& tree, QTreeWidgetItem* item, bool ticked, ConsoleModel& model,
                Prompts& prompts) {
  int number = ServerTree::PartitionOf(item);
  const PartitionInfo* server = FindPartition(model.Servers(), number);
  if (server == nullptr) {
    tree.SetTicked(item, false);
    return;
  }
  if (ticked) {
    QString refusal = TickRefusal(*server);
    if (!refusal.isEmpty()) {
      tree.SetTicked(item, false);
      prompts.Show(nullptr, refusal, QStringLiteral("Backup Wizard Error"), Icon::Error);
      return;
    }
  }
  model.SetSelected(number, ticked);
}

// ---- the details list ----------------------------------------------------------

DetailsList::DetailsList(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(2);
  setHeaderLabels({tr("Item"), tr("Details")});
  setRootIsDecorated(false);
  setSelectionMode(QAbstractItemView::NoSelection);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
}

void DetailsList::ShowRows(const DetailRows& rows) {
  clear();
  for (const auto& row : rows) new QTreeWidgetItem(this, {row.first, row.second});
}

QString DetailsList::value(const QString& item) const {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    if (topLevelItem(i)->text(0) == item) return topLevelItem(i)->text(1);
  }
  return QString();
}

}  // namespace omb::ui
