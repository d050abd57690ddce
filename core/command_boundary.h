#pragma once
// The one boundary every user command runs through: an exception that leaves a
// command is handed to the application's error display (the standard display
// unless the shell or a test installs another). The standard display is the
// error box once the widget layer has set it (SetStandardErrorDisplay with
// ShowStandardErrorBox, widgets/error_box.h); until then the text goes to
// stderr. UI thread only.

#include <QObject>
#include <QString>
#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

namespace tivaro {

// The silent-abort kind of error: it ends a command and shows no box.
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return ""; }
};

using ErrorDisplay = std::function<void(const std::exception&)>;

// Installs the display; an empty function restores the standard display.
void SetErrorDisplay(ErrorDisplay display);
// Sets the standard display; an empty function restores the stderr line.
void SetStandardErrorDisplay(ErrorDisplay display);
// Hands the error to the installed display (a SilentAbort never reaches it).
void ShowError(const std::exception& error);

// The message the box shows: the innermost nested error's text, unless that
// one is empty, else the error's own text (UTF-8).
QString ErrorMessageText(const std::exception& error);

// Appends "." unless the text is empty or its last character is at or below
// "." (so "…verwendet." and a text ending in a line break stay as they are).
QString WithFullStop(const QString& message);

template <typename F>
void RunCommand(F&& command) {
    try {
        std::forward<F>(command)();
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

// Connects a control's signal to a window's command handler through
// RunCommand. Both windows connect their commands this way, so the handlers
// themselves stay free to throw and this is where their errors are shown. A
// handler takes the signal's arguments or none (a click's "checked" flag).
template <typename Control, typename SignalOwner, typename... Args, typename Window, typename Handler>
QMetaObject::Connection ConnectCommand(Control* control, void (SignalOwner::*signal)(Args...), Window* window,
                                       Handler handler) {
    return QObject::connect(control, signal, window, [handler](Args... args) {
        RunCommand([&] {
            if constexpr (std::is_invocable_v<const Handler&, Args...>)
                handler(args...);
            else
                handler();
        });
    });
}

}  // namespace tivaro
