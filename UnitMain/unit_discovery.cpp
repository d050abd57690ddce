#include "UnitMain/unit_discovery.h"

#include "protocol/messages.h"

void RunDiscoveryBroadcast(ManagerWindowState& state, tivaro::DatagramSender& sender) {
    state.ClearUnits();
    const tivaro::Bytes request = tivaro::BuildDiscoveryRequest();
    sender.Close();  // the request goes out through a freshly opened socket
    sender.Send("255.255.255.255", static_cast<std::uint16_t>(state.Broadcast_Port.Value()), request);
}

void HandleDiscoveryReply(ManagerWindowState& state, const QString& peerIP, std::uint16_t peerPort,
                          std::uint16_t port) {
    const QString localPort = QString::number(port);
    if (state.Units.AppendIfNew(UnitEntry{peerIP, QString::number(peerPort), localPort}) >= 0) {
        const std::int32_t r = state.UnitGrid.RowCount() - 1;
        state.grdRec = TGridRect{0, r, 2, r};
        state.UnitGrid.AppendRow();
        state.UnitGrid.NotifyRowChanged(r);
        state.UnitGrid.SetSelection(state.grdRec);
    }
    state.ADD_LOG(peerIP, localPort, QStringLiteral("ONLINE"));
}
