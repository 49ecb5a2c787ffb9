// The main window: size and titles, tabs, menus with their check marks and
// greying, toolbar and status bar, the connect dialog's recent hosts, help
// and About.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "tests/ui/ui_fixture.h"
#include "ui/control_ids.h"
#include "ui/help_window.h"
#include "ui/main_window.h"
#include "ui/reports_view.h"

namespace omb {
namespace {

using ui::MainWindow;
namespace cmd = ui::cmd;

// A remote machine that answers: the session is also the machine's operations.
class FakeRemote : public RemoteSession, public ops::LocalOperations {
 public:
  explicit FakeRemote(std::string host) : host_(std::move(host)) {}
  const std::string& host() const override { return host_; }
  std::string Host() const override { return host_; }

 private:
  std::string host_;
};

class MainWindowTest : public test::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    // Hosts named "down..." do not answer, "old..." are incompatible.
    connector_ = [](const std::string& host, int& status) -> std::unique_ptr<RemoteSession> {
      if (host.rfind("down", 0) == 0) {
        status = 1;
        return nullptr;
      }
      if (host.rfind("old", 0) == 0) {
        status = 2;
        return nullptr;
      }
      status = 0;
      return std::make_unique<FakeRemote>(host);
    };
  }
  void ConnectTo(const std::string& host) {
    WithModal(ui::DialogName(ui::dlg::kConnect),
              [&](QWidget* dialog) {
                auto* combo = test::Find<QComboBox>(dialog, ui::ControlName(ui::ctl::kHostCombo));
                combo->setEditText(QString::fromStdString(host));
                static_cast<QDialog*>(dialog)->accept();
              },
              [&] { Window().command(cmd::kConnect)->trigger(); });
  }
  std::vector<std::string> OfferedHosts() {
    std::vector<std::string> hosts;
    WithModal(ui::DialogName(ui::dlg::kConnect),
              [&](QWidget* dialog) {
                auto* combo = test::Find<QComboBox>(dialog, ui::ControlName(ui::ctl::kHostCombo));
                for (int i = 0; i < combo->count(); ++i) hosts.push_back(combo->itemText(i).toStdString());
                static_cast<QDialog*>(dialog)->reject();
              },
              [&] { Window().command(cmd::kConnect)->trigger(); });
    return hosts;
  }
  std::string Title() { return Window().windowTitle().toStdString(); }
  void AddBackupReport(const std::string& name) {
    WriteHostFile(Host("c:\\temp\\Backup\\" + name), "Start time is: x\r\n");
  }
};

TEST_F(MainWindowTest, OpensAtItsSizeWithTheFourTabsInOrder) {
  MainWindow& window = Window();
  EXPECT_EQ(window.size(), QSize(640, 550));
  EXPECT_EQ(Title(), "Ombrel for Domino");
  QTabWidget* tabs = window.tabs();
  ASSERT_EQ(tabs->count(), 4);
  EXPECT_EQ(tabs->tabText(0).toStdString(), "Configurator Wizard");
  EXPECT_EQ(tabs->tabText(1).toStdString(), "Ombrel Backup");
  EXPECT_EQ(tabs->tabText(2).toStdString(), "Ombrel Restore");
  EXPECT_EQ(tabs->tabText(3).toStdString(), "Reports");
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_TRUE(window.command(cmd::kViewWizard)->isChecked());
}

TEST_F(MainWindowTest, EveryMenuCommandHasItsText) {
  const std::pair<int, const char*> texts[] = {
      {cmd::kConnect, "Connect to another Domino..."}, {cmd::kDeleteReport, "Delete Report"},
      {cmd::kDeleteAllReports, "Delete All Reports"},  {cmd::kPrintReport, "Print Report..."},
      {cmd::kExit, "&Exit"},                           {cmd::kToolbar, "Toolbar"},
      {cmd::kStatusBar, "Status Bar"},                 {cmd::kViewWizard, "Wizard"},
      {cmd::kViewBackup, "Backup"},                    {cmd::kViewRestore, "Restore"},
      {cmd::kViewReport, "Report"},                    {cmd::kRefresh, "Refresh"},
      {cmd::kConfigurator, "Configurator"},            {cmd::kBackupWizard, "Ombrel Backup"},
      {cmd::kRestoreWizard, "Ombrel Restore"},
      {cmd::kReportFolder, "Report Directory Setting..."},
      {cmd::kHelpTopics, "Help Topics"},               {cmd::kAbout, "About Ombrel..."}};
  MainWindow& window = Window();
  for (const auto& [id, text] : texts) {
    QAction* action = test::Find<QAction>(&window, ui::MenuName(id));
    ASSERT_NE(action, nullptr) << id;
    EXPECT_EQ(action->text().toStdString(), text);
    EXPECT_FALSE(action->statusTip().isEmpty()) << id;
    bool inAMenu = false;
    for (QMenu* menu : window.menuBar()->findChildren<QMenu*>()) {
      inAMenu = inAMenu || menu->actions().contains(action);
    }
    EXPECT_TRUE(inAMenu) << id;
  }
}

TEST_F(MainWindowTest, ToolbarHasItsThreeButtonsAndTheStatusBarItsFourParts) {
  MainWindow& window = Window();
  auto* toolbar = test::Find<QToolBar>(&window, ui::ControlName(ui::ctl::kToolBar));
  ASSERT_NE(toolbar, nullptr);
  std::vector<std::string> tips;
  for (QAction* action : toolbar->actions()) {
    if (!action->isSeparator()) tips.push_back(action->toolTip().toStdString());
  }
  EXPECT_EQ(tips, (std::vector<std::string>{"Print", "About", "Help"}));
  EXPECT_FALSE(window.command(cmd::kPrintReport)->isEnabled());
  auto* bar = test::Find<QStatusBar>(&window, ui::ControlName(ui::ctl::kStatusBar));
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->isSizeGripEnabled());
  EXPECT_EQ(test::Find<QLabel>(bar, "statusPart0")->text().toStdString(), "For Help, press F1");
  for (int part = 1; part <= 3; ++part) {
    EXPECT_NE(test::Find<QLabel>(bar, QStringLiteral("statusPart%1").arg(part)), nullptr);
  }
}

TEST_F(MainWindowTest, ViewCommandsSelectTabsAndCheckExactlyOne) {
  MainWindow& window = Window();
  const int commands[] = {cmd::kViewBackup, cmd::kViewRestore, cmd::kViewReport, cmd::kViewWizard};
  const int tabs[] = {1, 2, 3, 0};
  for (int i = 0; i < 4; ++i) {
    window.command(commands[i])->trigger();
    EXPECT_EQ(window.tabs()->currentIndex(), tabs[i]);
    int checked = 0;
    for (int id : {cmd::kViewWizard, cmd::kViewBackup, cmd::kViewRestore, cmd::kViewReport}) {
      checked += window.command(id)->isChecked() ? 1 : 0;
    }
    EXPECT_EQ(checked, 1);
    EXPECT_TRUE(window.command(commands[i])->isChecked());
  }
  window.tabs()->setCurrentIndex(2);  // by mouse
  EXPECT_TRUE(window.command(cmd::kViewRestore)->isChecked());
}

TEST_F(MainWindowTest, HidingToolbarAndStatusBarGivesTheTabsTheWholeClientArea) {
  MainWindow& window = Window();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  int withBars = window.tabs()->height();
  window.command(cmd::kToolbar)->trigger();
  window.command(cmd::kStatusBar)->trigger();
  QTest::qWait(20);
  EXPECT_FALSE(window.command(cmd::kToolbar)->isChecked());
  EXPECT_FALSE(window.command(cmd::kStatusBar)->isChecked());
  EXPECT_FALSE(test::Find<QToolBar>(&window, ui::ControlName(ui::ctl::kToolBar))->isVisible());
  EXPECT_FALSE(window.statusBar()->isVisible());
  EXPECT_GT(window.tabs()->height(), withBars);
  EXPECT_EQ(window.tabs()->geometry().top(), window.menuBar()->geometry().bottom() + 1);
  EXPECT_EQ(window.tabs()->geometry().bottom(), window.height() - 1);
  EXPECT_EQ(window.tabs()->width(), window.width());
  window.command(cmd::kToolbar)->trigger();
  QTest::qWait(20);
  EXPECT_TRUE(test::Find<QToolBar>(&window, ui::ControlName(ui::ctl::kToolBar))->isVisible());
}

TEST_F(MainWindowTest, LeavingTheReportsTabGreysTheReportCommands) {
  AddBackupReport("04-07-2003_13.05.09.txt");
  MainWindow& window = Window();
  window.command(cmd::kViewReport)->trigger();
  auto* reports = static_cast<ui::ReportsView*>(window.view(MainWindow::kReportsTab));
  QTreeWidgetItem* backup = reports->categoryItem(1);
  ASSERT_EQ(backup->childCount(), 1);
  reports->tree()->setCurrentItem(backup->child(0));
  EXPECT_TRUE(window.command(cmd::kDeleteReport)->isEnabled());
  EXPECT_TRUE(window.command(cmd::kPrintReport)->isEnabled());
  EXPECT_FALSE(window.command(cmd::kDeleteAllReports)->isEnabled());
  reports->tree()->setCurrentItem(backup);
  EXPECT_FALSE(window.command(cmd::kDeleteReport)->isEnabled());
  EXPECT_FALSE(window.command(cmd::kPrintReport)->isEnabled());
  EXPECT_TRUE(window.command(cmd::kDeleteAllReports)->isEnabled());
  reports->tree()->setCurrentItem(backup->child(0));
  window.command(cmd::kViewBackup)->trigger();
  EXPECT_FALSE(window.command(cmd::kDeleteReport)->isEnabled());
  EXPECT_FALSE(window.command(cmd::kDeleteAllReports)->isEnabled());
  EXPECT_FALSE(window.command(cmd::kPrintReport)->isEnabled());
  EXPECT_EQ(reports->tree(), nullptr);  // the view's windows are gone with its tab
}

TEST_F(MainWindowTest, MissingHelpFileIsToldForHelpTopicsAndF1) {
  MainWindow& window = Window();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.command(cmd::kHelpTopics)->trigger();
  window.activateWindow();
  QTest::keyClick(&window, Qt::Key_F1);
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  for (const auto& box : prompts_.boxes) {
    EXPECT_EQ(box.caption, "Help file error");
    EXPECT_EQ(box.text, "Ombrel for Lotus Domino help file does not exist.");
  }
}

TEST_F(MainWindowTest, HelpTopicsShowsTheManualBesideTheProgram) {
  std::filesystem::path manual = std::filesystem::path(OMB_SOURCE_DIR) / "docs" / "manual" /
                                 ui::kHelpFileName;
  ASSERT_TRUE(std::filesystem::exists(manual));
  std::filesystem::path installed = Host(ui::HelpFilePath());
  std::filesystem::create_directories(installed.parent_path());
  std::filesystem::copy_file(manual, installed);
  MainWindow& window = Window();
  window.command(cmd::kHelpTopics)->trigger();
  EXPECT_TRUE(prompts_.boxes.empty());
  auto* help = window.findChild<ui::HelpWindow*>();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  QString text = help->browser()->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("Backup wizard")));
  EXPECT_TRUE(text.contains(QStringLiteral("Reports")));
}

TEST_F(MainWindowTest, AboutShowsTheVersion) {
  std::string version;
  WithModal(ui::DialogName(ui::dlg::kAbout),
            [&](QWidget* dialog) {
              version = test::Find<QLabel>(dialog, ui::ControlName(ui::ctl::kVersionText))
                            ->text()
                            .toStdString();
              static_cast<QDialog*>(dialog)->accept();
            },
            [&] { Window().command(cmd::kAbout)->trigger(); });
  EXPECT_EQ(version, "Version " + VersionText());
  EXPECT_FALSE(VersionText().empty());
}

TEST_F(MainWindowTest, SixConnectionsLeaveTheFiveMostRecentHostsNewestFirst) {
  for (const char* host : {"h1", "h2", "h3", "h4", "h5", "h6"}) ConnectTo(host);
  EXPECT_EQ(OfferedHosts(), (std::vector<std::string>{"h6", "h5", "h4", "h3", "h2"}));
  EXPECT_EQ(Title(), "Ombrel for Lotus Domino (Connected to Server: h6)");
  ConnectTo("h3");
  EXPECT_EQ(OfferedHosts(), (std::vector<std::string>{"h3", "h6", "h5", "h4", "h2"}));
  EXPECT_TRUE(Console().model().connected());
}

TEST_F(MainWindowTest, LocalhostOrNoHostGivesTheLocalTitleAndDropsTheConnection) {
  for (const char* local : {"localhost", ""}) {
    ConnectTo("h1");
    ASSERT_TRUE(Console().model().connected());
    ConnectTo(local);
    EXPECT_EQ(Title(), "Ombrel for Lotus Domino");
    EXPECT_FALSE(Console().model().connected());
    EXPECT_EQ(Console().connection(), nullptr);
  }
  // "LOCALHOST" is a host like any other.
  ConnectTo("LOCALHOST");
  EXPECT_EQ(Title(), "Ombrel for Lotus Domino (Connected to Server: LOCALHOST)");
}

TEST_F(MainWindowTest, FailedConnectionsKeepTheTitleAndTheConnection) {
  ConnectTo("h1");
  ConnectTo("down1");
  ASSERT_NE(LastBox(), nullptr);
  EXPECT_EQ(LastBox()->caption, "Server Unavailable");
  EXPECT_EQ(LastBox()->text, "Unable to reach host down1.");
  EXPECT_EQ(LastBox()->icon, ui::Icon::Error);
  EXPECT_EQ(Title(), "Ombrel for Lotus Domino (Connected to Server: h1)");
  ConnectTo("old1");
  EXPECT_EQ(LastBox()->caption, "Incompatible Server");
  EXPECT_EQ(LastBox()->text, "Host old1 is incompatible with this client.");
  EXPECT_EQ(Console().model().host(), "h1");
  // Even a failed attempt goes to the front of the recent hosts.
  EXPECT_EQ(OfferedHosts().front(), "old1");
}

TEST_F(MainWindowTest, CancelInTheConnectDialogChangesNothing) {
  ConnectTo("h1");
  WithModal(ui::DialogName(ui::dlg::kConnect),
            [&](QWidget* dialog) {
              test::Find<QComboBox>(dialog, ui::ControlName(ui::ctl::kHostCombo))
                  ->setEditText(QStringLiteral("h9"));
              static_cast<QDialog*>(dialog)->reject();
            },
            [&] { Window().command(cmd::kConnect)->trigger(); });
  EXPECT_EQ(OfferedHosts(), (std::vector<std::string>{"h1"}));
  EXPECT_EQ(Console().model().host(), "h1");
}

// The configuration moves this computer's directories: it is offered only
// while the console works on this computer.
TEST_F(MainWindowTest, ConfiguratorIsGreyWhileConnectedToAnotherMachine) {
  QAction* configurator = Window().command(cmd::kConfigurator);
  auto* configButton = Window().view(MainWindow::kWizardTab)->findChild<QPushButton*>("wizardConfig");
  ASSERT_NE(configButton, nullptr);
  EXPECT_TRUE(configurator->isEnabled());
  EXPECT_TRUE(configButton->isEnabled());
  ConnectTo("h1");
  EXPECT_FALSE(configurator->isEnabled());
  EXPECT_FALSE(configButton->isEnabled());
  ConnectTo("down1");
  EXPECT_FALSE(configurator->isEnabled());
  ConnectTo("localhost");
  EXPECT_TRUE(configurator->isEnabled());
  EXPECT_TRUE(configButton->isEnabled());
}

}  // namespace
}  // namespace omb
