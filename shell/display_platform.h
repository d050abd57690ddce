#pragma once
// Which window-system platform the manager starts on, decided before Qt is
// touched: with no platform chosen by the user and an X display that answers,
// the X11 platform (also under a Wayland compositor through XWayland, where a
// window could neither place itself, nor stay on top, nor raise another copy);
// where the X11 platform would be used and no X server answers, one clear line
// instead of Qt's abort. Main thread, before the application object exists.

#include <functional>
#include <optional>
#include <string>

namespace tivaro {

struct PlatformChoice {
    enum class Kind {
        LeaveToQt,  // the user's platform, or a Wayland session without X
        UseXcb,     // set the X11 platform
        NoDisplay,  // print message and exit 1
    };
    Kind kind = Kind::LeaveToQt;
    std::string message;  // for NoDisplay: one line, without the program name
};

// qpaPlatform: QT_QPA_PLATFORM (nullopt when unset); display: DISPLAY;
// waylandDisplay: WAYLAND_DISPLAY. xAnswers tells whether an X server
// answers on a display name; it is asked only when the choice depends on it.
PlatformChoice ChoosePlatform(const std::optional<std::string>& qpaPlatform,
                              const std::optional<std::string>& display,
                              const std::optional<std::string>& waylandDisplay,
                              const std::function<bool(const std::string&)>& xAnswers);

}  // namespace tivaro
