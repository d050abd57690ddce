#include "sim/probe.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/udp_endpoints.h"
#include "protocol/unique_fd.h"

namespace tivaro::sim {

bool InVirtualLan() {
    struct stat self {};
    if (stat("/proc/self/ns/net", &self) != 0) return false;
    DIR* dir = opendir("/run/netns");
    if (!dir) return false;
    bool found = false;
    while (const dirent* e = readdir(dir)) {
        if (std::strncmp(e->d_name, "tivaro-", 7) != 0) continue;
        struct stat ns {};
        const std::string path = std::string("/run/netns/") + e->d_name;
        if (stat(path.c_str(), &ns) == 0 && ns.st_ino == self.st_ino && ns.st_dev == self.st_dev)
            found = true;
    }
    closedir(dir);
    return found;
}

int RunProbe(const SimOptions& options, std::FILE* out) {
    const auto target = ParseIpv4(options.probeTarget);
    if (!target) return 2;
    const bool broadcast = *target == Ipv4Octets{255, 255, 255, 255};
    const bool loopback = (*target)[0] == 127;
    const bool virtualLan = (*target)[0] == 198 && ((*target)[1] & 0xFE) == 18;
    if (!broadcast && !loopback && !virtualLan) {
        std::fprintf(out,
                     "tivaro-sim: --probe sends only to loopback, 198.18.0.0/15 or, inside a virtual LAN, "
                     "255.255.255.255\n");
        return 2;
    }
    if (broadcast && !InVirtualLan()) {
        std::fprintf(out,
                     "tivaro-sim: refusing to broadcast on this machine's own network; run the probe inside "
                     "a virtual LAN: scripts/vlan exec mgr -- tivaro-sim --probe\n");
        return 2;
    }

    const UniqueFd owned(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int rx = owned.Get();
    if (rx < 0) {
        std::fprintf(out, "tivaro-sim: socket: %s\n", std::strerror(errno));
        return 1;
    }
    sockaddr_in here{};
    here.sin_family = AF_INET;
    here.sin_port = htons(options.replyPort);
    if (bind(rx, reinterpret_cast<sockaddr*>(&here), sizeof here) != 0) {
        std::fprintf(out, "tivaro-sim: cannot listen on port %u: %s\n", options.replyPort,
                     std::strerror(errno));
        return 1;
    }
    // The manager's own sender: a broadcast goes out on every link, as the
    // manager sends it.
    try {
        UdpSender sender;
        sender.Send(FormatIpv4(*target), options.commandPort, BuildDiscoveryRequest());
    } catch (const NetworkError& e) {
        std::fprintf(out, "tivaro-sim: send to %s:%u failed: %s\n", options.probeTarget.c_str(),
                     options.commandPort, e.what());
        return 1;
    }
    std::fprintf(out, "sent BRCA to %s:%u, replies for %d ms:\n", options.probeTarget.c_str(),
                 options.commandPort, options.probeWaitMs);
    std::fflush(out);

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(options.probeWaitMs);
    std::vector<std::uint8_t> buffer(65536);
    int replies = 0;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{rx, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            recvfrom(rx, buffer.data(), buffer.size(), MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) continue;
        char address[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
        const std::size_t shown = std::min<std::size_t>(static_cast<std::size_t>(n), 16);
        std::fprintf(out, "  reply from %s port %u (%zd bytes) %s\n", address, ntohs(from.sin_port), n,
                     HexDump(buffer.data(), shown).c_str());
        std::fflush(out);
        ++replies;
    }
    std::fprintf(out, "%d replies\n", replies);
    return replies > 0 ? 0 : 1;
}

}  // namespace tivaro::sim
