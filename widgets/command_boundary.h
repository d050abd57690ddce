#pragma once
// The one boundary every user command runs through: an exception that leaves a
// command is handed to the application's error display (the standard error box
// once the shell has installed it). UI thread only.

#include <exception>
#include <functional>
#include <utility>

namespace tivaro {

using ErrorDisplay = std::function<void(const std::exception&)>;

// Installs the display; an empty function restores the fallback box.
void SetErrorDisplay(ErrorDisplay display);
void ShowError(const std::exception& error);

template <typename F>
void RunCommand(F&& command) {
    try {
        std::forward<F>(command)();
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

}  // namespace tivaro
