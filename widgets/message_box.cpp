#include "widgets/message_box.h"

#include <QGuiApplication>
#include <QScreen>

#include "widgets/window_frame.h"

namespace tivaro {

CentredMessageBox::CentredMessageBox(Icon icon, const QString& title, const QString& text, bool owned)
    : QMessageBox(icon, title, text, NoButton, owned ? MessageBoxOwner() : nullptr) {
    // A box over a window that stays on top has to stay on top as well, or a
    // window manager keeps it in the lower layer, hidden behind its owner.
    if (parentWidget() && parentWidget()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

void CentredMessageBox::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event);  // gives the box its final size
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) CentreFrameOn(*this, screen->geometry(), screen->geometry().topLeft());
}

}  // namespace tivaro
