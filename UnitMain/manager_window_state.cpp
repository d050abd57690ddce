#include "UnitMain/manager_window_state.h"

ManagerWindowState::ManagerWindowState(const WallClock& clock)
    : m_clock(clock), m_timeSeparator(LocaleTimeSeparator()) {}

void ManagerWindowState::ADD_LOG(const QString& L_IP, const QString& L_Port, const QString& L_Message) {
    Log.Append(LogEntry{FormatLogTime(m_clock.Now(), m_timeSeparator), L_IP, L_Port, L_Message});
    LogGrid.AppendRow();
    LogGrid.NotifyRowChanged(LogGrid.RowCount() - 2);
    LogGrid.ScrollLastRowIntoView();
    LogGrid.SetSelection(grdRec);
}

void ManagerWindowState::ClearLog() {
    Log.Clear();
    LogGrid.NotifyReset();
    LogGrid.SetRowCount(1);
}

void ManagerWindowState::ClearUnits() {
    Units.Clear();
    UnitGrid.NotifyReset();
    UnitGrid.SetRowCount(1);
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
    return Log.At(index).Column(col);
}

QString ManagerWindowState::UnitCell(int col, int row) const {
    const int index = row - UnitGrid.FixedRows();
    if (col < 0 || col >= UnitList::kColumns || index < 0 || index >= Units.Count()) return {};
    return Units.At(index).Column(col);
}
