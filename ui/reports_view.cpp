#include "ui/reports_view.h"

#include <QStyle>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>

#include "core/errors.h"
#include "reports/reports.h"
#include "ui/control_ids.h"

namespace omb::ui {

namespace {

constexpr int kCategoryRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;
constexpr int kKindRole = Qt::UserRole + 2;
enum ItemKind { kRootItem = 1, kCategoryItem = 2, kReportItem = 3 };

// The tree's labels; "Delete SnapShot" is the label of the folder named
// "Delete Snapshot".
constexpr const char* kCategoryLabels[] = {"Configure", "Backup", "Restore", "Delete SnapShot"};

QString Folder(int category) { return QString::fromStdString(reports::CategoryFolderName(category)); }
QString Text(const std::string& text) { return QString::fromStdString(text); }

// The system's fixed-pitch font, or a monospace face where the platform
// names none.
QFont FixedPitchFont() {
  QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (QFontInfo(system).fixedPitch()) return system;
  for (const char* family : {"DejaVu Sans Mono", "Noto Sans Mono", "Liberation Mono", "Courier"}) {
    QFont font(QString::fromLatin1(family));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    if (QFontInfo(font).fixedPitch()) return font;
  }
  return system;
}

int KindOf(const QTreeWidgetItem* item) { return item ? item->data(0, kKindRole).toInt() : 0; }

}  // namespace

ReportsView::ReportsView(ConsoleModel& model, ConsoleServices& services, QWidget* parent)
    : ConsoleView(parent), model_(model), services_(services) {
  setObjectName(QStringLiteral("reportsView"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
}

ReportsView::~ReportsView() { Deactivate(); }

QTreeWidgetItem* ReportsView::categoryItem(int category) const {
  return category >= 0 && category < 4 ? categories_[static_cast<size_t>(category)] : nullptr;
}

void ReportsView::Activate() {
  if (splitter_ != nullptr) return;
  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setObjectName(QStringLiteral("Splitter"));
  splitter_->setHandleWidth(kSeparatorWidth);
  splitter_->setChildrenCollapsible(true);
  splitter_->setOpaqueResize(false);

  tree_ = new QTreeWidget(splitter_);
  tree_->setObjectName(ControlName(ctl::kReportTree));
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(true);
  tree_->setContextMenuPolicy(Qt::CustomContextMenu);
  tree_->setMinimumWidth(0);

  text_ = new QPlainTextEdit(splitter_);
  text_->setObjectName(ControlName(ctl::kReportText));
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(FixedPitchFont());
  text_->setMinimumWidth(0);
  splitter_->handle(1)->setObjectName(ControlName(ctl::kSeparator));
  layout()->addWidget(splitter_);

  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { ItemSelected(item); });
  connect(tree_, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    ShowPopupFor(tree_->itemAt(at), tree_->viewport()->mapToGlobal(at));
  });
  model_.reports().AddObserver(&ReportsView::FolderChanged, this);
  separatorPlaced_ = false;
  PlaceSeparator();
  BuildTree();
}

void ReportsView::Deactivate() {
  if (splitter_ == nullptr) return;
  model_.reports().RemoveObserver(&ReportsView::FolderChanged, this);
  for (auto& index : index_) index.clear();
  delete popup_;
  // The tree goes first, so that no selection signal reaches a half-torn view.
  tree_->blockSignals(true);
  delete splitter_;
  splitter_ = nullptr;
  tree_ = nullptr;
  text_ = nullptr;
  root_ = nullptr;
  categories_ = {};
}

void ReportsView::resizeEvent(QResizeEvent* event) {
  ConsoleView::resizeEvent(event);
  PlaceSeparator();
}

// The separator starts at a third of the width, once per creation.
void ReportsView::PlaceSeparator() {
  if (splitter_ == nullptr || separatorPlaced_ || width() <= kSeparatorWidth) return;
  int x = (kSeparatorWidth + width()) / 3;
  splitter_->setSizes({x, width() - x - kSeparatorWidth});
  separatorPlaced_ = true;
}

void ReportsView::BuildTree() {
  tree_->blockSignals(true);
  tree_->clear();
  for (auto& index : index_) index.clear();
  root_ = new QTreeWidgetItem(tree_, {tr("Ombrel Report")});
  QFont bold = root_->font(0);
  bold.setBold(true);
  root_->setFont(0, bold);
  root_->setData(0, kKindRole, kRootItem);
  root_->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  root_->setIcon(0, style()->standardIcon(QStyle::SP_DirHomeIcon));
  for (int category = 0; category < 4; ++category) {
    auto* item = new QTreeWidgetItem(root_, {QString::fromLatin1(kCategoryLabels[category])});
    item->setData(0, kKindRole, kCategoryItem);
    item->setData(0, kCategoryRole, category);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    categories_[static_cast<size_t>(category)] = item;
  }
  root_->setExpanded(true);
  tree_->blockSignals(false);
  currentReport_.clear();
  text_->clear();
  Refresh();
}

void ReportsView::Refresh() {
  if (tree_ == nullptr) return;
  for (int category = 0; category < 4; ++category) RefreshCategory(category);
}

void ReportsView::RefreshCategory(int category) {
  reports::ReportStore& store = model_.reports();
  try {
    store.RefreshCategory(category);
  } catch (const OMBError& error) {
    services_.prompts.Show(nullptr,
                           tr("Cannot update ") + Folder(category) + tr(" report items: ") +
                               Text(error.message()),
                           tr("Error Updating Reports"), Icon::Error);
    return;
  }
  QTreeWidgetItem* parent = categories_[static_cast<size_t>(category)];
  auto& index = index_[static_cast<size_t>(category)];
  std::set<std::string> found;
  int insertAt = 0;
  // The store's items in name order: vanished ones leave the tree, new ones
  // are inserted after the last item kept, so the tree stays in that order.
  for (const std::string& name : store.ReportNames(category)) {
    const reports::ReportItem* item = store.FindItem(category, name);
    auto known = index.find(name);
    if (item == nullptr || item->mark != 2) {
      if (known != index.end()) {
        delete known->second;
        index.erase(known);
      }
      continue;
    }
    found.insert(name);
    if (known == index.end()) {
      auto* entry = new QTreeWidgetItem({Text(name)});
      entry->setData(0, kKindRole, kReportItem);
      entry->setData(0, kCategoryRole, category);
      entry->setData(0, kNameRole, Text(name));
      entry->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
      entry->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
      parent->insertChild(insertAt, entry);
      known = index.emplace(name, entry).first;
    }
    insertAt = parent->indexOfChild(known->second) + 1;
  }
  // Items the store no longer knows at all (another back end) go as well.
  for (auto it = index.begin(); it != index.end();) {
    if (found.count(it->first) == 0) {
      delete it->second;
      it = index.erase(it);
    } else {
      ++it;
    }
  }
  store.SweepCategory(category);
  parent->setChildIndicatorPolicy(index.empty() ? QTreeWidgetItem::DontShowIndicator
                                                : QTreeWidgetItem::ShowIndicator);
}

bool ReportsView::CategoryHoldsReports(int category) const {
  return category >= 0 && category < 4 && !index_[static_cast<size_t>(category)].empty();
}

void ReportsView::SetCurrentFromItem(QTreeWidgetItem* item) {
  int kind = KindOf(item);
  if (kind == kCategoryItem || kind == kReportItem) {
    previousCategory_ = currentCategory_;
    currentCategory_ = item->data(0, kCategoryRole).toInt();
  }
  if (kind == kReportItem) currentReport_ = item->data(0, kNameRole).toString().toStdString();
}

void ReportsView::RestoreCurrentFromSelection() {
  currentCategory_ = previousCategory_;
  QTreeWidgetItem* selected = tree_ ? tree_->currentItem() : nullptr;
  if (KindOf(selected) == kReportItem) {
    currentReport_ = selected->data(0, kNameRole).toString().toStdString();
  }
}

void ReportsView::ItemSelected(QTreeWidgetItem* item) {
  int kind = KindOf(item);
  SetCurrentFromItem(item);
  if (kind == kReportItem) {
    ShowReport(currentCategory_, currentReport_);
    emit selectionChanged(kReportSelected, !CategoryHoldsReports(currentCategory_));
  } else if (kind == kCategoryItem) {
    emit selectionChanged(kCategorySelected, !CategoryHoldsReports(currentCategory_));
  } else {
    emit selectionChanged(kNothingSelected, true);
  }
}

void ReportsView::ShowReport(int category, const std::string& name) {
  try {
    std::string text = model_.reports().GetReportText(category, name);
    std::string shown;
    shown.reserve(text.size());
    for (char c : text) {
      if (c != '\r') shown.push_back(c);
    }
    text_->setPlainText(QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size())));
  } catch (const OMBError& error) {
    services_.prompts.Show(nullptr,
                           tr("Cannot display report ") + Text(name) + QStringLiteral(": ") +
                               Text(error.message()),
                           tr("Error Displaying Report"), Icon::Error);
  }
}

void ReportsView::FolderChanged(void* self) {
  auto* view = static_cast<ReportsView*>(self);
  if (view->tree_ != nullptr) view->BuildTree();
}

}  // namespace omb::ui
