#include "ui/help_window.h"

#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>

#include "platform/system.h"

namespace omb::ui {

std::string HelpFilePath() { return platform::ProgramDirectory() + kHelpFileName; }

HelpWindow::HelpWindow(const QString& hostFile, QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("helpWindow"));
  setWindowTitle(tr("Ombrel for Lotus Domino Help"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("helpBrowser"));
  browser_->setOpenLinks(true);
  browser_->setSource(QUrl::fromLocalFile(hostFile));
  QToolBar* bar = addToolBar(tr("Navigation"));
  bar->setMovable(false);
  bar->addAction(tr("Back"), browser_, &QTextBrowser::backward);
  bar->addAction(tr("Contents"), browser_, &QTextBrowser::home);
  setCentralWidget(browser_);
  resize(720, 560);
}

}  // namespace omb::ui
