#include "ui/prompts.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace omb::ui {

namespace {

QMessageBox::Icon BoxIcon(Icon icon) {
  switch (icon) {
    case Icon::Error: return QMessageBox::Critical;
    case Icon::Information: return QMessageBox::Information;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void QtPrompts::Show(QWidget* owner, const QString& text, const QString& caption, Icon icon) {
  QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, owner);
  box.exec();
}

bool QtPrompts::AskYesNo(QWidget* owner, const QString& text, const QString& caption, Icon icon) {
  QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Yes | QMessageBox::No, owner);
  return box.exec() == QMessageBox::Yes;
}

Icon FromPlatformIcon(platform::MessageIcon icon) {
  switch (icon) {
    case platform::MessageIcon::Error: return Icon::Error;
    case platform::MessageIcon::Information: return Icon::Information;
    case platform::MessageIcon::Warning: return Icon::Warning;
    case platform::MessageIcon::None: break;
  }
  return Icon::None;
}

WindowThreadPresenter::WindowThreadPresenter(Prompts& prompts) : prompts_(prompts) {}

void WindowThreadPresenter::Show(std::string_view text, std::string_view caption,
                                 platform::MessageIcon icon) {
  QString boxText = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  QString boxCaption = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  Icon boxIcon = FromPlatformIcon(icon);
  auto show = [this, boxText, boxCaption, boxIcon] {
    prompts_.Show(nullptr, boxText, boxCaption, boxIcon);
  };
  if (QThread::currentThread() == thread()) {
    show();
    return;
  }
  // The run waits for the box, as a message box on its own thread would make
  // it wait; the window thread keeps serving its event loop meanwhile.
  QMetaObject::invokeMethod(this, show, Qt::BlockingQueuedConnection);
}

}  // namespace omb::ui
