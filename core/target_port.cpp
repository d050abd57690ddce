#include "core/target_port.h"

#include <string>

#include "protocol/udp_endpoints.h"

namespace tivaro {

std::uint16_t TargetPort(std::int32_t udpPort) {
    if (udpPort < 0 || udpPort > 65535)
        throw NetworkError("Ungültiger Port " + std::to_string(udpPort) + ".", 0);
    return static_cast<std::uint16_t>(udpPort);
}

}  // namespace tivaro
