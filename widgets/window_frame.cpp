#include "widgets/window_frame.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace tivaro {

namespace {

// The estimate of an unmapped window's frame is asked for once per window; a
// manager that announces the request but does not answer costs this much once.
constexpr auto kEstimateWait = std::chrono::milliseconds(400);
constexpr const char* kEstimateAsked = "tivaroFrameEstimateAsked";

xcb_connection_t* connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootOf(xcb_connection_t* c) {
    const xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    return it.rem ? it.data->root : xcb_window_t{XCB_WINDOW_NONE};
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// A property as 32-bit words (empty when missing or of another format).
std::vector<std::uint32_t> words(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                 xcb_atom_t type) {
    const xcb_get_property_cookie_t cookie = xcb_get_property(c, 0, window, property, type, 0, 1024);
    // A window that is gone answers with an error, which is taken here rather
    // than left for Qt's event queue to report.
    xcb_generic_error_t* error = nullptr;
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(c, cookie, &error), &std::free);
    std::free(error);
    if (!reply || reply->format != 32) return {};
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(data, data + xcb_get_property_value_length(reply.get()) / 4);
}

// A running EWMH manager names a check window that names itself; a manager
// that has gone leaves the root property pointing at a window that is gone.
bool managerAnswersFrameRequests(xcb_connection_t* c, xcb_window_t root) {
    const xcb_atom_t check = atom(c, "_NET_SUPPORTING_WM_CHECK");
    const auto rootCheck = words(c, root, check, XCB_ATOM_WINDOW);
    if (rootCheck.empty()) return false;
    const auto self = words(c, rootCheck[0], check, XCB_ATOM_WINDOW);
    if (self.empty() || self[0] != rootCheck[0]) return false;
    const auto supported = words(c, root, atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    return std::find(supported.begin(), supported.end(), atom(c, "_NET_REQUEST_FRAME_EXTENTS")) !=
           supported.end();
}

// Qt counts a window as visible from its show event on, before it is mapped.
bool mapped(xcb_connection_t* c, xcb_window_t window) {
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> reply(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr), &std::free);
    return reply && reply->map_state != XCB_MAP_STATE_UNMAPPED;
}

QMargins marginsOf(const std::vector<std::uint32_t>& extents) {
    if (extents.size() < 4) return {};
    // left, right, top, bottom
    return QMargins(static_cast<int>(extents[0]), static_cast<int>(extents[2]), static_cast<int>(extents[1]),
                    static_cast<int>(extents[3]));
}

class MotifHintsKeeper final : public QObject {
public:
    MotifHintsKeeper(QWidget& window, std::uint32_t functions, std::uint32_t decorations)
        : QObject(&window), m_functions(functions), m_decorations(decorations) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched == parent())
            SetMotifHints(*static_cast<QWidget*>(watched), m_functions, m_decorations);
        return false;
    }

private:
    std::uint32_t m_functions;
    std::uint32_t m_decorations;
};

}  // namespace

void SetMotifHints(QWidget& window, std::uint32_t functions, std::uint32_t decorations) {
    xcb_connection_t* c = connection();
    if (!c) return;
    const xcb_atom_t hints = atom(c, "_MOTIF_WM_HINTS");
    constexpr std::uint32_t kFunctionsAndDecorations = 1u | 2u;
    const std::uint32_t value[5] = {kFunctionsAndDecorations, functions, decorations, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()), hints, hints, 32,
                        5, value);
    xcb_flush(c);
}

void KeepMotifHints(QWidget& window, std::uint32_t functions, std::uint32_t decorations) {
    SetMotifHints(window, functions, decorations);
    window.installEventFilter(new MotifHintsKeeper(window, functions, decorations));
}

QMargins FrameMargins(QWidget& window) {
    if (!window.isWindow()) return {};
    xcb_connection_t* c = connection();
    if (!c) {
        // Another platform: the frame as Qt knows it.
        const QRect outer = window.frameGeometry(), inner = window.geometry();
        return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                        outer.bottom() - inner.bottom());
    }
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t extentsAtom = atom(c, "_NET_FRAME_EXTENTS");
    std::vector<std::uint32_t> extents = words(c, id, extentsAtom, XCB_ATOM_CARDINAL);
    if (!extents.empty() || window.property(kEstimateAsked).toBool() || mapped(c, id))
        return marginsOf(extents);

    // Not mapped yet: the manager estimates the frame it will give, going by
    // the window's type and hints as they stand now.
    window.setProperty(kEstimateAsked, true);
    const xcb_window_t root = rootOf(c);
    if (!managerAnswersFrameRequests(c, root)) return {};
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = id;
    request.type = atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(c);
    const auto deadline = std::chrono::steady_clock::now() + kEstimateWait;
    while ((extents = words(c, id, extentsAtom, XCB_ATOM_CARDINAL)).empty() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return marginsOf(extents);
}

QRect FrameRect(QWidget& window) { return window.geometry().marginsAdded(FrameMargins(window)); }

void MoveFrameTo(QWidget& window, QPoint topLeft) {
    // setGeometry places the client area (move() would mix in whatever frame Qt
    // has learnt so far, nothing before the first map).
    const QMargins frame = FrameMargins(window);
    window.setGeometry(QRect(topLeft + QPoint(frame.left(), frame.top()), window.size()));
}

void CentreFrameOn(QWidget& window, const QRect& area, QPoint minimum) {
    const QSize outer = window.size().grownBy(FrameMargins(window));
    const int left = std::max(area.left() + (area.width() - outer.width()) / 2, minimum.x());
    const int top = std::max(area.top() + (area.height() - outer.height()) / 2, minimum.y());
    MoveFrameTo(window, QPoint(left, top));
}

QWidget* MessageBoxOwner() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return QApplication::activeWindow();
}

}  // namespace tivaro
