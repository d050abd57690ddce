#include <xcb/xcb.h>

#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "shell/application.h"
#include "shell/display_platform.h"

namespace tivaro {
namespace {

std::optional<std::string> Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

// Connects to the X server as Qt's X11 platform would, and lets go again.
bool XServerAnswers(const std::string& display) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return ok;
}

const char* ProgramName(const char* argv0) {
    const char* name = argv0 && *argv0 ? argv0 : "tivaro-manager";
    for (const char* p = name; *p; ++p)
        if (*p == '/') name = p + 1;
    return name;
}

}  // namespace
}  // namespace tivaro

int main(int argc, char** argv) {
    using namespace tivaro;
    const PlatformChoice choice =
        ChoosePlatform(Env("QT_QPA_PLATFORM"), Env("DISPLAY"), Env("WAYLAND_DISPLAY"), XServerAnswers);
    if (choice.kind == PlatformChoice::Kind::NoDisplay) {
        std::fprintf(stderr, "%s: %s\n", ProgramName(argc > 0 ? argv[0] : nullptr), choice.message.c_str());
        return 1;
    }
    if (choice.kind == PlatformChoice::Kind::UseXcb) qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb"));
    return RunManager(argc, argv);
}
