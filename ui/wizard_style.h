#pragma once
// The look the three wizards share: the modern wizard style, the
// watermark of the welcome and completion pages, the header banner of the
// other pages and the 12-point bold title font of the first and last page.
#include <QFont>
#include <QPixmap>

class QWizard;
class QWizardPage;

namespace omb::ui {

QPixmap WatermarkPixmap();
QPixmap HeaderPixmap();
QFont WizardTitleFont();

// Applies the style and pictures to a wizard.
void StyleWizard(QWizard& wizard);
// A full-page welcome or completion page: the title in the wizard's title
// font (no header banner).
void MakeFullPage(QWizardPage& page, const QString& title);

}  // namespace omb::ui
