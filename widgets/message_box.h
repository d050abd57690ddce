#pragma once
// The program's message boxes (the question "Bestätigen", the standard error
// box, the last-resort box): owned by the window that is open in front (the
// modal dialog, else the active window), so that a window manager keeps them
// above it, also above a dialog that stays on top, and centred on the screen
// with their frame once their size is final. UI thread only.

#include <QMessageBox>

namespace tivaro {

class CentredMessageBox final : public QMessageBox {
public:
    // owned: whether the box belongs to the window in front (MessageBoxOwner).
    CentredMessageBox(Icon icon, const QString& title, const QString& text, bool owned = true);

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace tivaro
