#pragma once
// What a window manager does around a top-level window, reached over X11 where
// the program runs on it: the Motif hints that say which functions and
// decorations a window wants, and the frame the manager draws around it
// (_NET_FRAME_EXTENTS, asked for before the window is mapped so that a first
// position can already count the frame). Positions here are those of the
// frame's outer top-left corner; without a window manager the frame is empty
// and the window's own corner is meant.
// Also the owner and the place of the message boxes. UI thread only.

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <cstdint>

class QWidget;

namespace tivaro {

// _MOTIF_WM_HINTS bits (functions and decorations fields).
enum MotifFunction : std::uint32_t { kMotifFunctionMove = 1u << 2, kMotifFunctionClose = 1u << 5 };
enum MotifDecoration : std::uint32_t { kMotifDecorationBorder = 1u << 1, kMotifDecorationTitle = 1u << 3 };

// Writes the window's _MOTIF_WM_HINTS (functions and decorations given, input
// mode and status unset). Creates the native window if needed; does nothing
// off X11.
void SetMotifHints(QWidget& window, std::uint32_t functions, std::uint32_t decorations);

// Keeps a window's Motif hints as given, also where Qt writes its own ones
// again (at creation or a change of its flags): they are written now and each
// time the window is shown, before it is mapped.
void KeepMotifHints(QWidget& window, std::uint32_t functions, std::uint32_t decorations);

// The frame the window manager puts around the window: for a mapped window the
// one it has, for one not yet mapped the manager's estimate (asked for once,
// waited for at most a fraction of a second). Empty without a manager; off
// X11 the frame Qt reports.
QMargins FrameMargins(QWidget& window);

// The window's outer rectangle, frame included, at its current client position.
QRect FrameRect(QWidget& window);

// Places the window so that its frame's outer top-left corner is at topLeft.
void MoveFrameTo(QWidget& window, QPoint topLeft);

// Centres the framed window on the area: left = (area width − outer width) / 2
// and top likewise, each halved value rounded toward zero, plus the area's own
// corner; never left of or above minimum.
void CentreFrameOn(QWidget& window, const QRect& area, QPoint minimum);

// The window a message box shown now belongs to: the open modal dialog, else
// the active window (null when there is neither).
QWidget* MessageBoxOwner();

}  // namespace tivaro
