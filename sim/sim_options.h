#pragma once
// Command line of tivaro-sim: parsing and the usage text. Pure functions.

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/messages.h"
#include "sim/simulated_module.h"

namespace tivaro::sim {

constexpr int kMaxModules = 65536;

struct SimOptions {
    int count = 8;
    Ipv4Octets firstAddress{198, 18, 1, 10};
    std::uint16_t commandPort = 22222;  // where modules listen
    std::uint16_t replyPort = 22223;    // where every reply goes, on the sender's address
    bool verbose = false;
    Faults faults;
    int exitAfterMs = 0;  // 0: run until SIGINT/SIGTERM
    bool help = false;

    // --probe: send one discovery request and print the replies instead.
    bool probe = false;
    std::string probeTarget = "255.255.255.255";
    int probeWaitMs = 1000;
};

struct ParsedOptions {
    SimOptions options;
    std::string error;  // empty when the command line was good
};

ParsedOptions ParseSimOptions(const std::vector<std::string>& args);
std::string SimUsage(const std::string& program);

// The address of module i (0-based): first address + i, as one 32-bit number.
Ipv4Octets ModuleAddress(const Ipv4Octets& first, int index);

}  // namespace tivaro::sim
