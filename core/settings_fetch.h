#pragma once
// The settings fetch run when a mouse button is released over the unit list:
// presets the setup dialog, fixes the target unit, sends "GET" and waits up to
// a little over 1000 ms while pumping the UI event loop; shows the dialog if
// any datagram was handled meanwhile, else logs "NO RESPONSE FROM ".
// UI thread only.

#include <QString>
#include <cstdint>

#include "core/module_host.h"
#include "core/setup_dialog_port.h"
#include "protocol/udp_endpoints.h"

namespace tivaro {

// What the fetch needs of the manager window beyond what the setup dialog
// needs: the unit list, setting UDP_PORT and the is_rx flag.
class FetchHost : public ModuleHost {
public:
    // Text of a unit-list cell; "" for a cell outside the list or a blank cell.
    virtual QString UnitCellText(int col, int row) const = 0;
    virtual void SetUdpPort(std::int32_t port) = 0;  // the hidden UDP_PORT field
    virtual bool IsRx() const = 0;                   // is_rx
    virtual void SetIsRx(bool value) = 0;
    // Whether a fetch runs now (its wait or its modal dialog).
    virtual bool FetchRunning() const = 0;
    virtual void SetFetchRunning(bool value) = 0;
};

// One pass of the wait's event processing: handles every pending event and,
// when none is pending, blocks until the next event arrives or remainingMs
// have passed. The real one drives the Qt event loop; tests script it.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void Pump(std::int64_t remainingMs) = 0;
};

// A monotonic millisecond clock.
class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    virtual std::int64_t NowMs() const = 0;
};

// Runs one fetch for a release over cell (col, row); row < 0 means outside
// every cell. Throws the conversion error for a non-numeric column 1 and
// NetworkError when the send fails (the caller's command boundary shows them).
void RunSettingsFetch(FetchHost& host, SetupDialogPort& dialog, EventPump& pump, const MonotonicClock& clock,
                      int col, int row);

}  // namespace tivaro
