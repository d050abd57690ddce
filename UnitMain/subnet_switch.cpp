#include "UnitMain/subnet_switch.h"

#include "protocol/messages.h"

namespace tivaro {

QString SubnetText(const ManagerWindowState& state) {
    return QStringLiteral("%1.%2.%3.XXX")
        .arg(state.SpinEdit3.Value())
        .arg(state.SpinEdit4.Value())
        .arg(state.SpinEdit5.Value());
}

void RunSubnetSwitch(ManagerWindowState& state, Confirmation& confirmation, DatagramSender& sender) {
    // The fields cannot change while the question is open, so one reading
    // serves the question, the request and the log entry.
    const std::int32_t a = state.SpinEdit3.Value();
    const std::int32_t b = state.SpinEdit4.Value();
    const std::int32_t c = state.SpinEdit5.Value();
    const QString subnet = SubnetText(state);
    if (!confirmation.Confirm(QStringLiteral("All Units in same Subnet %1 ?").arg(subnet))) return;
    state.ClearUnits();
    const Bytes request = BuildSubnetSwitchRequest(a, b, c);
    sender.Close();
    const auto port = state.Broadcast_Port.Value();
    sender.Send("255.255.255.255", static_cast<std::uint16_t>(port), request);
    state.ADD_LOG(QStringLiteral("localhost"), QString::number(port), QStringLiteral("SET ALL TO ") + subnet);
}

void HandleSubnetSwitchReply(ManagerWindowState& state, const QString& peerIP, std::uint16_t port) {
    state.ADD_LOG(peerIP, QString::number(port), QStringLiteral("SWITCH TO ") + SubnetText(state));
}

}  // namespace tivaro
