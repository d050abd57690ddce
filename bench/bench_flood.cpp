// Flood driver: the manager window under a flood of datagrams on port 22223.
// The real TForm1 (offscreen unless QT_QPA_PLATFORM says otherwise) with the
// real hand-over (UdpListener -> DatagramDelivery -> IdUDPServer1UDPRead) on
// 22223; one sender thread floods it at the full rate it manages for the given
// time, with valid discovery replies ("BRCA") or junk ("JUNK"), 4 bytes or
// padded to --bytes, over IPv4 or IPv6. Meanwhile a synthetic key event is posted to the window every 20 ms;
// the window's event filter notes when it comes through. Reports datagrams
// sent, handled and dropped by the kernel, the key events' latency (p50, p99,
// max), how long after the flood's end something was still pending, and the
// resident memory.
//
// Runs itself inside a fresh network namespace (loopback only), each flood in
// a process of its own. Every send loop is bounded in count and time.
//   usage: bench_flood [--seconds S] [--bytes N] [--kinds valid4,junk4,valid6,junk6]   (root, for unshare)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "UnitMain/datagram_delivery.h"
#include "UnitMain/manager_window.h"
#include "bench/fresh_namespace.h"

#if __has_include("protocol/in_flight_limit.h")
#define TIVARO_HAS_IN_FLIGHT_LIMIT 1
#endif

using namespace tivaro;

using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint64_t kMaxDatagrams = 1'000'000'000;  // the sender's bound in count
constexpr int kProbeEveryMs = 20;
constexpr int kDrainLimitS = 120;  // how long the end of a flood is watched at most

double msSince(Clock::time_point t0, Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(t - t0).count();
}

// The whole of a /proc file; plain reads, as the watching thread is no Qt thread.
QByteArray readProc(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
}

long rssKiB() {
    for (const QByteArray& line : readProc("/proc/self/status").split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

// A counter of this namespace's UDP statistics ("Udp"/"Udp6" lines).
std::uint64_t udpCounter(const char* name) {
    std::uint64_t total = 0;
    {
        const QList<QByteArray> lines = readProc("/proc/net/snmp").split('\n');
        for (int i = 0; i + 1 < lines.size(); ++i) {
            if (!lines[i].startsWith("Udp: ") || !lines[i + 1].startsWith("Udp: ")) continue;
            const QList<QByteArray> names = lines[i].simplified().split(' ');
            const QList<QByteArray> values = lines[i + 1].simplified().split(' ');
            for (int k = 0; k < names.size() && k < values.size(); ++k)
                if (names[k] == name) total += values[k].toULongLong();
            break;
        }
    }
    {
        const QByteArray key = QByteArray("Udp6") + name;
        for (const QByteArray& line : readProc("/proc/net/snmp6").split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() == 2 && f[0] == key) total += f[1].toULongLong();
        }
    }
    return total;
}

// Bytes waiting in the receive queues of the sockets bound to 22223 (56CF).
std::uint64_t queuedBytes() {
    std::uint64_t total = 0;
    for (const char* path : {"/proc/net/udp", "/proc/net/udp6"}) {
        for (const QByteArray& line : readProc(path).split('\n')) {
            const QList<QByteArray> cols = line.simplified().split(' ');
            if (cols.size() < 5 || !cols[1].endsWith(":56CF")) continue;
            const QList<QByteArray> queues = cols[4].split(':');  // tx_queue:rx_queue
            if (queues.size() == 2) total += queues[1].toULongLong(nullptr, 16);
        }
    }
    return total;
}

struct Kind {
    std::string name;
    bool valid;
    bool ipv6;
};

Kind parseKind(const std::string& name) {
    return Kind{name, name.rfind("valid", 0) == 0, name.back() == '6'};
}

// Sends the payload (bytes long, its tag first) to [::1]:22223 or
// 127.0.0.1:22223, 64 at a time, until the time is up or the bound in count is
// reached.
std::uint64_t flood(const Kind& kind, std::size_t bytes, std::chrono::milliseconds duration,
                    std::uint64_t& failed) {
    const int fd = ::socket(kind.ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_storage to{};
    socklen_t toLen;
    if (kind.ipv6) {
        auto& a = reinterpret_cast<sockaddr_in6&>(to);
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_loopback;
        a.sin6_port = htons(tivaro::kManagerListenPort);
        toLen = sizeof a;
    } else {
        auto& a = reinterpret_cast<sockaddr_in&>(to);
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(tivaro::kManagerListenPort);
        toLen = sizeof a;
    }
    std::vector<char> payload(std::max<std::size_t>(bytes, 4), '.');
    std::memcpy(payload.data(), kind.valid ? "BRCA" : "JUNK", 4);
    constexpr unsigned kBurst = 64;
    iovec iov{payload.data(), payload.size()};
    mmsghdr msgs[kBurst] = {};
    for (auto& m : msgs) {
        m.msg_hdr.msg_name = &to;
        m.msg_hdr.msg_namelen = toLen;
        m.msg_hdr.msg_iov = &iov;
        m.msg_hdr.msg_iovlen = 1;
    }
    std::uint64_t sent = 0;
    const auto end = Clock::now() + duration;
    while (sent < kMaxDatagrams && Clock::now() < end) {
        const int n = ::sendmmsg(fd, msgs, kBurst, 0);
        if (n > 0) {
            sent += static_cast<std::uint64_t>(n);
        } else {
            ++failed;
        }
    }
    ::close(fd);
    return sent;
}

// Notes when each synthetic key event reaches the window.
class KeyProbe final : public QObject {
public:
    std::vector<Clock::time_point> posted, answered;
    std::mutex mutex;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F35) return QObject::eventFilter(watched, event);
        const auto now = Clock::now();
        std::lock_guard<std::mutex> lock(mutex);
        const std::size_t seq = key->text().toULongLong();
        if (seq < answered.size()) answered[seq] = now;
        return true;
    }
};

int runOne(const Kind& kind, std::size_t bytes, int seconds) {
    TForm1 form(nullptr, {0});  // its own listener on a port nobody sends to
    form.show();
    if (!QTest::qWaitForWindowExposed(&form) || !form.ListenerActive()) return 1;

    // The window's hand-over as TForm1 builds it, counted on the way.
    std::atomic<std::uint64_t> handled{0};
    DatagramDelivery delivery([&](const tivaro::DatagramEvent& e) {
        form.IdUDPServer1UDPRead(e);
        handled.fetch_add(1, std::memory_order_relaxed);
    });
    tivaro::UdpListener listener(delivery.Poster());
#ifdef TIVARO_HAS_IN_FLIGHT_LIMIT
    listener.SetInFlightLimit(delivery.Limit());
#endif
    listener.Start();

    // The key events' device is made here, on the UI thread, not by the prober.
    const QKeyEvent makesTheDevice(QEvent::KeyPress, Qt::Key_F35, Qt::NoModifier);
    KeyProbe probe;
    const auto maxProbes = static_cast<std::size_t>((seconds + kDrainLimitS + 5) * 1000 / kProbeEveryMs);
    probe.posted.resize(maxProbes);
    probe.answered.resize(maxProbes);
    form.installEventFilter(&probe);

    const long rssBefore = rssKiB();
    const std::uint64_t inBefore = udpCounter("InDatagrams"), dropsBefore = udpCounter("RcvbufErrors");
    std::atomic<bool> flooding{true}, watching{true};
    std::uint64_t sent = 0, sendFailures = 0;
    std::atomic<long> rssPeak{rssBefore};
    Clock::time_point floodEnd{}, drained{};
    std::size_t probesDuringFlood = 0;
    std::atomic<std::size_t> probesPosted{0};

    const auto t0 = Clock::now();
    std::thread sender([&] {
        sent = flood(kind, bytes, std::chrono::seconds(seconds), sendFailures);
        floodEnd = Clock::now();
        flooding = false;
    });
    std::thread prober([&] {
        std::size_t seq = 0;
        while (watching && seq < maxProbes) {
            {
                std::lock_guard<std::mutex> lock(probe.mutex);
                probe.posted[seq] = Clock::now();
            }
            QCoreApplication::postEvent(
                &form, new QKeyEvent(QEvent::KeyPress, Qt::Key_F35, Qt::NoModifier, QString::number(seq)));
            probesPosted = ++seq;
            std::this_thread::sleep_for(std::chrono::milliseconds(kProbeEveryMs));
        }
    });
    // Watches from outside the UI thread: memory, and once the flood is over,
    // the moment nothing is pending any more (every datagram the stack took
    // handled, nothing in the sockets' queues).
    std::thread watcher([&] {
        bool ended = false;
        while (watching) {
            rssPeak = std::max(rssPeak.load(), rssKiB());
            if (!flooding && !ended) {
                ended = true;
                probesDuringFlood = probesPosted;
            }
            if (ended) {
                const std::uint64_t in = udpCounter("InDatagrams") - inBefore;
                if (queuedBytes() == 0 && handled.load() >= in) {
                    drained = Clock::now();
                    watching = false;
                    break;
                }
                if (Clock::now() - floodEnd > std::chrono::seconds(kDrainLimitS)) {
                    watching = false;
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    while (watching) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    sender.join();
    watcher.join();
    prober.join();
    // Let the last probes through (bounded), then read the figures.
    const auto settle = Clock::now();
    while (Clock::now() - settle < std::chrono::seconds(2))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const long rssEnd = rssKiB();
    const std::uint64_t in = udpCounter("InDatagrams") - inBefore,
                        drops = udpCounter("RcvbufErrors") - dropsBefore;

    std::vector<double> latencies;
    std::size_t unanswered = 0;
    {
        std::lock_guard<std::mutex> lock(probe.mutex);
        const auto end = Clock::now();
        for (std::size_t i = 0; i < probesDuringFlood; ++i) {
            if (probe.answered[i] == Clock::time_point{}) {
                ++unanswered;
                latencies.push_back(msSince(probe.posted[i], end));
            } else {
                latencies.push_back(msSince(probe.posted[i], probe.answered[i]));
            }
        }
    }
    std::sort(latencies.begin(), latencies.end());
    const auto pct = [&](double p) {
        return latencies.empty()
                   ? 0.0
                   : latencies[std::min(latencies.size() - 1,
                                        static_cast<std::size_t>(p * static_cast<double>(latencies.size())))];
    };
    const double floodS = msSince(t0, floodEnd) / 1000.0;
    std::printf(
        "%-6s %zu-byte flood %.1f s: sent %llu (%.0f/s, %llu failed sends), taken by the stack %llu, handled "
        "%llu, "
        "dropped by the kernel %llu\n"
        "       key events during the flood: %zu, latency p50 %.1f ms, p99 %.1f ms, max %.1f ms, unanswered "
        "%zu\n"
        "       pending after the flood's end: %s %.0f ms\n"
        "       resident memory: before %.1f MiB, peak %.1f MiB, end %.1f MiB; log entries %d\n",
        kind.name.c_str(), bytes, floodS, static_cast<unsigned long long>(sent),
        static_cast<double>(sent) / floodS, static_cast<unsigned long long>(sendFailures),
        static_cast<unsigned long long>(in), static_cast<unsigned long long>(handled.load()),
        static_cast<unsigned long long>(drops), latencies.size(), pct(0.5), pct(0.99),
        latencies.empty() ? 0.0 : latencies.back(), unanswered,
        drained == Clock::time_point{} ? "still after" : "until",
        msSince(floodEnd, drained == Clock::time_point{} ? Clock::now() : drained),
        static_cast<double>(rssBefore) / 1024.0, static_cast<double>(rssPeak.load()) / 1024.0,
        static_cast<double>(rssEnd) / 1024.0, form.State().Log.Count());
    std::fflush(stdout);
    listener.Stop();
    delivery.Shutdown();
    form.Shutdown();
    return 0;
}

std::string argValue(int argc, char** argv, const char* name, const char* fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == name) return argv[i + 1];
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    if (!tivaro::bench::InFreshNetworkNamespace(argc, argv)) return 1;
    const int seconds = std::max(1, std::atoi(argValue(argc, argv, "--seconds", "60").c_str()));
    const std::string bytesText = argValue(argc, argv, "--bytes", "4");
    const std::size_t bytes = std::clamp<std::size_t>(std::strtoul(bytesText.c_str(), nullptr, 10), 4, 8192);
    const std::string one = argValue(argc, argv, "--one", "");
    if (!one.empty()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return runOne(parseKind(one), bytes, seconds);
    }
    // Each flood in a fresh process, so that one's memory does not hide another's.
    std::string kinds = argValue(argc, argv, "--kinds", "valid4,junk4,valid6,junk6");
    int failures = 0;
    std::size_t start = 0;
    while (start < kinds.size()) {
        std::size_t comma = kinds.find(',', start);
        if (comma == std::string::npos) comma = kinds.size();
        const std::string kind = kinds.substr(start, comma - start);
        start = comma + 1;
        const std::string secondsText = std::to_string(seconds);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/proc/self/exe", argv[0], "--seconds", secondsText.c_str(), "--bytes", bytesText.c_str(),
                    "--one", kind.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        failures += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    return failures ? 1 : 0;
}
