#include "widgets/error_box.h"

#include <QApplication>
#include <QWidget>

#include "core/command_boundary.h"
#include "widgets/message_box.h"

namespace tivaro {

void ShowStandardErrorBox(const std::exception& error) {
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    QWidget* active = QApplication::activeWindow();
    CentredMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                          WithFullStop(ErrorMessageText(error)));
    box.setStandardButtons(QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    if (active) active->activateWindow();
}

}  // namespace tivaro
