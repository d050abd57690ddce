#pragma once
// "Broadcast TIVARO" and the handling of discovery replies. UI thread only.

#include <QString>
#include <cstdint>

#include "UnitMain/manager_window_state.h"
#include "protocol/udp_endpoints.h"

namespace tivaro {

// Clears the unit list, closes the sender and broadcasts "BRCA" to
// 255.255.255.255 at Broadcast_Port. Throws NetworkError when the send fails
// (the list stays cleared).
void RunDiscoveryBroadcast(ManagerWindowState& state, DatagramSender& sender);

// Lists the sender if its address is new (selecting its row through grdRec)
// and logs "ONLINE" in any case.
void HandleDiscoveryReply(ManagerWindowState& state, const QString& peerIP, std::uint16_t peerPort,
                          std::uint16_t port);

}  // namespace tivaro
