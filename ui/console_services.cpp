#include "ui/console_services.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

#include "platform/paths.h"

namespace omb::ui {

std::unique_ptr<QPrinter> QtPrinterSource::Choose(QWidget* owner) {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setCopyCount(1);
  printer->setCollateCopies(true);
  QPrintDialog dialog(printer.get(), owner);
  // No page ranges, no selection, no current page: the whole text prints.
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
  if (dialog.exec() != QDialog::Accepted) return nullptr;
  return printer;
}

BrowseResult QtFolderBrowser::Browse(QWidget* owner, const QString& title,
                                     const QString& currentWindowsPath) {
  QString start;
  if (!currentWindowsPath.isEmpty()) {
    start = QString::fromStdString(platform::HostPath(currentWindowsPath.toStdString()).string());
  }
  QString chosen = QFileDialog::getExistingDirectory(owner, title, start,
                                                     QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return {BrowseResult::Kind::Cancelled, {}};
  std::string windows = platform::WindowsPath(chosen.toStdString());
  if (windows.empty()) return {BrowseResult::Kind::NotAFolder, {}};
  return {BrowseResult::Kind::Chosen, QString::fromStdString(windows)};
}

bool DesktopFileOpener::Open(const QString& hostPath) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(hostPath));
}

QtConsoleServices::QtConsoleServices()
    : services_{prompts_, printers_, folders_, opener_, platform::SystemClock()} {}

}  // namespace omb::ui
