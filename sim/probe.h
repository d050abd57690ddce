#pragma once
// tivaro-sim --probe: sends one discovery request and prints every reply that
// arrives within the wait. Runs on the calling thread and sends exactly one
// datagram.

#include <cstdio>

#include "sim/sim_options.h"

namespace tivaro::sim {

// True when this process runs in a namespace of a virtual LAN made by
// scripts/vlan (one of /run/netns/tivaro-*): only there may it broadcast.
bool InVirtualLan();

// Returns 0 when at least one reply came, 1 when none did or a socket failed,
// 2 when the destination is refused (broadcast outside a namespace, or an
// address outside loopback and 198.18.0.0/15).
int RunProbe(const SimOptions& options, std::FILE* out);

}  // namespace tivaro::sim
