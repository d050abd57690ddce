#include "shell/widget_placement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "core/command_boundary.h"
#include "widgets/window_frame.h"

namespace tivaro {

WidgetPlacementWindow::WidgetPlacementWindow(QWidget& widget, bool mainWindow)
    : m_widget(widget), m_mainWindow(mainWindow) {}

QString WidgetPlacementWindow::Name() const { return m_widget.objectName(); }

bool WidgetPlacementWindow::IsVisible() const { return m_widget.isVisible(); }

bool WidgetPlacementWindow::ApplicationMinimized() const { return m_widget.isMinimized(); }

WindowPlacement WidgetPlacementWindow::Placement() const {
    WindowPlacement p;
    p.flags = m_flags;
    p.minPosition = m_minPosition;
    p.maxPosition = m_maxPosition;
    const Qt::WindowStates state = m_widget.windowState();
    p.showCmd = static_cast<int>(state & Qt::WindowMinimized   ? ShowCmd::Minimized
                                 : state & Qt::WindowMaximized ? ShowCmd::Maximized
                                                               : ShowCmd::Normal);
    // The frame's outer rectangle, the same one ApplyPlacement places, so that a
    // window closed and reopened without a move stays where it is.
    const QMargins frame = FrameMargins(m_widget);
    QRect normal = m_widget.geometry().marginsAdded(frame);
    if (state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        normal = m_widget.normalGeometry().marginsAdded(frame);
    p.left = normal.left();
    p.top = normal.top();
    p.right = normal.left() + normal.width();
    p.bottom = normal.top() + normal.height();
    return p;
}

void WidgetPlacementWindow::ApplyPlacement(const WindowPlacement& p) {
    m_flags = p.flags;
    m_minPosition = p.minPosition;
    m_maxPosition = p.maxPosition;
    MoveFrameTo(m_widget, QPoint(p.left, p.top));
    if (p.showCmd == static_cast<int>(ShowCmd::Hidden) || !m_widget.isVisible()) return;
    if (p.showCmd == static_cast<int>(ShowCmd::Minimized))
        m_widget.showMinimized();
    else if (p.showCmd == static_cast<int>(ShowCmd::Maximized))
        m_widget.showMaximized();
    else
        m_widget.showNormal();
}

QSize WidgetPlacementWindow::Size() const { return m_widget.size().grownBy(FrameMargins(m_widget)); }

void WidgetPlacementWindow::SetState(WindowState state) {
    Qt::WindowStates s = m_widget.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == WindowState::Maximized) s |= Qt::WindowMaximized;
    if (state == WindowState::Minimized) s |= Qt::WindowMinimized;
    m_widget.setWindowState(s);
    m_widget.update();
}

void WidgetPlacementWindow::PostApplicationMinimize() {
    // Minimising the application is minimising its shown windows; the queued
    // call runs once the start-up has shown the main window.
    QMetaObject::invokeMethod(
        qApp,
        [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->isWindow() && !w->isMinimized()) w->showMinimized();
        },
        Qt::QueuedConnection);
}

QSize WidgetPlacementWindow::DialogFrame() const {
    const QMargins frame = FrameMargins(m_widget);
    return QSize(frame.left(), frame.top());
}

QSize WidgetPlacementWindow::DesktopSize() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualSize() : QSize();
}

int WidgetPlacementWindow::PixelsPerInch() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInchY()) : 96;
}

QList<QRect> WidgetPlacementWindow::Screens() const {
    QList<QRect> rects;
    for (const QScreen* s : QGuiApplication::screens()) rects << s->geometry();
    return rects;
}

void WidgetPlacementWindow::CentreIfStillCentred() {
    if (!m_centred) return;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // By the outer sizes of the window and of the work area, as the shell
        // has always placed its main window.
        const QRect work = screen->availableGeometry();
        CentreFrameOn(m_widget, QRect(QPoint(0, 0), work.size()), screen->virtualGeometry().topLeft());
    }
    m_centred = false;
}

FormPlacementHook::FormPlacementHook(QWidget& window, PlacementValueStore* store, bool mainWindow)
    : QObject(nullptr), m_widget(&window), m_window(window, mainWindow), m_storage(m_window, store) {
    window.installEventFilter(this);
}

FormPlacementHook::~FormPlacementHook() {
    if (m_widget) m_widget->removeEventFilter(this);
}

bool FormPlacementHook::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_widget) return false;
    switch (event->type()) {
        case QEvent::Show:
            // Restore, then the window's own show handler, then the centring rule.
            // An error of the show step goes to the error box and the showing goes on.
            m_storage.FormShowStep();
            RunCommand([&] { static_cast<QObject*>(m_widget.data())->event(event); });
            if (m_widget) m_window.CentreIfStillCentred();
            return true;
        case QEvent::Close:
            RunCommand([&] { static_cast<QObject*>(m_widget.data())->event(event); });
            if (event->isAccepted()) {
                m_storage.CloseQueryStep();
                if (m_closed) m_closed();
            }
            return true;
        default:
            return false;
    }
}

}  // namespace tivaro
