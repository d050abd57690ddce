// Discovery burst on a virtual LAN: K simulated modules answer one "BRCA"
// broadcast at once; how many replies arrive, how many are lost, and how long
// from the broadcast to the last reply, for several receivers on port 22223:
//
//   floor            a plain socket, 8 MiB buffer, one thread in a tight
//                    recvfrom loop: what the link and the kernel deliver
//   plain/default    the same with the system's default receive buffer
//   listener         tivaro::UdpListener with the buffer it chooses
//   listener/default tivaro::UdpListener with its buffer set back to the default
//   delivery         UdpListener -> DatagramDelivery -> Qt event loop: the
//                    whole way to the manager's dispatcher
//
// "sim send ms" is how long the simulator took to send its burst (the slowest
// process when the modules are split); "tail ms" = last reply − that, about
// how far the receiver lags behind the sender at the end of the burst.
//
// Run on the manager side of a LAN, e.g.
//   TIVARO_BUILD_DIR=build scripts/vlan run-test build/bench/bench_discovery [--modules 1000,5000] [--runs 3]
// Each run is one broadcast; the simulator is started with --exit-after, and
// every wait is bounded, so the benchmark always stops by itself.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "UnitMain/datagram_delivery.h"
#include "lan_support.h"
#include "protocol/messages.h"
#include "protocol/udp_endpoints.h"
#include "sim/sim_options.h"

using namespace tivaro;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr auto kQuiet = 500ms;     // a burst is over after this long without a reply
constexpr auto kTrialLimit = 20s;  // and in any case after this long
constexpr int kLargeBuffer = 8 * 1024 * 1024;

// Arrivals counted by whichever receiver runs; written by one thread at a time.
struct Tally {
    std::atomic<std::size_t> received{0};
    std::atomic<Clock::rep> first{0}, last{0};
    void Arrived() {
        const auto now = Clock::now().time_since_epoch().count();
        if (received.fetch_add(1, std::memory_order_relaxed) == 0)
            first.store(now, std::memory_order_relaxed);
        last.store(now, std::memory_order_relaxed);
    }
};

int ReceiveBuffer(int fd) {
    int size = 0;
    socklen_t len = sizeof size;
    getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &len);
    return size;
}

int SystemDefaultBuffer() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const int size = ReceiveBuffer(fd);
    close(fd);
    return size;
}

// The receive buffer of our IPv4 socket bound to `port`, as the kernel reports it.
int BufferOnPort(std::uint16_t port) {
    for (int fd = 3; fd < 1024; ++fd) {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0 && a.sin_family == AF_INET &&
            ntohs(a.sin_port) == port)
            return ReceiveBuffer(fd);
    }
    return 0;
}

// Puts the receive buffer of every IPv4 socket of ours bound to `port` back to
// the system default (the kernel doubles what it is given).
int ResetBuffersOnPort(std::uint16_t port, int size) {
    int done = 0;
    for (int fd = 3; fd < 1024; ++fd) {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET ||
            ntohs(a.sin_port) != port)
            continue;
        const int half = size / 2;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &half, sizeof half);
        ++done;
    }
    return done;
}

// A plain socket on the manager port with one thread in a tight loop.
class PlainReceiver {
public:
    PlainReceiver(Tally& tally, bool largeBuffer) : m_tally(tally) {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (largeBuffer &&
            setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &kLargeBuffer, sizeof kLargeBuffer) != 0)
            setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &kLargeBuffer, sizeof kLargeBuffer);
        timeval slice{0, 100000};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(kManagerListenPort);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            std::perror("bench_discovery: bind 22223");
            std::exit(1);
        }
        m_thread = std::thread([this] {
            std::vector<std::uint8_t> buf(kMaxDatagramSize);
            while (!m_stop.load()) {
                if (recv(m_fd, buf.data(), buf.size(), 0) > 0) m_tally.Arrived();
            }
        });
    }
    ~PlainReceiver() {
        m_stop = true;
        m_thread.join();
        close(m_fd);
    }
    int Buffer() const { return ReceiveBuffer(m_fd); }

private:
    Tally& m_tally;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct Result {
    std::string receiver;
    int buffer = 0;
    std::size_t sent = 0, received = 0;
    double firstMs = 0, lastMs = 0;
    double simSendMs = 0;  // how long the simulator took to send the burst
};

// Starts the simulated modules (on the module side) once per module count, in
// processes of at most kPerProcess modules: one socket per module, and the
// open-file limit may be as low as 20,000.
class Modules {
public:
    static constexpr int kPerProcess = 10000;

    explicit Modules(int count) {
        for (int start = 0; start < count; start += kPerProcess) {
            const int n = std::min(kPerProcess, count - start);
            const auto first = sim::ModuleAddress({198, 18, 128, 1}, start);
            m_sims.push_back(std::make_unique<lan::SimProcess>());
            // Bounded: the simulator stops by itself even if we do not.
            if (!m_sims.back()->Start({"--count", std::to_string(n), "--first-address", FormatIpv4(first),
                                       "--exit-after", "600000"},
                                      120000)) {
                std::fprintf(stderr, "bench_discovery: %s\n", m_sims.back()->Error().c_str());
                std::exit(1);
            }
        }
    }
    // What the simulators report for the last broadcast: replies sent, and
    // the longest time one of them spent sending its share (ms).
    std::pair<std::size_t, double> LastBroadcast() {
        std::size_t sent = 0;
        double sendMs = 0;
        for (auto& sim : m_sims) {
            std::string line;
            if (!sim->WaitForLine("broadcast BRCA", 30000, &line)) continue;
            const auto at = line.find(" modules, ");
            if (at != std::string::npos) sent += std::strtoul(line.c_str() + at + 10, nullptr, 10);
            const auto in = line.rfind(" in ");
            if (in != std::string::npos)
                sendMs = std::max(sendMs, std::strtod(line.c_str() + in + 4, nullptr) / 1000);
        }
        return {sent, sendMs};
    }
    std::size_t Processes() const { return m_sims.size(); }

private:
    std::vector<std::unique_ptr<lan::SimProcess>> m_sims;
};

// One broadcast; waits until `expected` replies are in or the burst is over.
Result Trial(Modules& modules, const std::string& receiver, std::size_t expected, Tally& tally,
             const std::function<void()>& pump) {
    UdpSender sender;
    const auto t0 = Clock::now();
    sender.Send("255.255.255.255", kDeviceCommandPort, BuildDiscoveryRequest());
    for (;;) {
        pump();
        const auto now = Clock::now();
        const std::size_t got = tally.received.load();
        if (got >= expected) break;
        const auto last = got ? Clock::time_point(Clock::duration(tally.last.load())) : t0;
        if (now - last > kQuiet || now - t0 > kTrialLimit) break;
    }
    Result r;
    r.receiver = receiver;
    r.received = tally.received.load();
    std::tie(r.sent, r.simSendMs) = modules.LastBroadcast();
    auto ms = [t0](Clock::rep at) {
        return std::chrono::duration<double, std::milli>(Clock::time_point(Clock::duration(at)) - t0).count();
    };
    if (r.received) {
        r.firstMs = ms(tally.first.load());
        r.lastMs = ms(tally.last.load());
    }
    return r;
}

void Print(int modules, const Result& r) {
    std::printf("| %6d | %-17s | %5d KiB | %6zu | %6zu | %6zd | %8.1f | %8.1f | %8.1f | %6.1f |\n", modules,
                r.receiver.c_str(), r.buffer / 1024, r.sent, r.received,
                static_cast<std::ptrdiff_t>(r.sent - r.received), r.firstMs, r.lastMs, r.simSendMs,
                r.received ? r.lastMs - r.simSendMs : 0.0);
    std::fflush(stdout);
}

std::vector<int> ParseList(const std::string& text) {
    std::vector<int> out;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) out.push_back(std::atoi(item.c_str()));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<int> counts = {1000, 5000, 20000};
    int runs = 3;
    std::vector<std::string> receivers = {"floor", "plain/default", "listener", "listener/default",
                                          "delivery"};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--modules" && i + 1 < argc)
            counts = ParseList(argv[++i]);
        else if (a == "--runs" && i + 1 < argc)
            runs = std::clamp(std::atoi(argv[++i]), 1, 20);
        else {
            std::fprintf(stderr, "usage: bench_discovery [--modules 1000,5000,20000] [--runs 3]\n");
            return 2;
        }
    }
    if (!lan::CurrentLan()) {
        std::fprintf(stderr, "bench_discovery: %s\n", lan::kNotInLan);
        return 77;
    }
    const int defaultBuffer = SystemDefaultBuffer();
    std::printf(
        "| modules | receiver | rcvbuf | sent | received | lost | first ms | last ms | sim send ms | tail ms "
        "|\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (int count : counts) {
        if (count < 1 || count > 60000) continue;
        Modules modules(count);
        for (int run = 0; run < runs; ++run) {
            for (const auto& receiver : receivers) {
                Tally tally;
                Result r;
                auto noPump = [] { std::this_thread::sleep_for(1ms); };
                if (receiver == "floor" || receiver == "plain/default") {
                    PlainReceiver plain(tally, receiver == "floor");
                    r = Trial(modules, receiver, static_cast<std::size_t>(count), tally, noPump);
                    r.buffer = plain.Buffer();
                } else if (receiver == "delivery") {
                    DatagramDelivery delivery([&tally](const DatagramEvent&) { tally.Arrived(); });
                    UdpListener listener(delivery.Poster());
                    listener.SetInFlightLimit(delivery.Limit());  // as the manager window does
                    listener.Start();
                    r = Trial(modules, receiver, static_cast<std::size_t>(count), tally,
                              [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 1); });
                    r.buffer = BufferOnPort(kManagerListenPort);
                    listener.Stop();
                    delivery.Shutdown();
                } else {
                    UdpListener listener([&tally](DatagramEvent&&) { tally.Arrived(); });
                    listener.Start();
                    if (receiver == "listener/default") ResetBuffersOnPort(kManagerListenPort, defaultBuffer);
                    r = Trial(modules, receiver, static_cast<std::size_t>(count), tally, noPump);
                    r.buffer = BufferOnPort(kManagerListenPort);
                    listener.Stop();
                }
                Print(count, r);
            }
        }
    }
    return 0;
}
