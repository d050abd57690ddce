#include "UnitMain/manager_window_state.h"

#include <malloc.h>

#include <new>

namespace tivaro {

namespace {

// The freed pages of a large log or unit list go back to the system at once
// instead of staying with the process.
void giveMemoryBack() { ::malloc_trim(0); }

}  // namespace

ManagerWindowState::ManagerWindowState(const WallClock& clock)
    : m_clock(clock), m_timeSeparator(LocaleTimeSeparator()) {}

void ManagerWindowState::ADD_LOG(const QString& L_IP, const QString& L_Port, const QString& L_Message) {
    try {
        Log.Append(m_clock.Now(), m_timeSeparator, L_IP, L_Port, L_Message);
        Log.SetTopRow(TopRowAfterAppend(Log.TopRow(), Log.Rows(), kGridVisibleRows));
        Log.SetSelection(grdRec);
    } catch (const std::bad_alloc&) {
        // Out of memory: this one entry is dropped (or its view catches up
        // with the next one); the program goes on.
    }
}

void ManagerWindowState::ClearLog() {
    Log.Clear();
    giveMemoryBack();
}

void ManagerWindowState::ClearUnits() {
    Units.Clear();
    giveMemoryBack();
}

void ManagerWindowState::ResetGridsOnShow() {
    Units.ResetRows();
    Log.ResetRows();
    grdRec = TGridRect{-1, -1, -1, -1};
    Log.SetSelection(grdRec);
    Units.SetSelection(grdRec);
}

QString ManagerWindowState::LogCell(int col, int row) const { return Log.CellText(col, row); }

QString ManagerWindowState::UnitCell(int col, int row) const { return Units.CellText(col, row); }

}  // namespace tivaro
