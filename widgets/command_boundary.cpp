#include "widgets/command_boundary.h"

#include <QApplication>
#include <QWidget>

#include "widgets/message_box.h"

namespace tivaro {

namespace {
ErrorDisplay& display() {
    static ErrorDisplay d;
    return d;
}

// Follows std::nested_exception links down to the innermost error's text.
QString innermostText(const std::exception& error) {
    try {
        std::rethrow_if_nested(error);
    } catch (const std::exception& inner) {
        const QString text = innermostText(inner);
        if (!text.isEmpty()) return text;
    } catch (...) {
    }
    return QString::fromUtf8(error.what());
}
}  // namespace

void SetErrorDisplay(ErrorDisplay d) { display() = std::move(d); }

QString ErrorMessageText(const std::exception& error) { return innermostText(error); }

QString WithFullStop(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= u'.') return message;
    return message + QLatin1Char('.');
}

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

void ShowError(const std::exception& error) {
    if (dynamic_cast<const SilentAbort*>(&error)) return;
    if (display()) {
        display()(error);
        return;
    }
    ShowStandardErrorBox(error);
}

}  // namespace tivaro
