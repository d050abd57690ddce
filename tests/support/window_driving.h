#pragma once
// Driving the real windows in LAN tests: WhenShown runs an action once inside
// a modal dialog's own event loop, as soon as the dialog is visible, and
// reports whether it ever was; ReleaseOverCell ends a click on a grid cell;
// CloseWindows takes the two windows down in the program's order;
// RunWindowTests is such a test program's main(). UI thread only.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "UnitMain/manager_window.h"
#include "UnitModul/setup_dialog.h"
#include "widgets/fonts.h"

namespace tivaro::test {

class WhenShown {
public:
    WhenShown(QWidget& dialog, std::function<void()> act) : m_dialog(dialog), m_act(std::move(act)) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (!m_dialog.isVisible() || m_shown) return;
            m_shown = true;
            m_modal = m_dialog.isModal();
            m_act();
        });
        m_timer.start();
    }
    bool Shown() const { return m_shown; }
    bool Modal() const { return m_modal; }

private:
    QWidget& m_dialog;
    std::function<void()> m_act;
    QTimer m_timer;
    bool m_shown = false;
    bool m_modal = false;
};

// A mouse release over the cell, as the user's click ends. The grid shows new
// rows from its next event-loop turn: waits until the cell is there.
inline bool ReleaseOverCell(QTableView& grid, int col, int row, Qt::MouseButton button = Qt::LeftButton) {
    if (!QTest::qWaitFor([&] { return grid.model()->rowCount() > row; }, 2000)) return false;
    const QRect cell = grid.visualRect(grid.model()->index(row, col));
    if (!cell.isValid()) return false;
    QTest::mouseRelease(grid.viewport(), button, Qt::NoModifier, cell.center());
    return true;
}

// Listener and sender first, then the dialog, then the manager window.
inline void CloseWindows(std::unique_ptr<TForm1>& form1, std::unique_ptr<TForm2>& form2) {
    if (form1) {
        form1->Shutdown();
        form1->SetSetupDialog(nullptr);
    }
    form2.reset();
    form1.reset();
}

// main() of a GoogleTest program that drives the real windows: the offscreen
// platform unless another is chosen, the application object, the fonts.
inline int RunWindowTests(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallFonts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace tivaro::test
