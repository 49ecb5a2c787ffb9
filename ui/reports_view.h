#pragma once
// The Reports tab: the categories and their report files in a tree on the
// left, the selected report's text on the right, a movable separator
// between them, and the commands that delete, print, open and refresh.
#include <QPointer>
#include <array>
#include <map>
#include <string>

#include "ui/console_model.h"
#include "ui/console_services.h"
#include "ui/console_view.h"

#include <QMenu>
class QPlainTextEdit;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

namespace omb::ui {

class ReportsView : public ConsoleView {
  Q_OBJECT
 public:
  // Selection kinds told to the selection observers.
  enum SelectionKind { kNothingSelected = 0, kCategorySelected = 2, kReportSelected = 3 };
  static constexpr int kSeparatorWidth = 6;

  ReportsView(ConsoleModel& model, ConsoleServices& services, QWidget* parent);
  ~ReportsView() override;

  void Activate() override;
  void Deactivate() override;
  void Refresh() override;

  // Commands on the current report or category (menus and toolbar).
  void DeleteSelectedReport();
  void DeleteAllOfCategory();
  void PrintSelectedReport();
  void OpenSelectedReport();

  // The content while the tab is shown (nullptr otherwise).
  QTreeWidget* tree() const { return tree_; }
  QPlainTextEdit* textView() const { return text_; }
  QSplitter* splitter() const { return splitter_; }
  QTreeWidgetItem* categoryItem(int category) const;
  // The popup of the last right-click (nullptr when none is open).
  QMenu* popup() const { return popup_; }
  // Shows the popup of an item as a right-click on it would.
  void ShowPopupFor(QTreeWidgetItem* item, const QPoint& globalPosition);

 signals:
  void selectionChanged(int kind, bool categoryEmpty);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildTree();
  void RefreshCategory(int category);
  void ItemSelected(QTreeWidgetItem* item);
  void SetCurrentFromItem(QTreeWidgetItem* item);
  void RestoreCurrentFromSelection();
  void ShowReport(int category, const std::string& name);
  void PlaceSeparator();
  bool CategoryHoldsReports(int category) const;
  static void FolderChanged(void* self);

  ConsoleModel& model_;
  ConsoleServices& services_;
  QSplitter* splitter_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  QTreeWidgetItem* root_ = nullptr;
  std::array<QTreeWidgetItem*, 4> categories_{};
  std::array<std::map<std::string, QTreeWidgetItem*>, 4> index_;
  QPointer<QMenu> popup_;
  int currentCategory_ = -1;
  int previousCategory_ = -1;
  std::string currentReport_;
  bool separatorPlaced_ = false;
};

}  // namespace omb::ui
