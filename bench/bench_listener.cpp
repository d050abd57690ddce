// How many datagrams per second one listener thread hands over, on loopback.
// Each iteration holds the receiving thread at a gate in its first hand-over,
// sends one bounded burst into the socket's buffer, then opens the gate and
// times how long the thread takes to hand over the rest (2 s at most; what did
// not arrive counts as lost). The sender's speed is thus out of the figure.
// Receivers compared:
//   UdpListener        the real listener: poll, then drain with recvmmsg
//   PlainRecvfrom      poll, then one recvfrom per wake-up
//   ListenerToUiThread the real listener through DatagramDelivery to a Qt
//                      event loop on the benchmark thread: the whole way a
//                      reply travels to the dispatcher
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "UnitMain/datagram_delivery.h"
#include "protocol/udp_endpoints.h"

using namespace tivaro;

namespace {

constexpr std::size_t kPayload = 60;  // about a settings reply
constexpr int kWaitLimitMs = 2000;

// Holds the receiving thread while a burst is being sent.
class Gate {
public:
    void Close() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = false;
    }
    void Open() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    void Pass() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = true;
};

// Stands in for the UI thread's queue: a locked push, like postEvent.
class CountingQueue {
public:
    explicit CountingQueue(Gate& gate) : m_gate(gate) {}
    void Push(DatagramEvent&& e) {
        m_gate.Pass();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(e));
        if (m_events.size() > 4096) m_events.clear();  // bounded memory
        m_count.fetch_add(1, std::memory_order_release);
    }
    long Count() const { return m_count.load(std::memory_order_acquire); }

private:
    Gate& m_gate;
    std::mutex m_mutex;
    std::deque<DatagramEvent> m_events;
    std::atomic<long> m_count{0};
};

// The naive receiver: one datagram per wake-up of poll.
class PlainRecvfromLoop {
public:
    explicit PlainRecvfromLoop(CountingQueue& queue) : m_queue(queue) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int size = 8 * 1024 * 1024;
        if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        // Without its socket the baseline would time sends that nobody receives.
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            if (m_fd >= 0) ::close(m_fd);
            throw std::runtime_error("baseline receiver: cannot bind a loopback socket");
        }
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Run(); });
    }
    ~PlainRecvfromLoop() {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    std::uint16_t Port() const { return m_port; }

private:
    void Run() {
        std::uint8_t buf[kMaxDatagramSize];
        pollfd pfd{m_fd, POLLIN, 0};
        while (!m_stop) {
            if (::poll(&pfd, 1, 100) <= 0) continue;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n =
                ::recvfrom(m_fd, buf, sizeof buf, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0 || n > static_cast<ssize_t>(kMaxDatagramSize)) continue;
            DatagramEvent e;
            e.AData.assign(buf, buf + n);
            char ip[INET_ADDRSTRLEN];
            ::inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
            e.PeerIP = ip;
            e.PeerPort = ntohs(from.sin_port);
            e.Port = m_port;
            m_queue.Push(std::move(e));
        }
    }

    CountingQueue& m_queue;
    int m_fd;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

int OpenSender() { return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); }

void SendBurst(int fd, std::uint16_t port, int count) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::uint8_t payload[kPayload];
    std::memset(payload, 'G', sizeof payload);
    for (int i = 0; i < count; ++i)
        ::sendto(fd, payload, sizeof payload, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

// Runs the bursts against a receiver whose handed-over count is `received`;
// pump() is called while waiting (the event loop, for the UI-thread case).
template <typename Received, typename Pump>
void RunBursts(benchmark::State& state, Gate& gate, std::uint16_t port, Received received, Pump pump) {
    const int burst = static_cast<int>(state.range(0));
    const int fd = OpenSender();
    long lost = 0;
    for ([[maybe_unused]] auto _ : state) {
        const long before = received();
        gate.Close();
        SendBurst(fd, port, burst);
        // Give the first datagram time to reach the gate; the rest wait in the buffer.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto start = std::chrono::steady_clock::now();
        gate.Open();
        QElapsedTimer waited;
        waited.start();
        while (received() - before < burst && waited.elapsed() < kWaitLimitMs) pump();
        const auto end = std::chrono::steady_clock::now();
        lost += burst - (received() - before);
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    ::close(fd);
    state.SetItemsProcessed(state.iterations() * burst);
    state.counters["lost_per_burst"] = static_cast<double>(lost) / static_cast<double>(state.iterations());
}

void SpinPump() { std::this_thread::yield(); }

void BM_UdpListener(benchmark::State& state) {
    Gate gate;
    CountingQueue queue(gate);
    UdpListener listener([&](DatagramEvent&& e) { queue.Push(std::move(e)); }, 0, "bench");
    listener.Start();
    RunBursts(
        state, gate, listener.Port(), [&] { return queue.Count(); }, SpinPump);
    listener.Stop();
}

void BM_PlainRecvfrom(benchmark::State& state) {
    Gate gate;
    CountingQueue queue(gate);
    PlainRecvfromLoop loop(queue);
    RunBursts(
        state, gate, loop.Port(), [&] { return queue.Count(); }, SpinPump);
}

void BM_ListenerToUiThread(benchmark::State& state) {
    long handled = 0;
    Gate gate;
    DatagramDelivery delivery([&](const DatagramEvent&) { ++handled; });
    auto post = delivery.Poster();
    UdpListener listener(
        [&](DatagramEvent&& e) {
            gate.Pass();
            post(std::move(e));
        },
        0, "bench");
    listener.SetInFlightLimit(delivery.Limit());  // as the manager window does
    listener.Start();
    RunBursts(
        state, gate, listener.Port(), [&] { return handled; },
        [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
    listener.Stop();
    delivery.Shutdown();
}

// Bursts of 1,000 (steady hand-over) and 20,000 (does the buffer hold a large
// LAN's answers?); the iteration counts bound every run.
BENCHMARK(BM_UdpListener)->Arg(1000)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UdpListener)->Arg(20000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRecvfrom)->Arg(1000)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRecvfrom)->Arg(20000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListenerToUiThread)->Arg(1000)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListenerToUiThread)->Arg(20000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
