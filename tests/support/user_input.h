#pragma once
// Input as the window system delivers it: a wheel turn goes to the deepest
// widget under the pointer as a spontaneous event, so QApplication passes it
// up to the parents that ignore it and applies each widget's wheel-focus
// policy, as it does for a real mouse. UI thread only.

#include <QtTest/qtestspontaneevent.h>

#include <QApplication>
#include <QWheelEvent>
#include <QWidget>

namespace tivaro::test {

// Turns the wheel by notches (one notch = 120, negative = towards the user)
// over the centre of target, a visible widget of a shown window.
inline void WheelOver(QWidget* target, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* window = target->window();
    const QPoint inWindow = target->mapTo(window, target->rect().center());
    QWidget* under = window->childAt(inWindow);
    if (!under) under = window;
    const QPoint local = under->mapFrom(window, inWindow);
    QWheelEvent wheel(QPointF(local), QPointF(under->mapToGlobal(local)), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    // notify, not sendEvent, which would clear the spontaneous flag (as QTest does for the mouse).
    qApp->notify(under, &wheel);
}

}  // namespace tivaro::test
