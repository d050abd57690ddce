// The settings fetch on a virtual LAN, against tivaro-sim on the module side:
//   - latency from the "GET" leaving to the setup dialog's fields being filled
//     (real TForm1 listener and hand-over, real TForm2), beside a plain socket
//     round trip to the same simulated module;
//   - CPU time of a whole wait on a silent module, with the blocking event
//     pump and, for comparison, a pump that only spins over processEvents.
// Run: scripts/vlan run-test build/bench/bench_fetch   (TIVARO_BUILD_DIR set)
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <memory>

#include "UnitMain/manager_window.h"
#include "UnitMain/unit_discovery.h"
#include "UnitModul/setup_dialog.h"
#include "core/confirmation.h"
#include "core/qt_event_pump.h"
#include "core/settings_fetch.h"
#include "lan_support.h"

using namespace tivaro;

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kModule = "198.18.1.10";
constexpr const char* kSilentModule = "198.18.1.20";

// The simulator prints a line per request: its output is read between
// iterations so that a full pipe never stalls it.
tivaro::lan::SimProcess* g_sim = nullptr;
void DrainSim() {
    if (g_sim) g_sim->Lines();
}

class NeverConfirm final : public Confirmation {
public:
    bool Confirm(const QString&) override { return false; }
};

// The real sender, noting when each datagram leaves.
class TimedSender final : public tivaro::DatagramSender {
public:
    void Send(const std::string& host, std::uint16_t port, const tivaro::Bytes& bytes) override {
        sentAt = Clock::now();
        m_real.Send(host, port, bytes);
    }
    void Close() override { m_real.Close(); }
    Clock::time_point sentAt;

private:
    tivaro::UdpSender m_real;
};

// TForm2 as the fetch and the dispatcher see it, noting when a reply has
// filled the fields; the modal showing is left out of the figure.
class TimedDialog final : public SetupDialogPort {
public:
    explicit TimedDialog(TForm2& dialog) : m_dialog(dialog) {}
    void PresetAddresses() override { m_dialog.PresetAddresses(); }
    void SetTargetCaption(const QString& caption) override { m_dialog.SetTargetCaption(caption); }
    QString TargetCaption() const override { return m_dialog.TargetCaption(); }
    void HandleSettingsReply(const tivaro::Bytes& datagram) override {
        m_dialog.HandleSettingsReply(datagram);
        filledAt = Clock::now();
        ++fills;
    }
    void ShowModal() override {}
    Clock::time_point filledAt;
    int fills = 0;

private:
    TForm2& m_dialog;
};

// The wait's pump as a spinning loop would have it: pending events only, never blocking.
class SpinningPump final : public EventPump {
public:
    void Pump(std::int64_t) override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
};

struct Windows {
    Windows() : form2(form1, confirmation), dialog(form2) {
        form1.SetSetupDialog(&dialog);
        form1.show();
        HandleDiscoveryReply(form1.State(), QString::fromUtf8(kModule), tivaro::kDeviceCommandPort,
                             tivaro::kManagerListenPort);
        HandleDiscoveryReply(form1.State(), QString::fromUtf8(kSilentModule), tivaro::kDeviceCommandPort,
                             tivaro::kManagerListenPort);
    }
    ~Windows() {
        form1.Shutdown();
        form1.SetSetupDialog(nullptr);
    }
    int RowOf(const char* address) {
        for (int row = 0; !form1.UnitCellText(0, row).isEmpty(); ++row)
            if (form1.UnitCellText(0, row) == QLatin1String(address)) return row;
        return -1;
    }
    NeverConfirm confirmation;
    TimedSender sender;
    TForm1 form1{nullptr, {tivaro::kManagerListenPort, &sender}};
    TForm2 form2;
    TimedDialog dialog;
    QtEventPump pump;
    SteadyClock clock;
};

void BM_PlainSocketRoundTrip(benchmark::State& state) {
    // Modules answer to port 22223, so this socket takes it (no windows exist meanwhile).
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(tivaro::kManagerListenPort);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        state.SkipWithError("cannot bind 22223");
        if (fd >= 0) close(fd);
        return;
    }
    sockaddr_in module{};
    module.sin_family = AF_INET;
    module.sin_port = htons(tivaro::kDeviceCommandPort);
    inet_pton(AF_INET, kModule, &module.sin_addr);
    const tivaro::Bytes get = tivaro::BuildSettingsRequest();
    std::uint8_t buffer[tivaro::kMaxDatagramSize];
    int lost = 0;
    for ([[maybe_unused]] auto _ : state) {
        const auto t0 = Clock::now();
        sendto(fd, get.data(), get.size(), 0, reinterpret_cast<sockaddr*>(&module), sizeof module);
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, 1000);
        if (ready != 1 || recv(fd, buffer, sizeof buffer, 0) <= 0) {
            ++lost;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        DrainSim();
    }
    state.counters["lost"] = lost;
    close(fd);
}
BENCHMARK(BM_PlainSocketRoundTrip)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_FetchUntilFieldsFilled(benchmark::State& state) {
    Windows w;
    const int row = w.RowOf(kModule);
    for ([[maybe_unused]] auto _ : state) {
        const int before = w.dialog.fills;
        RunSettingsFetch(w.form1, w.dialog, w.pump, w.clock, 0, row);
        if (w.dialog.fills != before + 1) {
            state.SkipWithError("no settings reply during the wait");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(w.dialog.filledAt - w.sender.sentAt).count());
        DrainSim();
    }
}
BENCHMARK(BM_FetchUntilFieldsFilled)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

template <typename Pump>
void SilentWait(benchmark::State& state) {
    Windows w;
    Pump pump;
    const int row = w.RowOf(kSilentModule);
    double cpu = 0;
    for ([[maybe_unused]] auto _ : state) {
        const double c0 = CpuSeconds();
        RunSettingsFetch(w.form1, w.dialog, pump, w.clock, 0, row);
        cpu += CpuSeconds() - c0;
    }
    state.counters["cpu_ms_per_wait"] = cpu * 1000.0 / static_cast<double>(state.iterations());
}
void BM_SilentWaitCpu_BlockingPump(benchmark::State& state) { SilentWait<QtEventPump>(state); }
void BM_SilentWaitCpu_SpinningPump(benchmark::State& state) { SilentWait<SpinningPump>(state); }
BENCHMARK(BM_SilentWaitCpu_BlockingPump)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SilentWaitCpu_SpinningPump)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (!tivaro::lan::CurrentLan()) {
        std::fprintf(stderr, "%s\n", tivaro::lan::kNotInLan);
        return 77;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tivaro::lan::SimProcess sim, silent;
    if (!sim.Start({"--first-address", kModule}) ||
        !silent.Start({"--first-address", kSilentModule, "--silent"})) {
        std::fprintf(stderr, "tivaro-sim: %s%s\n", sim.Error().c_str(), silent.Error().c_str());
        return 1;
    }
    g_sim = &sim;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
