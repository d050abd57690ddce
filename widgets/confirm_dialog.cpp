#include "widgets/confirm_dialog.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

bool DialogConfirmation::Confirm(const QString& question) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigen"), question);
    box.setObjectName(QStringLiteral("ConfirmationDialog"));
    QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
    yes->setObjectName(QStringLiteral("Ja"));
    no->setObjectName(QStringLiteral("Nein"));
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        box.move(area.center() - QPoint(box.width() / 2, box.height() / 2));
    }
    box.exec();
    // Closing the window without a button leaves clickedButton() null or the
    // escape button: both decline.
    return box.clickedButton() == yes;
}
