#include "UnitMain/manager_window_state.h"

#include <malloc.h>

#include <new>

namespace {

// The freed pages of a large log or unit list go back to the system at once
// instead of staying with the process.
void giveMemoryBack() { ::malloc_trim(0); }

}  // namespace

ManagerWindowState::ManagerWindowState(const WallClock& clock)
    : m_clock(clock), m_timeSeparator(LocaleTimeSeparator()) {}

void ManagerWindowState::ADD_LOG(const QString& L_IP, const QString& L_Port, const QString& L_Message) {
    try {
        if (Log.Append(m_clock.Now(), m_timeSeparator, L_IP, L_Port, L_Message)) {
            // The oldest entry gave way: the rows keep their number and every
            // entry moved up by one.
            LogGrid.NotifyRowChanged(LogGrid.FixedRows());
            LogGrid.NotifyRowChanged(LogGrid.RowCount() - 2);
        } else {
            LogGrid.AppendRow();
            LogGrid.NotifyRowChanged(LogGrid.RowCount() - 2);
        }
        LogGrid.ScrollLastRowIntoView();
        LogGrid.SetSelection(grdRec);
    } catch (const std::bad_alloc&) {
        // Out of memory: this one entry is dropped (or its view catches up
        // with the next one); the program goes on.
    }
}

void ManagerWindowState::ClearLog() {
    Log.Clear();
    LogGrid.NotifyReset();
    LogGrid.SetRowCount(1);
    giveMemoryBack();
}

void ManagerWindowState::ClearUnits() {
    Units.Clear();
    UnitGrid.NotifyReset();
    UnitGrid.SetRowCount(1);
    giveMemoryBack();
}

void ManagerWindowState::ResetGridsOnShow() {
    UnitGrid.SetRowCount(1);
    LogGrid.SetRowCount(1);
    grdRec = TGridRect{-1, -1, -1, -1};
    LogGrid.SetSelection(grdRec);
    UnitGrid.SetSelection(grdRec);
}

QString ManagerWindowState::LogCell(int col, int row) const {
    const int index = row - LogGrid.FixedRows();
    if (col < 0 || col >= EventLog::kColumns || index < 0 || index >= Log.Count()) return {};
    return Log.Cell(index, col);
}

QString ManagerWindowState::UnitCell(int col, int row) const {
    const int index = row - UnitGrid.FixedRows();
    if (col < 0 || col >= UnitList::kColumns || index < 0 || index >= Units.Count()) return {};
    return Units.At(index).Column(col);
}
