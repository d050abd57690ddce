#include "UnitMain/dispatcher.h"

#include "UnitMain/subnet_switch.h"
#include "UnitMain/unit_discovery.h"
#include "protocol/messages.h"

namespace tivaro {

void DispatchDatagram(ManagerWindowState& state, SetupDialogPort* dialog, const DatagramEvent& event) {
    state.is_rx = true;
    const QString peerIP = QString::fromStdString(event.PeerIP);
    switch (ClassifyDatagram(event.AData)) {
        case DatagramKind::SettingsReply:
            // Only the target unit (the one being fetched or shown) fills the
            // dialog: another host's reply would otherwise replace the values
            // that "Save + Close" then writes into the target.
            if (dialog && peerIP == dialog->TargetCaption()) dialog->HandleSettingsReply(event.AData);
            state.ADD_LOG(peerIP, QString::number(event.Port), QStringLiteral("GET SETINGS"));
            break;
        case DatagramKind::DiscoveryReply:
            HandleDiscoveryReply(state, peerIP, event.PeerPort, event.Port);
            break;
        case DatagramKind::SubnetSwitchReply:
            HandleSubnetSwitchReply(state, peerIP, event.Port);
            break;
        case DatagramKind::Unrecognised:
            break;
    }
}

}  // namespace tivaro
