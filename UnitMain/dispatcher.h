#pragma once
// The handler of every received datagram (IdUDPServer1UDPRead): raises is_rx,
// classifies the datagram by its tag and hands it to the setup dialog, the
// unit list or the subnet switch. A settings reply fills the dialog only when
// it comes from the target unit (the dialog's IP caption); from any other
// address it is only logged. UI thread only.

#include "UnitMain/manager_window_state.h"
#include "core/setup_dialog_port.h"
#include "protocol/udp_endpoints.h"

namespace tivaro {

// dialog may be null (no setup dialog connected): a settings reply is then
// only logged.
void DispatchDatagram(ManagerWindowState& state, SetupDialogPort* dialog, const DatagramEvent& event);

}  // namespace tivaro
