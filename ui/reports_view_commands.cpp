// The Reports tab's commands: the two popups, deleting, printing and
// opening a report in the desktop's text editor.
#include <QMenu>
#include <QTreeWidget>

#include "core/errors.h"
#include "platform/paths.h"
#include "reports/reports.h"
#include "ui/print_text.h"
#include "ui/reports_view.h"

namespace omb::ui {

namespace {

constexpr int kKindRole = Qt::UserRole + 2;
constexpr int kCategoryItem = 2;
constexpr int kReportItem = 3;

QString Folder(int category) { return QString::fromStdString(reports::CategoryFolderName(category)); }
QString Text(const std::string& text) { return QString::fromStdString(text); }

QAction* PopupAction(QMenu* menu, const QString& text, const char* name) {
  QAction* action = menu->addAction(text);
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

}  // namespace

void ReportsView::ShowPopupFor(QTreeWidgetItem* item, const QPoint& globalPosition) {
  if (item == nullptr) return;
  int kind = item->data(0, kKindRole).toInt();
  if (kind != kCategoryItem && kind != kReportItem) return;
  // A right-click makes the item current for the popup's commands without
  // moving the selection.
  SetCurrentFromItem(item);
  delete popup_;
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  if (kind == kReportItem) {
    menu->setObjectName(QStringLiteral("popupReport"));
    menu->setTitle(tr("&REPORT"));
    connect(PopupAction(menu, tr("Delete &Report"), "popupDeleteReport"), &QAction::triggered, this,
            &ReportsView::DeleteSelectedReport);
    connect(PopupAction(menu, tr("Print Report..."), "popupPrintReport"), &QAction::triggered, this,
            &ReportsView::PrintSelectedReport);
    menu->addSeparator();
    connect(PopupAction(menu, tr("Refresh"), "popupRefresh"), &QAction::triggered, this,
            &ReportsView::Refresh);
    menu->addSeparator();
    connect(PopupAction(menu, tr("Open with Notepad"), "popupOpen"), &QAction::triggered, this,
            &ReportsView::OpenSelectedReport);
  } else {
    menu->setObjectName(QStringLiteral("popupCategory"));
    menu->setTitle(tr("Category"));
    QAction* deleteAll = PopupAction(menu, tr("Delete All Reports"), "popupDeleteAll");
    deleteAll->setEnabled(CategoryHoldsReports(currentCategory_));
    connect(deleteAll, &QAction::triggered, this, &ReportsView::DeleteAllOfCategory);
    menu->addSeparator();
    connect(PopupAction(menu, tr("Refresh"), "popupRefresh"), &QAction::triggered, this,
            &ReportsView::Refresh);
  }
  popup_ = menu;
  menu->popup(globalPosition);
}

void ReportsView::DeleteSelectedReport() {
  if (tree_ == nullptr || currentCategory_ < 0 || currentReport_.empty()) return;
  std::string name = currentReport_;
  int category = currentCategory_;
  if (!services_.prompts.AskYesNo(this, tr("Are you sure you want to delete ") + Text(name) +
                                            QStringLiteral("?"),
                                  tr("Confirm Report Delete"), Icon::Warning)) {
    RestoreCurrentFromSelection();
    return;
  }
  try {
    model_.reports().DeleteReport(category, name);
  } catch (const OMBError& error) {
    services_.prompts.Show(this,
                           tr("Cannot delete report ") + Text(name) + QStringLiteral(": ") +
                               Text(error.message()),
                           tr("Error Deleting Report"), Icon::Error);
  }
  Refresh();
}

void ReportsView::DeleteAllOfCategory() {
  if (tree_ == nullptr || currentCategory_ < 0) return;
  int category = currentCategory_;
  QString folder = Folder(category);
  if (!services_.prompts.AskYesNo(
          this, tr("Are you sure you want to delete all ") + folder + tr(" reports?"),
          tr("Confirm ") + folder + tr(" Reports Delete"), Icon::Warning)) {
    currentCategory_ = previousCategory_;
    return;
  }
  try {
    model_.reports().DeleteAllReports(category);
  } catch (const OMBError& error) {
    services_.prompts.Show(this,
                           tr("Cannot delete ") + folder + tr(" reports: ") + Text(error.message()),
                           tr("Error Deleting ") + folder + tr(" Reports"), Icon::Error);
    currentCategory_ = previousCategory_;
  }
  Refresh();
}

void ReportsView::PrintSelectedReport() {
  if (tree_ == nullptr || currentCategory_ < 0 || currentReport_.empty()) return;
  try {
    std::string text = model_.reports().GetReportText(currentCategory_, currentReport_);
    PrintText(services_, this, text);
  } catch (const OMBError& error) {
    services_.prompts.Show(nullptr,
                           tr("Cannot print report ") + Text(currentReport_) +
                               QStringLiteral(": ") + Text(error.message()),
                           tr("Error Printing Report"), Icon::Error);
  }
}

void ReportsView::OpenSelectedReport() {
  if (tree_ == nullptr || currentCategory_ < 0 || currentReport_.empty()) return;
  QString reason;
  try {
    reports::LocalReportPath local =
        model_.reports().GetLocalReportPath(currentCategory_, currentReport_);
    QString host = QString::fromStdString(platform::HostPath(local.path).string());
    // The desktop's default editor for text files plays the part of Notepad.
    if (!services_.opener.Open(host)) throw ShellExecuteFailure(local.path, 0);
    return;
  } catch (const OMBError& error) {
    reason = Text(error.message());
  } catch (...) {
    reason = tr("Failed to open ") + Text(currentReport_);
  }
  services_.prompts.Show(this, tr("Cannot open ") + Text(currentReport_) + QStringLiteral(": ") +
                                   reason,
                         tr("Error Opening Report"), Icon::Error);
}

}  // namespace omb::ui
