#include "core/command_boundary.h"

#include <QCoreApplication>
#include <cstdio>

namespace tivaro {

namespace {
ErrorDisplay& display() {
    static ErrorDisplay d;
    return d;
}

ErrorDisplay& standardDisplay() {
    static ErrorDisplay d;
    return d;
}

// Follows std::nested_exception links down to the innermost error's text.
QString innermostText(const std::exception& error) {
    try {
        std::rethrow_if_nested(error);
    } catch (const std::exception& inner) {
        QString text = innermostText(inner);
        if (!text.isEmpty()) return text;
    } catch (...) {
    }
    return QString::fromUtf8(error.what());
}
}  // namespace

void SetErrorDisplay(ErrorDisplay d) { display() = std::move(d); }

void SetStandardErrorDisplay(ErrorDisplay d) { standardDisplay() = std::move(d); }

QString ErrorMessageText(const std::exception& error) { return innermostText(error); }

QString WithFullStop(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= u'.') return message;
    return message + QLatin1Char('.');
}

void ShowError(const std::exception& error) {
    if (dynamic_cast<const SilentAbort*>(&error)) return;
    if (display()) {
        display()(error);
        return;
    }
    if (standardDisplay()) {
        standardDisplay()(error);
        return;
    }
    // No widget layer: one line on stderr, "<application>: <message>".
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(WithFullStop(ErrorMessageText(error))));
}

}  // namespace tivaro
