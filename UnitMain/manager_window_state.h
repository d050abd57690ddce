#pragma once
// Every value the manager window's logic reads or writes, without widgets: the
// subnet octet fields, the hidden port fields, grdRec, is_rx, the event log
// and the unit list with their grids' row bookkeeping, and ADD_LOG. Commands
// that need the outside world take it as arguments. UI thread only.

#include <QString>
#include <cstdint>

#include "UnitMain/event_log.h"
#include "UnitMain/grid_state.h"
#include "UnitMain/unit_list.h"
#include "core/wall_clock.h"
#include "core/numeric_field_model.h"

constexpr int kGridRowHeight = 16;
constexpr int kLogGridHeight = 274;
constexpr int kGridVisibleRows = kLogGridHeight / kGridRowHeight;  // 17

class ManagerWindowState {
public:
    explicit ManagerWindowState(const WallClock& clock);
    ManagerWindowState(const ManagerWindowState&) = delete;
    ManagerWindowState& operator=(const ManagerWindowState&) = delete;

    tivaro::NumericFieldModel SpinEdit3{192};
    tivaro::NumericFieldModel SpinEdit4{168};
    tivaro::NumericFieldModel SpinEdit5{1};
    tivaro::NumericFieldModel Broadcast_Port{22222, 0, 65535};
    tivaro::NumericFieldModel UDP_PORT{0};
    TGridRect grdRec{};
    bool is_rx = false;

    EventLog Log;
    GridState LogGrid{EventLog::kColumns, kGridVisibleRows};
    UnitList Units;
    GridState UnitGrid{UnitList::kColumns, kGridVisibleRows};

    // Appends one entry stamped with the current time, then scrolls the log's
    // view to its last row and applies grdRec to it.
    void ADD_LOG(const QString& L_IP, const QString& L_Port, const QString& L_Message);
    // "clear Log": every entry goes, one blank row stays; selection, top row
    // and grdRec are left alone.
    void ClearLog();
    // Empties the unit list (broadcast, subnet switch).
    void ClearUnits();
    // The grids' state once the listener runs: one blank row each, grdRec all
    // -1, applied to the log and then to the unit list.
    void ResetGridsOnShow();

    // Texts shown by the views; "" outside the entries (header and blank rows).
    QString LogCell(int col, int row) const;
    QString UnitCell(int col, int row) const;

private:
    const WallClock& m_clock;
    QString m_timeSeparator;
};
