#pragma once
// The server tree of the backup and restore views and wizards ("Lotus
// Domino Servers", the machine, one item per partition, and for restores
// the partition's snapshots) and the details list beside it.
#include <QString>
#include <QTreeWidget>
#include <string>
#include <utility>
#include <vector>

#include "domino/server_info.h"

namespace omb::ui {

class Prompts;
class ConsoleModel;

using DetailRows = std::vector<std::pair<QString, QString>>;

// The fifteen rows of a partition, and the three of a snapshot.
DetailRows PartitionDetailRows(const PartitionInfo& server);
DetailRows SnapshotDetailRows(const SnapshotEntry& snapshot);

// Why a partition cannot be ticked for a backup ("" when it can): archive
// logging is checked first, then the data directory's virtual disk.
QString TickRefusal(const PartitionInfo& server);

class ServerTree : public QTreeWidget {
  Q_OBJECT
 public:
  enum class Kind { Backup, Restore };
  ServerTree(Kind kind, QWidget* parent);

  // Rebuilds the tree from the list: partitions ticked by their selected
  // flag (backup), snapshots under their partition (restore).
  void Fill(const ServerList& list);

  // The partition number of a partition item or of a snapshot's parent
  // (0 for the root and the machine), and the snapshot index of a
  // snapshot item (-1 otherwise).
  static int PartitionOf(const QTreeWidgetItem* item);
  static int SnapshotOf(const QTreeWidgetItem* item);
  QTreeWidgetItem* partitionItem(int partitionNumber) const;
  QTreeWidgetItem* snapshotItem(int partitionNumber, int snapshotIndex) const;

  // Sets a partition's tick without reporting it as a click.
  void SetTicked(QTreeWidgetItem* item, bool ticked);

 signals:
  // The user clicked a partition's check box.
  void tickClicked(QTreeWidgetItem* item, bool ticked);

 private:
  Kind kind_;
  bool filling_ = false;
};

// Applies the tick rules to a click in a backup tree: a refused tick is
// undone and explained; an accepted one sets the partition's selected
// flag in the shared server list.
void HandleTick(ServerTree& tree, QTreeWidgetItem* item, bool ticked, ConsoleModel& model,
                Prompts& prompts);

class DetailsList : public QTreeWidget {
  Q_OBJECT
 public:
  explicit DetailsList(QWidget* parent);
  void ShowRows(const DetailRows& rows);
  // The Details value of a row ("" when absent).
  QString value(const QString& item) const;
};

// The partition record of a number in a list (nullptr when absent).
const PartitionInfo* FindPartition(const ServerList& list, int partitionNumber);

}  // namespace omb::ui
