#include "widgets/command_boundary.h"

#include <QApplication>
#include <QMessageBox>

namespace tivaro {

namespace {
ErrorDisplay& display() {
    static ErrorDisplay d;
    return d;
}
}  // namespace

void SetErrorDisplay(ErrorDisplay d) { display() = std::move(d); }

void ShowError(const std::exception& error) {
    if (display()) {
        display()(error);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    QString::fromUtf8(error.what()), QMessageBox::Ok);
    box.exec();
}

}  // namespace tivaro
