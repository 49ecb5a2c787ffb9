// The report folder dialog: Apply follows the edit, Browse fills it or says
// why not, Apply and OK set the folder and make its category folders, and
// the Reports tab rebuilds from the new folder.
#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "reports/reports.h"
#include "tests/ui/ui_fixture.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/report_folder_dialog.h"
#include "ui/reports_view.h"

namespace omb {
namespace {

class ReportFolderTest : public test::UiTest {
 protected:
  ui::ReportFolderDialog& Dialog() {
    if (!dialog_) {
      dialog_ = std::make_unique<ui::ReportFolderDialog>(Console().model().reports(), services_,
                                                         nullptr);
      dialog_->show();
    }
    return *dialog_;
  }
  QLineEdit* Edit() { return test::Find<QLineEdit>(&Dialog(), ui::ControlName(ui::ctl::kFolderEdit)); }
  QPushButton* Apply() { return test::Find<QPushButton>(&Dialog(), ui::ControlName(ui::ctl::kApply)); }
  QPushButton* Browse() { return test::Find<QPushButton>(&Dialog(), ui::ControlName(ui::ctl::kBrowse)); }
  bool CategoryFoldersExist(const std::string& folder) {
    for (const char* name : {"Configure", "Backup", "Restore", "Delete Snapshot"}) {
      if (!std::filesystem::is_directory(Host(folder + "\\" + name))) return false;
    }
    return true;
  }
  void TearDown() override {
    dialog_.reset();
    UiTest::TearDown();
  }
  std::unique_ptr<ui::ReportFolderDialog> dialog_;
};

TEST_F(ReportFolderTest, OpensOnTheCurrentFolderWithApplyGrey) {
  EXPECT_EQ(Edit()->text().toStdString(), "c:\\temp\\");
  EXPECT_FALSE(Apply()->isEnabled());
  EXPECT_EQ(Edit()->maxLength(), 260);
  QTest::keyClicks(Edit(), "x");
  EXPECT_TRUE(Apply()->isEnabled());
}

TEST_F(ReportFolderTest, ApplySetsTheFolderMakesItsCategoriesAndGreysAgain) {
  Edit()->setText(QStringLiteral("C:\\Reports"));
  QTest::mouseClick(Apply(), Qt::LeftButton);
  EXPECT_EQ(reports::GetReportFolder(), "C:\\Reports");
  EXPECT_TRUE(CategoryFoldersExist("C:\\Reports"));
  EXPECT_FALSE(Apply()->isEnabled());
  EXPECT_TRUE(prompts_.boxes.empty());
}

TEST_F(ReportFolderTest, OkAppliesAndClosesCancelChangesNothing) {
  Dialog().show();
  Edit()->setText(QStringLiteral("C:\\OkReports"));
  Dialog().accept();
  EXPECT_EQ(Dialog().result(), QDialog::Accepted);
  EXPECT_FALSE(Dialog().isVisible());
  EXPECT_EQ(reports::GetReportFolder(), "C:\\OkReports");
  dialog_.reset();
  Dialog().show();
  Edit()->setText(QStringLiteral("C:\\Never"));
  Dialog().reject();
  EXPECT_EQ(reports::GetReportFolder(), "C:\\OkReports");
  EXPECT_FALSE(std::filesystem::exists(Host("C:\\Never")));
}

// A folder that cannot be made is refused with a box instead of being
// replaced by the default without a word.
TEST_F(ReportFolderTest, AFolderThatCannotBeMadeIsRefused) {
  for (const char* folder : {"Reports", "Q:\\NoSuchDrive\\Reports"}) {
    Edit()->setText(QString::fromLatin1(folder));
    QTest::mouseClick(Apply(), Qt::LeftButton);
    ASSERT_NE(LastBox(), nullptr);
    EXPECT_EQ(LastBox()->caption, "Report Directory");
    EXPECT_EQ(LastBox()->text, std::string("Unable to create report directory ") + folder + ".");
    EXPECT_EQ(reports::GetReportFolder(), "c:\\temp\\");
    EXPECT_TRUE(Apply()->isEnabled());
  }
}

TEST_F(ReportFolderTest, BrowseFillsTheEditOrSaysWhyNot) {
  folders_.next = {ui::BrowseResult::Kind::Chosen, QStringLiteral("G:\\Chosen")};
  QTest::mouseClick(Browse(), Qt::LeftButton);
  EXPECT_EQ(Edit()->text().toStdString(), "G:\\Chosen");
  EXPECT_EQ(folders_.titles.back(), "Choose Report Directory");
  EXPECT_TRUE(Apply()->isEnabled());

  folders_.next = {ui::BrowseResult::Kind::Cancelled, {}};
  QTest::mouseClick(Browse(), Qt::LeftButton);
  EXPECT_EQ(Edit()->text().toStdString(), "G:\\Chosen");
  EXPECT_TRUE(prompts_.boxes.empty());

  folders_.next = {ui::BrowseResult::Kind::NotAFolder, {}};
  QTest::mouseClick(Browse(), Qt::LeftButton);
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text, "Invalid selection for the report directory.");
  EXPECT_EQ(prompts_.boxes[0].icon, ui::Icon::Error);

  folders_.next = {ui::BrowseResult::Kind::Failed, {}};
  QTest::mouseClick(Browse(), Qt::LeftButton);
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(prompts_.boxes[1].text, "Unable to browse for report directory.");
  EXPECT_EQ(prompts_.boxes[1].caption, "Report Directory");
  EXPECT_EQ(Edit()->text().toStdString(), "G:\\Chosen");
}

TEST_F(ReportFolderTest, TheReportsTabRebuildsFromTheNewFolder) {
  WriteHostFile(Host("c:\\temp\\Backup\\old.txt"), "old");
  WriteHostFile(Host("D:\\New\\Restore\\new.txt"), "new");
  ui::MainWindow& window = Window();
  window.command(ui::cmd::kViewReport)->trigger();
  auto* view = static_cast<ui::ReportsView*>(window.view(ui::MainWindow::kReportsTab));
  ASSERT_EQ(view->categoryItem(1)->childCount(), 1);
  view->tree()->setCurrentItem(view->categoryItem(1)->child(0));
  ASSERT_TRUE(window.command(ui::cmd::kPrintReport)->isEnabled());
  Edit()->setText(QStringLiteral("D:\\New"));
  QTest::mouseClick(Apply(), Qt::LeftButton);
  EXPECT_EQ(view->categoryItem(1)->childCount(), 0);
  ASSERT_EQ(view->categoryItem(2)->childCount(), 1);
  EXPECT_EQ(view->categoryItem(2)->child(0)->text(0).toStdString(), "new.txt");
  EXPECT_FALSE(window.command(ui::cmd::kPrintReport)->isEnabled());
  EXPECT_FALSE(window.command(ui::cmd::kDeleteReport)->isEnabled());
}

}  // namespace
}  // namespace omb
