// The configuration wizard's pages on machines made by dominosim: the
// partition and plan lists with their columns, assign and ReConfig with
// their refusals in order, the virtual-disk count, the Domino program
// drive, the log directory inside the data directory, the Vaultinfo page's
// checks and the summary.
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWizard>
#include <fstream>

#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "tests/ui/ui_fixture.h"
#include "ui/config_pages.h"
#include "ui/config_wizard.h"
#include "ui/control_ids.h"

namespace omb {
namespace {

using ui::ConfigWizard;
namespace ctl = ui::ctl;

constexpr const char* kError = "Configuration Wizard Error";
constexpr const char* kMail1 = "Mail1/Sales/Acme";
constexpr const char* kMail2 = "Mail2/Sales/Acme";

std::vector<std::string> Column(const QTreeWidget* view, int column) {
  std::vector<std::string> texts;
  for (int row = 0; row < view->topLevelItemCount(); ++row) {
    texts.push_back(view->topLevelItem(row)->text(column).toStdString());
  }
  return texts;
}

std::vector<std::string> Headers(const QTreeWidget* view) {
  std::vector<std::string> texts;
  for (int column = 0; column < view->columnCount(); ++column) {
    texts.push_back(view->headerItem()->text(column).toStdString());
  }
  return texts;
}

std::vector<std::string> Drives(const QListWidget* list) {
  std::vector<std::string> drives;
  for (int row = 0; row < list->count(); ++row) drives.push_back(list->item(row)->text().toStdString());
  return drives;
}

using Strings = std::vector<std::string>;

class ConfigWizardTest : public test::UiTest {
 protected:
  ConfigWizard& Wizard() {
    if (!wizard_) {
      wizard_ = std::make_unique<ConfigWizard>(Console().model(), services_, nullptr);
      wizard_->show();
    }
    return *wizard_;
  }
  void Next() { QTest::mouseClick(Wizard().button(QWizard::NextButton), Qt::LeftButton); }
  void Back() { QTest::mouseClick(Wizard().button(QWizard::BackButton), Qt::LeftButton); }
  ui::ConfigAssignPage& Page() { return *static_cast<ui::ConfigAssignPage*>(Wizard().currentPage()); }
  template <typename T>
  T* OnPage(int id) {
    return test::Find<T>(Wizard().currentPage(), ui::ControlName(id));
  }

  // Selects the partition row and the drive (either may be left out) and
  // clicks "<=>".
  void Assign(const std::string& server, const std::string& drive) {
    ui::ConfigAssignPage& page = Page();
    page.partitions()->clearSelection();
    page.disks()->clearSelection();
    for (QTreeWidgetItem* row : page.partitions()->findItems(QString::fromStdString(server), Qt::MatchExactly)) {
      row->setSelected(true);
    }
    for (QListWidgetItem* item : page.disks()->findItems(QString::fromStdString(drive), Qt::MatchExactly)) {
      item->setSelected(true);
    }
    QTest::mouseClick(OnPage<QPushButton>(ctl::kAssign), Qt::LeftButton);
  }
  void Unassign(const std::string& server) {
    ui::ConfigAssignPage& page = Page();
    page.entries()->clearSelection();
    for (QTreeWidgetItem* row : page.entries()->findItems(QString::fromStdString(server), Qt::MatchExactly)) {
      row->setSelected(true);
    }
    QTest::mouseClick(OnPage<QPushButton>(ctl::kReConfig), Qt::LeftButton);
  }
  // The boxes shown since the last call, as caption and text.
  std::vector<std::pair<std::string, std::string>> NewBoxes() {
    std::vector<std::pair<std::string, std::string>> shown;
    for (size_t i = seen_; i < prompts_.boxes.size(); ++i) {
      shown.emplace_back(prompts_.boxes[i].caption, prompts_.boxes[i].text);
    }
    seen_ = prompts_.boxes.size();
    return shown;
  }
  // Keeps only the named virtual disks of the machine's storage component.
  void KeepDisks(const std::string& letters) {
    std::ifstream in(root_ / "storage" / "disks.ini");
    std::string line, kept;
    bool keep = true;
    while (std::getline(in, line)) {
      if (line.size() == 3 && line[0] == '[') keep = letters.find(line[1]) != std::string::npos;
      if (keep) kept += line + "\n";
    }
    WriteHostFile(root_ / "storage" / "disks.ini", kept);
  }
  // Entering the data page shows the refusal and leaves only Back.
  void ExpectOnlyBack(const std::string& text) {
    Next();
    ASSERT_EQ(Wizard().currentId(), ConfigWizard::kData);
    EXPECT_EQ(NewBoxes(), (std::vector<std::pair<std::string, std::string>>{{kError, text}}));
    EXPECT_FALSE(Wizard().button(QWizard::NextButton)->isEnabled());
    EXPECT_TRUE(Wizard().button(QWizard::BackButton)->isEnabled());
    Next();
    EXPECT_EQ(Wizard().currentId(), ConfigWizard::kData);
  }
  std::string Summary() {
    return OnPage<QPlainTextEdit>(ctl::kConfigSummary)->toPlainText().toStdString();
  }

  std::unique_ptr<ConfigWizard> wizard_;
  size_t seen_ = 0;
};

TEST_F(ConfigWizardTest, DataPageListsThePartitionsAndTheFreeDisks) {
  Sim({"init", "--servers", "2", "--fresh", "--logging", "archive,circular"});
  Next();
  ASSERT_EQ(Wizard().currentId(), ConfigWizard::kData);
  EXPECT_EQ(Wizard().currentPage()->title().toStdString(), "Where to move databases");
  EXPECT_EQ(Wizard().currentPage()->subTitle().toStdString(),
            "Select a Virtual disk location for the Lotus Domino Data Directory.");
  const QTreeWidget* partitions = Page().partitions();
  EXPECT_EQ(Headers(partitions), (Strings{"Partition", "Path", "Logging Style", "Can Configure?"}));
  for (int column = 0; column < 4; ++column) EXPECT_EQ(partitions->columnWidth(column), 100);
  EXPECT_EQ(Column(partitions, 0), (Strings{kMail1, kMail2}));
  EXPECT_EQ(Column(partitions, 1), (Strings{"C:\\Lotus\\Domino\\Data1", "C:\\Lotus\\Domino\\Data2"}));
  EXPECT_EQ(Column(partitions, 2), (Strings{"Archive", "Circular"}));
  EXPECT_EQ(Column(partitions, 3), (Strings{"Yes", "No"}));
  EXPECT_EQ(Headers(Page().entries()), (Strings{"Server Name", "From", "To"}));
  EXPECT_EQ(Drives(Page().disks()), (Strings{"E:", "F:", "G:", "H:", "V:"}));
  EXPECT_TRUE(OnPage<QPushButton>(ctl::kAssign)->isEnabled());
  EXPECT_FALSE(OnPage<QPushButton>(ctl::kReConfig)->isEnabled());
  EXPECT_TRUE(NewBoxes().empty());
}

TEST_F(ConfigWizardTest, LogsPageShowsTheLogDirectories) {
  Sim({"init", "--servers", "2"});
  // Configured already: both servers' disks are taken, V: is free.
  Next();
  EXPECT_EQ(Drives(Page().disks()), (Strings{"V:"}));
  Next();
  ASSERT_EQ(Wizard().currentId(), ConfigWizard::kLogs);
  EXPECT_EQ(Wizard().currentPage()->title().toStdString(), "Where to move transaction logs");
  EXPECT_EQ(Wizard().currentPage()->subTitle().toStdString(),
            "Select a Virtual disk location for the Domino transaction logs.");
  EXPECT_EQ(Column(Page().partitions(), 1), (Strings{"F:\\logdir", "H:\\logdir"}));
}

TEST_F(ConfigWizardTest, AssignRefusesInOrderAndChangesNothing) {
  Sim({"init", "--servers", "2", "--fresh", "--logging", "archive,circular"});
  Next();
  Assign("", "");
  Assign("", "E:");
  EXPECT_EQ(NewBoxes(), (std::vector<std::pair<std::string, std::string>>{
                            {kError, "Please select a Domino Partition"},
                            {kError, "Please select a Domino Partition"}}));
  Assign(kMail1, "");
  EXPECT_EQ(NewBoxes(), (std::vector<std::pair<std::string, std::string>>{{kError, "Please select a VLD"}}));
  // Circular logging: two boxes, the second "Canceled".
  Assign(kMail2, "E:");
  EXPECT_EQ(NewBoxes(), (std::vector<std::pair<std::string, std::string>>{
                            {kError, "Please enabled Archive style logging before configuring this Server"},
                            {kError, "Canceled"}}));
  EXPECT_EQ(Page().entries()->topLevelItemCount(), 0);
  EXPECT_EQ(Page().partitions()->topLevelItemCount(), 2);
  EXPECT_EQ(Page().disks()->count(), 5);
  EXPECT_TRUE(Wizard().plan().dataEntries().empty());
}

TEST_F(ConfigWizardTest, AssignMovesThePartitionAndTheDriveIntoThePlanAndReConfigBringsThemBack) {
  Sim({"init", "--servers", "2", "--fresh"});
  Next();
  Assign(kMail1, "G:");
  // The fresh machine keeps its logs inside the data directory: a warning,
  // and the assignment goes ahead.
  EXPECT_EQ(NewBoxes(), (std::vector<std::pair<std::string, std::string>>{
                            {"Configuration Wizard Warning",
                             std::string(kMail1) + "'s transaction log directory is located within the data "
                                                   "directory. The transaction log directory must be "
                                                   "migrated to a virtual disk."}}));
  EXPECT_EQ(Column(Page().entries(), 0), (Strings{kMail1}));
  EXPECT_EQ(Column(Page().entries(), 1), (Strings{"C:\\Lotus\\Domino\\Data1"}));
  EXPECT_EQ(Column(Page().entries(), 2), (Strings{"G"}));
  EXPECT_EQ(Column(Page().partitions(), 0), (Strings{kMail2}));
  EXPECT_EQ(Drives(Page().disks()), (Strings{"E:", "F:", "H:", "V:"}));
  EXPECT_TRUE(OnPage<QPushButton>(ctl::kReConfig)->isEnabled());
  ASSERT_EQ(Wizard().plan().dataEntries().size(), 1u);
  EXPECT_TRUE(Wizard().plan().dataEntries()[0].mustMoveLog);

  Unassign("");
  EXPECT_EQ(NewBoxes(), (std::vector<std::pair<std::string, std::string>>{
                            {kError, "Please select a Partition to reconfigure"}}));
  EXPECT_EQ(Page().entries()->topLevelItemCount(), 1);
  Unassign(kMail1);
  EXPECT_TRUE(NewBoxes().empty());
  EXPECT_EQ(Column(Page().partitions(), 0), (Strings{kMail1, kMail2}));
  EXPECT_EQ(Drives(Page().disks()), (Strings{"E:", "F:", "G:", "H:", "V:"}));
  EXPECT_FALSE(OnPage<QPushButton>(ctl::kReConfig)->isEnabled());
}

TEST_F(ConfigWizardTest, AssignIsGreyOnceNoPartitionOrNoDiskIsLeft) {
  Sim({"init", "--servers", "1", "--fresh"});
  KeepDisks("EF");
  Next();
  Assign(kMail1, "E:");
  EXPECT_EQ(Page().partitions()->topLevelItemCount(), 0);
  EXPECT_FALSE(OnPage<QPushButton>(ctl::kAssign)->isEnabled());
  Next();
  Assign(kMail1, "F:");
  EXPECT_EQ(Page().disks()->count(), 0);
  EXPECT_FALSE(OnPage<QPushButton>(ctl::kAssign)->isEnabled());
}

TEST_F(ConfigWizardTest, OneVirtualDiskLeavesOnlyBack) {
  Sim({"init", "--fresh"});
  KeepDisks("E");
  ExpectOnlyBack("You need at least two virtual disks (for the Data Directory and Log Directory");
}

TEST_F(ConfigWizardTest, NoVirtualDiskLeavesOnlyBack) {
  Sim({"init", "--fresh"});
  KeepDisks("");
  ExpectOnlyBack("There are no virtual disks.  Please add at least two (for the Data Directory and Log "
                 "Directory");
}

TEST_F(ConfigWizardTest, TheDominoProgramDriveIsRefusedForDataButTakenForLogs) {
  // Partitions keep their notes.ini in their data directories, so the
  // program directory can move without hiding them.
  Sim({"init", "--servers", "2", "--fresh"});
  ASSERT_EQ(WriteRegistryValue("SOFTWARE\\Lotus\\Domino", "Path", "e:\\Lotus\\Domino"), 0);
  Next();
  Assign(kMail1, "E:");
  EXPECT_EQ(NewBoxes(), (std::vector<std::pair<std::string, std::string>>{
                            {kError, "This VLD has Domino binaries on it."}}));
  EXPECT_EQ(Page().entries()->topLevelItemCount(), 0);
  Next();
  Assign(kMail1, "E:");
  EXPECT_TRUE(NewBoxes().empty());
  EXPECT_EQ(Column(Page().entries(), 2), (Strings{"E"}));
}

TEST_F(ConfigWizardTest, LogsInsideTheDataDirectoryMustBePlannedBeforeLeavingTheLogsPage) {
  Sim({"init", "--servers", "1", "--fresh"});
  Next();
  Assign(kMail1, "E:");
  NewBoxes();
  Next();
  ASSERT_EQ(Wizard().currentId(), ConfigWizard::kLogs);
  Next();
  EXPECT_EQ(Wizard().currentId(), ConfigWizard::kLogs);
  auto boxes = NewBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], std::make_pair(std::string(kError),
                                     std::string(kMail1) + "'s log directory is within the data directory.  "
                                                           "The log directory for this server must be "
                                                           "configured for migration before continuing."));
  EXPECT_EQ(prompts_.boxes.back().owner, nullptr);
  Assign(kMail1, "F:");
  Next();
  EXPECT_EQ(Wizard().currentId(), ConfigWizard::kVaultinfo);
}

TEST_F(ConfigWizardTest, NothingPlannedCannotLeaveTheLogsPage) {
  Sim({"init", "--servers", "1", "--fresh"});
  Next();
  Next();
  Next();
  EXPECT_EQ(Wizard().currentId(), ConfigWizard::kLogs);
  EXPECT_EQ(NewBoxes(), (std::vector<std::pair<std::string, std::string>>{
                            {kError, "Nothing to configure. Cannot continue"}}));
  // This one box is owned by the page.
  EXPECT_EQ(prompts_.boxes.back().owner, Wizard().currentPage());
}

TEST_F(ConfigWizardTest, BackAndNextKeepThePlanAndRebuildTheDiskChoices) {
  Sim({"init", "--servers", "2", "--fresh"});
  Next();
  Assign(kMail1, "E:");
  Next();
  Assign(kMail1, "F:");
  Back();
  ASSERT_EQ(Wizard().currentId(), ConfigWizard::kData);
  // F: went to the logs list meanwhile.
  EXPECT_EQ(Drives(Page().disks()), (Strings{"G:", "H:", "V:"}));
  EXPECT_EQ(Column(Page().entries(), 0), (Strings{kMail1}));
  Next();
  EXPECT_EQ(Column(Page().entries(), 0), (Strings{kMail1}));
  EXPECT_EQ(Column(Page().partitions(), 0), (Strings{kMail2}));
}

class VaultinfoPageTest : public ConfigWizardTest {
 protected:
  // Plans server 1's data on E: and logs on F: and goes to the Vaultinfo page.
  void ToVaultinfoPage() {
    Sim({"init", "--servers", "2", "--fresh"});
    Next();
    Assign(kMail1, "E:");
    Next();
    Assign(kMail1, "F:");
    Next();
    ASSERT_EQ(Wizard().currentId(), ConfigWizard::kVaultinfo);
    NewBoxes();
  }
  QLineEdit* Path() { return OnPage<QLineEdit>(ctl::kVaultinfoPath); }
  void NextWith(const std::string& text) {
    Path()->setText(QString::fromStdString(text));
    Next();
  }
};

TEST_F(VaultinfoPageTest, OffersTheFirstLogDriveAndTakesAPathThatCanBeCreated) {
  ToVaultinfoPage();
  EXPECT_EQ(Wizard().currentPage()->title().toStdString(), "Where to put Vaultinfo files.");
  EXPECT_EQ(Wizard().currentPage()->subTitle().toStdString(),
            "Select a directory to put backup information files.");
  EXPECT_EQ(Path()->text().toStdString(), "F:\\vaultinfo\\");
  EXPECT_EQ(Path()->maxLength(), 1024);
  NextWith("f:\\backup\\info");
  EXPECT_EQ(NewBoxes(), (std::vector<std::pair<std::string, std::string>>{
                            {"Configuration Wizard",
                             "Vaultinfo Directory is f:\\backup\\info\\. It will be created (if necessary) "
                             "during the configuration process."}}));
  ASSERT_EQ(Wizard().currentId(), ConfigWizard::kCompletion);
  EXPECT_EQ(Wizard().plan().vaultinfoPath(), "f:\\backup\\info\\");
  EXPECT_TRUE(std::filesystem::is_directory(root_ / "drives" / "F" / "backup" / "info"));
}

TEST_F(VaultinfoPageTest, RefusalsKeepThePage) {
  ToVaultinfoPage();
  using Boxes = std::vector<std::pair<std::string, std::string>>;
  const std::string badFormat = "Bad format for Vaultinfo path. Please correct";
  NextWith("");
  EXPECT_EQ(NewBoxes(), (Boxes{{kError, "The Vaultinfo path cannot be empty."}}));
  NextWith("vaultinfo");
  EXPECT_EQ(NewBoxes(), (Boxes{{kError, badFormat}}));
  NextWith("E:\\vaultinfo");
  EXPECT_EQ(NewBoxes(), (Boxes{{"Vaultinfo Directory Error",
                                "Vaultinfo Drive cannot exist on the same active drive as a 'to be "
                                "configured' Data Directory\n"},
                               {kError, badFormat}}));
  EXPECT_EQ(Wizard().currentId(), ConfigWizard::kVaultinfo);
  EXPECT_TRUE(Wizard().plan().vaultinfoPath().empty());
  EXPECT_FALSE(std::filesystem::exists(root_ / "drives" / "E" / "vaultinfo"));
}

TEST_F(VaultinfoPageTest, ALocalDiskIsAccepted) {
  ToVaultinfoPage();
  NextWith("C:\\vaultinfo");
  EXPECT_EQ(Wizard().currentId(), ConfigWizard::kCompletion);
  EXPECT_EQ(Wizard().plan().vaultinfoPath(), "C:\\vaultinfo\\");
}

TEST_F(VaultinfoPageTest, BrowseAddsTheVaultinfoFolderWithOneBackslash) {
  ToVaultinfoPage();
  QPushButton* browse = OnPage<QPushButton>(ctl::kVaultinfoBrowse);
  EXPECT_EQ(browse->text().toStdString(), "...");
  folders_.next = {ui::BrowseResult::Kind::Chosen, QStringLiteral("V:\\")};
  QTest::mouseClick(browse, Qt::LeftButton);
  EXPECT_EQ(Path()->text().toStdString(), "V:\\vaultinfo\\");
  folders_.next = {ui::BrowseResult::Kind::Chosen, QStringLiteral("V:\\omb")};
  QTest::mouseClick(browse, Qt::LeftButton);
  EXPECT_EQ(Path()->text().toStdString(), "V:\\omb\\vaultinfo\\");
  folders_.next = {ui::BrowseResult::Kind::Cancelled, QString()};
  QTest::mouseClick(browse, Qt::LeftButton);
  EXPECT_EQ(Path()->text().toStdString(), "V:\\omb\\vaultinfo\\");
  EXPECT_EQ(folders_.titles, (Strings{"Choose Storage Directory", "Choose Storage Directory",
                                      "Choose Storage Directory"}));
}

TEST_F(ConfigWizardTest, SummaryListsTheDataAndLogMovesAndTheVaultinfoDirectory) {
  Sim({"init", "--servers", "2", "--fresh"});
  Next();
  Assign(kMail1, "E:");
  Next();
  Assign(kMail1, "F:");
  Assign(kMail2, "H:");
  Next();
  Next();
  ASSERT_EQ(Wizard().currentId(), ConfigWizard::kCompletion);
  EXPECT_EQ(Summary(), std::string("The following Data Directories will be moved:\n\n") + kMail1 +
                           " data directory will be move to :  E\n\n"
                           "The following Transaction Log directories will be moved:\n\n" +
                           kMail1 + " log directory will move to:  F\n" + kMail2 +
                           " log directory will move to:  H\n\n"
                           "The Vaultinfo Directory will be:\n  F:\\vaultinfo\\\n");
  EXPECT_TRUE(OnPage<QPlainTextEdit>(ctl::kConfigSummary)->isReadOnly());
}

TEST_F(ConfigWizardTest, OnlyLogEntriesGiveASummaryWithoutTheDataSection) {
  Sim({"init", "--servers", "2"});
  // A configured machine whose logs move again, onto the free V:.
  Next();
  Next();
  Assign(kMail2, "V:");
  Next();
  ASSERT_EQ(Wizard().currentId(), ConfigWizard::kVaultinfo);
  EXPECT_EQ(OnPage<QLineEdit>(ctl::kVaultinfoPath)->text().toStdString(), "V:\\vaultinfo\\");
  Next();
  ASSERT_EQ(Wizard().currentId(), ConfigWizard::kCompletion);
  EXPECT_EQ(Summary(), std::string("The following Transaction Log directories will be moved:\n\n") +
                           kMail2 + " log directory will move to:  V\n\n"
                           "The Vaultinfo Directory will be:\n  V:\\vaultinfo\\\n");
}

}  // namespace
}  // namespace omb
