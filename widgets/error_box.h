#pragma once
// The standard error box of both windows. UI thread only.

#include <exception>

namespace tivaro {

// Caption = application name (the title), stop icon, one OK button, modal to
// the whole application, owned by the window in front and centred on its
// screen. The application sets it as the standard error display.
void ShowStandardErrorBox(const std::exception& error);

}  // namespace tivaro
