#pragma once
// Every value the manager window's logic reads or writes, without widgets: the
// subnet octet fields, the hidden port fields, grdRec, is_rx, the event log
// and the unit list models the grids show, whether a settings fetch runs, and
// ADD_LOG. Commands that need the outside world take it as arguments. UI
// thread only.

#include <QString>
#include <cstdint>

#include "core/event_log_model.h"
#include "core/numeric_field_model.h"
#include "core/unit_list_model.h"
#include "core/wall_clock.h"

namespace tivaro {

constexpr int kGridRowHeight = 16;
constexpr int kLogGridHeight = 274;
constexpr int kGridVisibleRows = kLogGridHeight / kGridRowHeight;  // 17

class ManagerWindowState {
public:
    explicit ManagerWindowState(const WallClock& clock);
    ManagerWindowState(const ManagerWindowState&) = delete;
    ManagerWindowState& operator=(const ManagerWindowState&) = delete;

    NumericFieldModel SpinEdit3{192};
    NumericFieldModel SpinEdit4{168};
    NumericFieldModel SpinEdit5{1};
    NumericFieldModel Broadcast_Port{22222, 0, 65535};
    NumericFieldModel UDP_PORT{0};
    TGridRect grdRec{};
    bool is_rx = false;
    // Set while a settings fetch runs (its wait or its modal dialog).
    bool fetchRunning = false;

    EventLogModel Log;
    UnitListModel Units;

    // Appends one entry stamped with the current time, then scrolls the log's
    // view to its last row once the rows no longer fit and applies grdRec to it.
    void ADD_LOG(const QString& L_IP, const QString& L_Port, const QString& L_Message);
    // "clear Log": every entry goes, one blank row stays; selection, top row
    // and grdRec are left alone.
    void ClearLog();
    // Empties the unit list (broadcast, subnet switch).
    void ClearUnits();
    // The grids' state once the listener runs: one blank row each, grdRec all
    // -1, applied to the log and then to the unit list.
    void ResetGridsOnShow();

    // Texts shown by the grids by row; "" outside the entries (header and blank rows).
    QString LogCell(int col, int row) const;
    QString UnitCell(int col, int row) const;

private:
    const WallClock& m_clock;
    QString m_timeSeparator;
};

}  // namespace tivaro
