// The Reports tab: the tree of categories and reports in byte order, the
// read-only fixed-pitch text, refresh against the folder, the popups,
// deleting with confirmations, printing, opening in the desktop's editor,
// failure boxes, and the separator's clamping.
#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTreeWidget>
#include <filesystem>

#include "tests/ui/ui_fixture.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/reports_view.h"

namespace omb {
namespace {

using ui::ReportsView;

class ReportsViewTest : public test::UiTest {
 protected:
  ReportsView& View() {
    ui::MainWindow& window = Window();
    window.show();
    window.command(ui::cmd::kViewReport)->trigger();
    return *static_cast<ReportsView*>(window.view(ui::MainWindow::kReportsTab));
  }
  void AddReport(const std::string& category, const std::string& name, const std::string& text) {
    WriteHostFile(Host("c:\\temp\\" + category + "\\" + name), text);
  }
  std::vector<std::string> Names(ReportsView& view, int category) {
    std::vector<std::string> names;
    QTreeWidgetItem* item = view.categoryItem(category);
    for (int i = 0; i < item->childCount(); ++i) names.push_back(item->child(i)->text(0).toStdString());
    return names;
  }
  QAction* PopupAction(ReportsView& view, const char* name) {
    return view.popup() ? view.popup()->findChild<QAction*>(QString::fromLatin1(name)) : nullptr;
  }
  void RightClick(ReportsView& view, QTreeWidgetItem* item) {
    view.ShowPopupFor(item, view.mapToGlobal(QPoint(10, 10)));
  }
};

TEST_F(ReportsViewTest, TreeShowsTheCategoriesAndTheirReportsInByteOrder) {
  AddReport("Backup", "b.txt", "b");
  AddReport("Backup", "Z.txt", "Z");
  AddReport("Backup", "04-07-2003_13.05.09.txt", "r");
  AddReport("Delete Snapshot", "notes", "any name counts");
  std::filesystem::create_directories(Host("c:\\temp\\Backup\\sub"));
  ReportsView& view = View();
  QTreeWidgetItem* root = view.tree()->topLevelItem(0);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->text(0).toStdString(), "Ombrel Report");
  EXPECT_TRUE(root->font(0).bold());
  ASSERT_EQ(root->childCount(), 4);
  const char* labels[] = {"Configure", "Backup", "Restore", "Delete SnapShot"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(root->child(i)->text(0).toStdString(), labels[i]);
  EXPECT_EQ(Names(view, 1), (std::vector<std::string>{"04-07-2003_13.05.09.txt", "Z.txt", "b.txt"}));
  EXPECT_EQ(Names(view, 3), (std::vector<std::string>{"notes"}));
  EXPECT_EQ(view.categoryItem(0)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
  EXPECT_EQ(view.categoryItem(1)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
}

TEST_F(ReportsViewTest, SelectingAReportShowsItsTextReadOnlyInAFixedFont) {
  AddReport("Restore", "r.txt", "Start time is: 4/7/2003\r\nSNAPSHOT RESTORE AND RECOVERY COMPLETE.\r\n");
  ReportsView& view = View();
  view.tree()->setCurrentItem(view.categoryItem(2)->child(0));
  QPlainTextEdit* text = view.textView();
  EXPECT_EQ(text->objectName().toStdString(), "control3");
  EXPECT_TRUE(text->isReadOnly());
  EXPECT_TRUE(QFontInfo(text->font()).fixedPitch());
  EXPECT_EQ(text->toPlainText().toStdString(),
            "Start time is: 4/7/2003\nSNAPSHOT RESTORE AND RECOVERY COMPLETE.\n");
}

TEST_F(ReportsViewTest, RefreshFollowsFilesAddedAndRemovedOutside) {
  AddReport("Backup", "a.txt", "a");
  ReportsView& view = View();
  AddReport("Backup", "c.txt", "c");
  AddReport("Backup", "b.txt", "b");
  std::filesystem::remove(Host("c:\\temp\\Backup\\a.txt"));
  Window().command(ui::cmd::kRefresh)->trigger();
  EXPECT_EQ(Names(view, 1), (std::vector<std::string>{"b.txt", "c.txt"}));
  std::filesystem::remove(Host("c:\\temp\\Backup\\b.txt"));
  std::filesystem::remove(Host("c:\\temp\\Backup\\c.txt"));
  RightClick(view, view.categoryItem(1));
  PopupAction(view, "popupRefresh")->trigger();
  EXPECT_TRUE(Names(view, 1).empty());
  EXPECT_EQ(view.categoryItem(1)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
}

TEST_F(ReportsViewTest, EmptyCategoryPopupGreysDeleteAll) {
  AddReport("Backup", "a.txt", "a");
  ReportsView& view = View();
  RightClick(view, view.categoryItem(0));
  ASSERT_NE(view.popup(), nullptr);
  EXPECT_EQ(view.popup()->objectName().toStdString(), "popupCategory");
  EXPECT_FALSE(PopupAction(view, "popupDeleteAll")->isEnabled());
  RightClick(view, view.categoryItem(1));
  EXPECT_TRUE(PopupAction(view, "popupDeleteAll")->isEnabled());
  RightClick(view, view.categoryItem(1)->child(0));
  EXPECT_EQ(view.popup()->objectName().toStdString(), "popupReport");
  std::vector<std::string> texts;
  for (QAction* action : view.popup()->actions()) texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{"Delete &Report", "Print Report...", "-", "Refresh",
                                             "-", "Open with Notepad"}));
}

TEST_F(ReportsViewTest, AnsweringNoKeepsTheReportYesDeletesIt) {
  AddReport("Backup", "a.txt", "a");
  AddReport("Backup", "b.txt", "b");
  ReportsView& view = View();
  view.tree()->setCurrentItem(view.categoryItem(1)->child(0));
  RightClick(view, view.categoryItem(1)->child(1));
  prompts_.answers = {false};
  PopupAction(view, "popupDeleteReport")->trigger();
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].caption, "Confirm Report Delete");
  EXPECT_EQ(prompts_.boxes[0].text, "Are you sure you want to delete b.txt?");
  EXPECT_EQ(prompts_.boxes[0].icon, ui::Icon::Warning);
  EXPECT_EQ(Names(view, 1), (std::vector<std::string>{"a.txt", "b.txt"}));
  // The selection is current again: the main menu's Delete Report acts on a.txt.
  prompts_.answers = {true};
  Window().command(ui::cmd::kDeleteReport)->trigger();
  EXPECT_EQ(prompts_.boxes.back().text, "Are you sure you want to delete a.txt?");
  EXPECT_EQ(Names(view, 1), (std::vector<std::string>{"b.txt"}));
  EXPECT_FALSE(std::filesystem::exists(Host("c:\\temp\\Backup\\a.txt")));
}

TEST_F(ReportsViewTest, DeleteAllAsksByFolderNameAndEmptiesTheCategory) {
  AddReport("Delete Snapshot", "a.txt", "a");
  AddReport("Delete Snapshot", "b.txt", "b");
  ReportsView& view = View();
  RightClick(view, view.categoryItem(3));
  prompts_.answers = {false};
  PopupAction(view, "popupDeleteAll")->trigger();
  EXPECT_EQ(prompts_.boxes.back().caption, "Confirm Delete Snapshot Reports Delete");
  EXPECT_EQ(prompts_.boxes.back().text, "Are you sure you want to delete all Delete Snapshot reports?");
  EXPECT_EQ(Names(view, 3).size(), 2u);
  view.tree()->setCurrentItem(view.categoryItem(3));
  Window().command(ui::cmd::kDeleteAllReports)->trigger();
  EXPECT_TRUE(Names(view, 3).empty());
  EXPECT_TRUE(std::filesystem::is_empty(Host("c:\\temp\\Delete Snapshot")));
}

TEST_F(ReportsViewTest, PrintReportPrintsTheReportsText) {
  AddReport("Backup", "a.txt", "first line\r\nBACKUP COMPLETE\r\n");
  ReportsView& view = View();
  view.tree()->setCurrentItem(view.categoryItem(1)->child(0));
  Window().command(ui::cmd::kPrintReport)->trigger();
  ASSERT_EQ(printers_.printed.size(), 1u);
  std::string text = PdfText(printers_.printed[0]);
  EXPECT_NE(text.find("Printed Mon Apr 7 13:05:09 2003"), std::string::npos);
  EXPECT_NE(text.find("BACKUP COMPLETE"), std::string::npos);
}

TEST_F(ReportsViewTest, OpenWithNotepadOpensTheReportFileOrSaysWhyNot) {
  AddReport("Backup", "a.txt", "a");
  ReportsView& view = View();
  RightClick(view, view.categoryItem(1)->child(0));
  PopupAction(view, "popupOpen")->trigger();
  ASSERT_EQ(opener_.opened.size(), 1u);
  EXPECT_EQ(std::filesystem::path(opener_.opened[0]), Host("c:\\temp\\Backup\\a.txt"));
  EXPECT_TRUE(prompts_.boxes.empty());
  opener_.succeed = false;
  RightClick(view, view.categoryItem(1)->child(0));
  PopupAction(view, "popupOpen")->trigger();
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].caption, "Error Opening Report");
  EXPECT_EQ(prompts_.boxes[0].text, "Cannot open a.txt: Failed to open c:\\temp\\\\Backup\\a.txt");
}

TEST_F(ReportsViewTest, AReportThatVanishedCannotBeShownOrPrinted) {
  AddReport("Backup", "a.txt", "a");
  ReportsView& view = View();
  std::filesystem::remove(Host("c:\\temp\\Backup\\a.txt"));
  view.tree()->setCurrentItem(view.categoryItem(1)->child(0));
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].caption, "Error Displaying Report");
  EXPECT_EQ(prompts_.boxes[0].text.rfind("Cannot display report a.txt: ", 0), 0u);
  Window().command(ui::cmd::kPrintReport)->trigger();
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(prompts_.boxes[1].caption, "Error Printing Report");
  EXPECT_EQ(prompts_.boxes[1].text.rfind("Cannot print report a.txt: ", 0), 0u);
  EXPECT_TRUE(printers_.printed.empty());
}

TEST_F(ReportsViewTest, SeparatorStartsAtAThirdAndStopsSixPixelsFromTheRight) {
  ReportsView& view = View();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
  QSplitter* splitter = view.splitter();
  QWidget* separator = test::Find<QWidget>(splitter, ui::ControlName(1));
  ASSERT_NE(separator, nullptr);
  EXPECT_EQ(separator->width(), 6);
  EXPECT_EQ(view.tree()->width(), (6 + view.width()) / 3);
  QPoint middle(3, separator->height() / 2);
  QTest::mousePress(separator, Qt::LeftButton, {}, middle);
  QTest::mouseMove(separator, middle + QPoint(view.width() + 100, 0));
  QTest::mouseRelease(separator, Qt::LeftButton, {}, middle + QPoint(view.width() + 100, 0));
  QTest::qWait(20);
  EXPECT_EQ(separator->geometry().left(), splitter->width() - 6);
  EXPECT_EQ(view.textView()->isVisible() ? view.textView()->width() : 0, 0);
}

}  // namespace
}  // namespace omb
