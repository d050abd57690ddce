#pragma once
// "Set all TIVARO Units in same Network Segment" and the logging of the units'
// replies. UI thread only.

#include <QString>
#include <cstdint>

#include "UnitMain/manager_window_state.h"
#include "core/confirmation.h"
#include "protocol/udp_endpoints.h"

namespace tivaro {

// "a.b.c.XXX" from the octet fields as they read now, each the whole signed value.
QString SubnetText(const ManagerWindowState& state);

// Asks "All Units in same Subnet a.b.c.XXX ?"; on "&Ja" clears the unit list,
// closes the sender, broadcasts the switch request to Broadcast_Port and logs
// "SET ALL TO a.b.c.XXX". Throws NetworkError when the send fails (the list
// stays cleared, nothing is logged).
void RunSubnetSwitch(ManagerWindowState& state, Confirmation& confirmation, DatagramSender& sender);

// Logs "SWITCH TO " with the subnet text as the fields read at this moment.
void HandleSubnetSwitchReply(ManagerWindowState& state, const QString& peerIP, std::uint16_t port);

}  // namespace tivaro
