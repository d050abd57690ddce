#include "UnitMain/unit_discovery.h"

#include "protocol/messages.h"

namespace tivaro {

void RunDiscoveryBroadcast(ManagerWindowState& state, DatagramSender& sender) {
    state.ClearUnits();
    const Bytes request = BuildDiscoveryRequest();
    sender.Close();  // the request goes out through a freshly opened socket
    sender.Send("255.255.255.255", static_cast<std::uint16_t>(state.Broadcast_Port.Value()), request);
}

void HandleDiscoveryReply(ManagerWindowState& state, const QString& peerIP, std::uint16_t peerPort,
                          std::uint16_t port) {
    const QString localPort = QString::number(port);
    const int index = state.Units.AppendIfNew(UnitEntry{peerIP, QString::number(peerPort), localPort});
    if (index >= 0) {
        // The new unit's row, where the blank row was.
        const std::int32_t r = state.Units.Rows().FixedRows() + index;
        state.grdRec = TGridRect{0, r, 2, r};
        state.Units.SetSelection(state.grdRec);
    }
    state.ADD_LOG(peerIP, localPort, QStringLiteral("ONLINE"));
}

}  // namespace tivaro
