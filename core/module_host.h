#pragma once
// What the setup dialog needs of the manager window: the target unit's port
// (UDP_PORT), the shared sender and the event log. The manager window
// implements it; tests give a recording fake. UI thread only.

#include <QString>
#include <cstdint>

#include "protocol/udp_endpoints.h"

namespace tivaro {

class ModuleHost {
public:
    virtual ~ModuleHost() = default;
    virtual std::int32_t UdpPortValue() const = 0;  // value of the hidden UDP_PORT field
    virtual DatagramSender& Sender() = 0;
    virtual void ADD_LOG(const QString& L_IP, const QString& L_Port, const QString& L_Message) = 0;
};

}  // namespace tivaro
