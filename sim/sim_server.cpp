#include "sim/sim_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <queue>
#include <string>
#include <vector>

#include "protocol/unique_fd.h"

namespace tivaro::sim {

namespace {

volatile std::sig_atomic_t g_stop = 0;

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReceiveBuffer = 65536;  // a module reads whatever arrives
constexpr int kNotesPerBroadcast = 16;         // console lines for one broadcast, then a sum

std::string Endpoint(const sockaddr_in& a) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
    return std::string(buf) + ":" + std::to_string(ntohs(a.sin_port));
}

sockaddr_in MakeAddress(const Ipv4Octets& a, std::uint16_t port) {
    sockaddr_in s{};
    s.sin_family = AF_INET;
    s.sin_port = htons(port);
    std::memcpy(&s.sin_addr, a.data(), 4);
    return s;
}

// Room for `needed` descriptors: 20,000 modules need far more than the usual
// 1024. Returns the limit that holds afterwards.
rlim_t RaiseFileLimit(rlim_t needed) {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return 0;
    if (lim.rlim_cur >= needed) return lim.rlim_cur;
    if (lim.rlim_max < needed) {
        rlimit raised{needed, needed};
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) return needed;  // allowed with CAP_SYS_RESOURCE
    }
    lim.rlim_cur = std::min(needed, lim.rlim_max);
    setrlimit(RLIMIT_NOFILE, &lim);
    return lim.rlim_cur;
}

struct Pending {
    Clock::time_point due;
    std::size_t module;
    sockaddr_in to;
    Bytes bytes;
    bool operator>(const Pending& o) const { return due > o.due; }
};

}  // namespace

struct SimServer::Impl {
    SimOptions options;
    std::FILE* out;
    std::vector<SimulatedModule> modules;
    std::vector<UniqueFd> fds;  // fds[i] for module i; fds.back() is the wildcard socket
    UniqueFd epollFd;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<>> pending;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kReceiveBuffer);
    unsigned long long datagramsIn = 0, datagramsOut = 0, sendFailures = 0;

    Impl(SimOptions o, std::FILE* f) : options(std::move(o)), out(f) {}

    void Line(const std::string& text) {
        std::fprintf(out, "%s\n", text.c_str());
        std::fflush(out);
    }

    UniqueFd OpenSocket(const sockaddr_in& at, bool broadcast, std::string& error) {
        UniqueFd owned(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        const int fd = owned.Get();
        if (fd < 0) {
            error = std::string("socket: ") + std::strerror(errno);
            return {};
        }
        const int one = 1;
        // SO_REUSEADDR lets several simulators share the command port; the
        // kernel still hands a unicast to the socket bound to its exact address.
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        // Binds an address of an AnyIP range even before it is routed locally.
        setsockopt(fd, IPPROTO_IP, IP_FREEBIND, &one, sizeof one);
        if (broadcast) setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        if (bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
            error = "cannot bind " + Endpoint(at) + ": " + std::strerror(errno);
            return {};
        }
        return owned;
    }

    bool Setup() {
        const rlim_t needed = static_cast<rlim_t>(options.count) + 16;
        const rlim_t limit = RaiseFileLimit(needed);
        if (limit < needed) {
            Line("tivaro-sim: " + std::to_string(options.count) + " modules need about " +
                 std::to_string(needed) + " open files, the limit here is " + std::to_string(limit) +
                 "; split them across several tivaro-sim processes, each with its own --first-address");
            return false;
        }
        epollFd.Reset(epoll_create1(EPOLL_CLOEXEC));
        if (!epollFd.Valid()) {
            Line(std::string("tivaro-sim: epoll: ") + std::strerror(errno));
            return false;
        }
        modules.reserve(static_cast<std::size_t>(options.count));
        fds.reserve(static_cast<std::size_t>(options.count) + 1);
        std::string error;
        for (int i = 0; i <= options.count; ++i) {
            const bool wildcard = i == options.count;
            const Ipv4Octets address =
                wildcard ? Ipv4Octets{0, 0, 0, 0} : ModuleAddress(options.firstAddress, i);
            UniqueFd owned = OpenSocket(MakeAddress(address, options.commandPort), wildcard, error);
            if (!owned.Valid()) {
                Line("tivaro-sim: " + error);
                return false;
            }
            const int fd = owned.Get();
            fds.push_back(std::move(owned));
            if (!wildcard) modules.emplace_back(address);
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u64 = static_cast<std::uint64_t>(i);
            if (epoll_ctl(epollFd.Get(), EPOLL_CTL_ADD, fd, &ev) != 0) {
                Line(std::string("tivaro-sim: epoll_ctl: ") + std::strerror(errno));
                return false;
            }
        }
        return true;
    }

    void SendNow(std::size_t module, const sockaddr_in& to, const Bytes& bytes) {
        const sockaddr_in from = MakeAddress(modules[module].Address(), options.commandPort);
        if (options.verbose)
            Line("out " + Endpoint(from) + " > " + Endpoint(to) + " (" + std::to_string(bytes.size()) +
                 " bytes) " + HexDump(bytes));
        const ssize_t n = sendto(fds[module].Get(), bytes.data(), bytes.size(), 0,
                                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (n == static_cast<ssize_t>(bytes.size())) {
            ++datagramsOut;
        } else {
            ++sendFailures;
            Line("tivaro-sim: send from " + Endpoint(from) + " to " + Endpoint(to) +
                 " failed: " + std::strerror(errno));
        }
    }

    // Returns how many replies went out (or were queued for --delay).
    std::size_t Reply(std::size_t module, const sockaddr_in& sender, std::vector<Bytes>& replies) {
        sockaddr_in to = sender;
        to.sin_port = htons(options.replyPort);
        const auto failuresBefore = sendFailures;
        for (auto& r : replies) {
            if (options.faults.delayMs > 0)
                pending.push({Clock::now() + std::chrono::milliseconds(options.faults.delayMs), module, to,
                              std::move(r)});
            else
                SendNow(module, to, r);
        }
        return replies.size() - static_cast<std::size_t>(sendFailures - failuresBefore);
    }

    void Dispatch(std::size_t socketIndex, const sockaddr_in& sender, std::size_t size) {
        ++datagramsIn;
        const std::string from = Endpoint(sender);
        const bool broadcast = socketIndex == modules.size();
        if (options.verbose)
            Line("in  " + from + " > " +
                 (broadcast ? std::string("*") : FormatIpv4(modules[socketIndex].Address())) + ":" +
                 std::to_string(options.commandPort) + " (" + std::to_string(size) + " bytes) " +
                 HexDump(buffer.data(), size));
        if (!broadcast) {
            auto h = modules[socketIndex].Handle(buffer.data(), size, from, options.faults);
            if (!h.note.empty()) Line(h.note);
            if (h.note.empty() && !h.replies.empty())
                Line(FormatIpv4(modules[socketIndex].Address()) + " BRCA from " + from);
            Reply(socketIndex, sender, h.replies);
            return;
        }
        // A datagram on the wildcard socket is for every module.
        std::size_t sent = 0, notes = 0, wanted = 0;
        const auto failuresBefore = sendFailures;
        const auto started = Clock::now();
        for (std::size_t i = 0; i < modules.size(); ++i) {
            auto h = modules[i].Handle(buffer.data(), size, from, options.faults);
            if (!h.note.empty() && ++notes <= kNotesPerBroadcast) Line(h.note);
            wanted += h.replies.size();
            sent += Reply(i, sender, h.replies);
        }
        if (notes > kNotesPerBroadcast)
            Line("... and " + std::to_string(notes - kNotesPerBroadcast) + " more");
        const std::string tag =
            size >= 4 ? std::string(reinterpret_cast<const char*>(buffer.data()), 4) : "?";
        Line("broadcast " + (tag == "BRCA" || tag == "BRCX" ? tag : std::string("datagram")) + " from " +
             from + ": " + std::to_string(modules.size()) + " modules, " + std::to_string(sent) +
             (options.faults.delayMs > 0 ? " replies queued, " : " replies sent, ") +
             std::to_string(sendFailures - failuresBefore) + " failed" +
             (wanted == 0 && options.faults.silent ? " (silent)" : "") + " in " +
             std::to_string(
                 std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count()) +
             " us");
    }

    void ReceiveAll(std::size_t socketIndex) {
        const int fd = fds[socketIndex].Get();
        for (;;) {
            sockaddr_in sender{};
            socklen_t len = sizeof sender;
            const ssize_t n = recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                                       reinterpret_cast<sockaddr*>(&sender), &len);
            if (n < 0) return;  // EAGAIN: drained
            const std::size_t size = std::min(static_cast<std::size_t>(n), buffer.size());
            Dispatch(socketIndex, sender, size);
        }
    }

    void SendDue() {
        const auto now = Clock::now();
        while (!pending.empty() && pending.top().due <= now) {
            const Pending& p = pending.top();
            SendNow(p.module, p.to, p.bytes);
            pending.pop();
        }
    }

    int Serve() {
        const auto started = Clock::now();
        std::vector<epoll_event> events(256);
        while (!g_stop) {
            const auto now = Clock::now();
            if (options.exitAfterMs > 0 && now - started >= std::chrono::milliseconds(options.exitAfterMs))
                break;
            int timeout = 100;  // also bounds how late a stop request is noticed
            if (!pending.empty()) {
                const auto wait =
                    std::chrono::duration_cast<std::chrono::milliseconds>(pending.top().due - now).count();
                timeout = static_cast<int>(std::clamp<long long>(wait, 0, timeout));
            }
            const int n = epoll_wait(epollFd.Get(), events.data(), static_cast<int>(events.size()), timeout);
            if (n < 0 && errno != EINTR) {
                Line(std::string("tivaro-sim: epoll_wait: ") + std::strerror(errno));
                return 1;
            }
            for (int i = 0; i < n; ++i)
                ReceiveAll(static_cast<std::size_t>(events[static_cast<std::size_t>(i)].data.u64));
            SendDue();
        }
        Line("tivaro-sim: stopped (" + std::to_string(datagramsIn) + " datagrams in, " +
             std::to_string(datagramsOut) + " out, " + std::to_string(sendFailures) + " failed sends)");
        return 0;
    }
};

SimServer::SimServer(const SimOptions& options, std::FILE* out)
    : m_impl(std::make_unique<Impl>(options, out)) {}
SimServer::~SimServer() = default;

int SimServer::Run() {
    if (!m_impl->Setup()) return 1;
    const auto& o = m_impl->options;
    m_impl->Line("tivaro-sim ready: " + std::to_string(o.count) + " modules " + FormatIpv4(o.firstAddress) +
                 " .. " + FormatIpv4(ModuleAddress(o.firstAddress, o.count - 1)) + " on port " +
                 std::to_string(o.commandPort) + ", replies to port " + std::to_string(o.replyPort));
    return m_impl->Serve();
}

void SimServer::RequestStop() { g_stop = 1; }

void SimServer::InstallSignalHandlers() {
    struct sigaction sa {};
    sa.sa_handler = [](int) { RequestStop(); };
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a blocked epoll_wait returns at once
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace tivaro::sim
