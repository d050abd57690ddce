#include "widgets/confirm_dialog.h"

#include <QPushButton>

#include "widgets/message_box.h"

namespace tivaro {

bool DialogConfirmation::Confirm(const QString& question) {
    CentredMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigen"), question);
    box.setObjectName(QStringLiteral("ConfirmationDialog"));
    QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
    yes->setObjectName(QStringLiteral("Ja"));
    no->setObjectName(QStringLiteral("Nein"));
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    // Closing the window without a button leaves clickedButton() null or the
    // escape button: both decline.
    return box.clickedButton() == yes;
}

}  // namespace tivaro
