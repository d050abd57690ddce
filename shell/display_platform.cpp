#include "shell/display_platform.h"

namespace tivaro {

namespace {

bool NamesXcb(const std::string& platform) { return platform == "xcb" || platform.rfind("xcb:", 0) == 0; }

PlatformChoice NoDisplay(const std::optional<std::string>& display) {
    if (!display || display->empty())
        return {PlatformChoice::Kind::NoDisplay, "cannot open a display: DISPLAY is not set"};
    return {PlatformChoice::Kind::NoDisplay,
            "cannot open display \"" + *display + "\": no X server answers there"};
}

}  // namespace

PlatformChoice ChoosePlatform(const std::optional<std::string>& qpaPlatform,
                              const std::optional<std::string>& display,
                              const std::optional<std::string>& waylandDisplay,
                              const std::function<bool(const std::string&)>& xAnswers) {
    const auto xReachable = [&] { return display && !display->empty() && xAnswers(*display); };
    if (qpaPlatform && !qpaPlatform->empty()) {
        // The user's choice stands; only for X11 do we know what it needs.
        if (NamesXcb(*qpaPlatform) && !xReachable()) return NoDisplay(display);
        return {};
    }
    if (xReachable()) return {PlatformChoice::Kind::UseXcb, {}};
    if (waylandDisplay && !waylandDisplay->empty()) return {};
    return NoDisplay(display);
}

}  // namespace tivaro
