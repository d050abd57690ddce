#pragma once
// The target unit's port (UDP_PORT, any 32-bit value) as a datagram port.
// Pure function, any thread.

#include <cstdint>

namespace tivaro {

// UDP_PORT as the port a datagram goes to. A value outside 0..65535 cannot
// name a port; rather than send to its low 16 bits (another port), it is
// refused with NetworkError("Ungültiger Port <n>.", 0).
std::uint16_t TargetPort(std::int32_t udpPort);

}  // namespace tivaro
