#include "tests/ui/ui_fixture.h"

#include <QDeadlineTimer>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "domino/locks.h"
#include "reports/reports.h"

namespace omb::test {

namespace {

std::string Shell(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, read);
  ::pclose(pipe);
  return output;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

void RecordingPrompts::Show(QWidget* owner, const QString& text, const QString& caption,
                            ui::Icon icon) {
  boxes.push_back({owner, text.toStdString(), caption.toStdString(), icon, false});
  if (onBox) onBox(boxes.back());
}

bool RecordingPrompts::AskYesNo(QWidget* owner, const QString& text, const QString& caption,
                                ui::Icon icon) {
  boxes.push_back({owner, text.toStdString(), caption.toStdString(), icon, true});
  if (onBox) onBox(boxes.back());
  if (answers.empty()) return true;
  bool answer = answers.front();
  answers.pop_front();
  return answer;
}

std::unique_ptr<QPrinter> PdfPrinters::Choose(QWidget*) {
  if (cancel) return nullptr;
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setOutputFormat(QPrinter::PdfFormat);
  std::string file = folder + "/printer-" + std::to_string(printed.size() + 1) + ".pdf";
  printer->setOutputFileName(QString::fromStdString(file));
  printed.push_back(file);
  return printer;
}

ui::BrowseResult FakeFolders::Browse(QWidget*, const QString& title, const QString&) {
  titles.push_back(title.toStdString());
  return next;
}

bool FakeOpener::Open(const QString& hostPath) {
  opened.push_back(hostPath.toStdString());
  return succeed;
}

void UiTest::SetUp() {
  MachineTest::SetUp();
  printers_.folder = root_.string();
  // 7 April 2003 13:05:09 UTC, a Monday.
  clock_.now = 126941943090000000ull;
}

void UiTest::TearDown() {
  console_.reset();
  SetDominoRunningCheck(nullptr);
  MachineTest::TearDown();
}

void UiTest::Sim(const std::vector<std::string>& args) {
  RunResult result = RunProgram(BuiltProgram("tools/dominosim/dominosim"), args, root_);
  ASSERT_EQ(result.exitCode, 0) << result.err;
}

RunResult UiTest::Omb(const std::vector<std::string>& args) {
  return RunProgram(BuiltProgram("cli/omb"), args, root_);
}

ui::ConsoleApplication& UiTest::Console() {
  if (!console_) {
    // As at every start: the report folder and its category folders exist.
    reports::EnsureReportFolder();
    console_ = std::make_unique<ui::ConsoleApplication>(local_, services_, StartupSteps{},
                                                        connector_, runs_);
  }
  return *console_;
}

ui::MainWindow& UiTest::Window() { return Console().CreateWindow(); }

void UiTest::WithModal(const QString& name, const std::function<void(QWidget*)>& body,
                       const std::function<void()>& trigger) {
  WithModals({{name, body}}, trigger);
}

void UiTest::WithModals(const std::vector<ModalStep>& steps, const std::function<void()>& trigger) {
  size_t next = 0;
  bool busy = false;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (busy || next >= steps.size() || modal == nullptr || modal->objectName() != steps[next].first) {
      return;
    }
    // A step's body may wait and serve events itself; the poll stays out meanwhile.
    busy = true;
    steps[next++].second(modal);
    busy = false;
  });
  poll.start();
  trigger();
  poll.stop();
  EXPECT_EQ(next, steps.size()) << "no modal "
                                << (next < steps.size() ? steps[next].first.toStdString() : "")
                                << " opened";
}

std::string UiTest::PdfText(const std::string& pdf) {
  std::string text = Shell("pdftotext -layout " + Quoted(pdf) + " - 2>/dev/null");
  std::string squeezed;
  for (char c : text) {
    if (c == ' ' && !squeezed.empty() && squeezed.back() == ' ') continue;
    squeezed.push_back(c);
  }
  return squeezed;
}

int UiTest::PdfPages(const std::string& pdf) {
  std::istringstream info(Shell("pdfinfo " + Quoted(pdf) + " 2>/dev/null"));
  std::string line;
  while (std::getline(info, line)) {
    if (line.rfind("Pages:", 0) == 0) return std::stoi(line.substr(6));
  }
  return 0;
}

std::vector<std::string> UiTest::Captions() const {
  std::vector<std::string> captions;
  for (const auto& box : prompts_.boxes) captions.push_back(box.caption);
  return captions;
}

const RecordingPrompts::Box* UiTest::LastBox() const {
  return prompts_.boxes.empty() ? nullptr : &prompts_.boxes.back();
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
  QDeadlineTimer deadline(milliseconds);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QTest::qWait(5);
  }
  return true;
}

}  // namespace omb::test
