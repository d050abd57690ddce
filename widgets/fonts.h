#pragma once
// Makes the fonts the windows name available: Tahoma from Wine's font folder
// stands in for "MS Sans Serif", DejaVu Sans for Verdana, Liberation Sans for
// Arial. Call once on the UI thread after the application object exists.

namespace tivaro {

void InstallFonts();

}  // namespace tivaro
