// The console tests' entry: one QApplication on the offscreen platform for
// every test case of the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

namespace {

// The offscreen platform warns about every window feature it lacks; those
// warnings say nothing about the console.
QtMessageHandler originalHandler = nullptr;

void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
  if (originalHandler) originalHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("TZ", "UTC", 0);
  ::setenv("OMB_CLOSE_DELAY", "0", 0);
  // The console programs these tests start load system libraries (D-Bus,
  // fontconfig) that keep memory until the process ends; a sanitizer build
  // must not count that as the console's leak.
  ::setenv("LSAN_OPTIONS", "suppressions=" OMB_SOURCE_DIR "/tests/ui/lsan.supp", 0);
  QApplication app(argc, argv);
  originalHandler = qInstallMessageHandler(QuietHandler);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
