#include "ui/wizard_style.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>
#include <QWizard>

namespace omb::ui {

namespace {

// Draws the program's mark: two overlapping rings, as a shadow falls.
void DrawMark(QPainter& painter, const QRectF& box, const QColor& colour) {
  QPen pen(colour, box.width() / 10);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  QRectF ring(box.topLeft(), QSizeF(box.width() * 0.7, box.height() * 0.7));
  painter.drawEllipse(ring);
  painter.drawEllipse(ring.translated(box.width() * 0.3, box.height() * 0.3));
}

}  // namespace

QPixmap WatermarkPixmap() {
  QPixmap pixmap(164, 372);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, 0, pixmap.height());
  gradient.setColorAt(0, QColor(22, 60, 110));
  gradient.setColorAt(1, QColor(70, 130, 190));
  painter.fillRect(pixmap.rect(), gradient);
  DrawMark(painter, QRectF(32, 40, 100, 100), QColor(255, 255, 255, 200));
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setBold(true);
  font.setPointSize(14);
  painter.setFont(font);
  painter.drawText(QRect(0, 170, pixmap.width(), 30), Qt::AlignCenter, QStringLiteral("Ombrel"));
  font.setBold(false);
  font.setPointSize(9);
  painter.setFont(font);
  painter.drawText(QRect(0, 198, pixmap.width(), 20), Qt::AlignCenter,
                   QStringLiteral("for Lotus Domino"));
  return pixmap;
}

QPixmap HeaderPixmap() {
  QPixmap pixmap(48, 48);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  DrawMark(painter, QRectF(4, 4, 40, 40), QColor(22, 60, 110));
  return pixmap;
}

QFont WizardTitleFont() {
  QFont font(QStringLiteral("Verdana"));
  font.setBold(true);
  font.setPointSize(12);
  return font;
}

void StyleWizard(QWizard& wizard) {
  wizard.setWizardStyle(QWizard::ModernStyle);
  wizard.setPixmap(QWizard::LogoPixmap, HeaderPixmap());
  wizard.setOption(QWizard::NoBackButtonOnStartPage, true);
  wizard.setOption(QWizard::HaveHelpButton, false);
  wizard.resize(560, 420);
}

void MakeFullPage(QWizardPage& page, const QString& title) {
  // The watermark belongs to the full pages only; the others carry a header.
  page.setPixmap(QWizard::WatermarkPixmap, WatermarkPixmap());
  auto* label = new QLabel(title, &page);
  label->setObjectName(QStringLiteral("control1000"));
  label->setFont(WizardTitleFont());
  label->setWordWrap(true);
  if (page.layout() == nullptr) new QVBoxLayout(&page);
  static_cast<QVBoxLayout*>(page.layout())->insertWidget(0, label);
}

}  // namespace omb::ui
