// The manager window under load, driven in-process with the real TForm1, its
// views attached and shown on the offscreen platform:
//
//   discovery [--modules N] [--runs R]
//       N simulated modules (default 20,000, in processes of 10,000) answer one
//       "Broadcast TIVARO" on a virtual LAN; reports units listed, duplicates,
//       lost replies and the time from the click to the last row.
//       Run on the manager side:  scripts/vlan run-test build/bench/bench_manager discovery
//   log [--entries N]         (log-model: the same without any window)
//       appends N entries (default 1,000,000) with ADD_LOG, letting the event
//       loop run every 1,000 entries; reports time and resident memory per
//       entry, with the log view attached and shown; then "clear Log" and the
//       resident memory left.
//       The listener binds a system-chosen port and nothing is sent.
//
// Every wait is bounded; the simulators stop by themselves.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "UnitMain/manager_window.h"
#include "lan_support.h"
#include "sim/sim_options.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0);
}

int argValue(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == name) return std::atoi(argv[i + 1]);
    return fallback;
}

int runLog(int entries, bool withView) {
    const QString ip = QStringLiteral("198.18.1.10"), port = QStringLiteral("22223"),
                  msg = QStringLiteral("ONLINE");
    // Each variant in its own process, so that freed memory of one does not
    // hide the growth of the other.
    if (!withView) {
        SystemWallClock clock;
        auto state = std::make_unique<ManagerWindowState>(clock);
        state->ResetGridsOnShow();
        const double before = residentMiB();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < entries; ++i) state->ADD_LOG(QString::number(i), port, msg);
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        std::printf("model only : %d entries in %.0f ms = %.2f us/entry, +%.1f MiB = %.0f bytes/entry\n",
                    entries, ms, ms * 1000.0 / entries, residentMiB() - before,
                    (residentMiB() - before) * 1048576.0 / entries);
        std::fflush(stdout);
        return 0;
    }
    TForm1 form(nullptr, {0});
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    const double before = residentMiB();
    QElapsedTimer timer;
    timer.start();
    double worstBatchMs = 0;
    QElapsedTimer batch;
    batch.start();
    for (int i = 0; i < entries; ++i) {
        form.ADD_LOG(ip, port, QString::number(i));
        if (i % 1000 == 999) {
            QCoreApplication::processEvents();  // paint and lay out as the event loop would
            worstBatchMs = std::max(worstBatchMs, static_cast<double>(batch.nsecsElapsed()) / 1e6);
            batch.restart();
        }
    }
    QCoreApplication::processEvents();
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const double mib = residentMiB() - before;
    std::printf(
        "with view  : %d entries in %.0f ms = %.2f us/entry, +%.1f MiB = %.0f bytes/entry, "
        "slowest batch of 1,000 (incl. repaint) %.1f ms\n",
        entries, ms, ms * 1000.0 / entries, mib, mib * 1048576.0 / entries, worstBatchMs);
    const double full = residentMiB();
    form.findChild<QPushButton*>(u"JvXPButton2"_s)->click();  // "clear Log"
    QCoreApplication::processEvents();
    std::printf("clear Log  : resident %.1f MiB before, %.1f MiB after (%.1f MiB before the entries)\n", full,
                residentMiB(), before);
    form.Shutdown();
    return 0;
}

int runDiscovery(int modules, int runs) {
    if (!tivaro::lan::CurrentLan()) {
        std::fprintf(stderr, "%s\n", tivaro::lan::kNotInLan);
        return 77;
    }
    constexpr int kPerProcess = 10000;
    std::vector<std::unique_ptr<tivaro::lan::SimProcess>> sims;
    for (int start = 0; start < modules; start += kPerProcess) {
        const int n = std::min(kPerProcess, modules - start);
        const auto first = tivaro::sim::ModuleAddress({198, 18, 128, 1}, start);
        sims.push_back(std::make_unique<tivaro::lan::SimProcess>());
        if (!sims.back()->Start({"--count", std::to_string(n), "--first-address", tivaro::FormatIpv4(first),
                                 "--exit-after", "600000"},
                                120000)) {
            std::fprintf(stderr, "bench_manager: %s\n", sims.back()->Error().c_str());
            return 1;
        }
    }
    TForm1 form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form) || !form.ListenerActive()) return 1;
    const ManagerWindowState& state = form.State();
    for (int run = 0; run < runs; ++run) {
        const int logBefore = state.Log.Count();
        QElapsedTimer timer;
        timer.start();
        form.findChild<QPushButton*>(u"JvXPButton1"_s)->click();
        qint64 lastRowNs = 0;
        int lastCount = 0;
        QElapsedTimer quiet;
        quiet.start();
        // Until every module is listed, or 3 s pass without a new row (bounded by 60 s).
        while (state.Units.Count() < modules && quiet.elapsed() < 3000 && timer.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (state.Units.Count() != lastCount) {
                lastCount = state.Units.Count();
                lastRowNs = timer.nsecsElapsed();
                quiet.restart();
            }
        }
        QTest::qWait(300);  // late duplicates would show here
        const int online = state.Log.Count() - logBefore;
        std::printf(
            "run %d: %d modules, %d listed, %d ONLINE entries, %d lost, %d duplicates; "
            "click to last row %.0f ms\n",
            run + 1, modules, state.Units.Count(), online, modules - state.Units.Count(),
            online - state.Units.Count(), static_cast<double>(lastRowNs) / 1e6);
        std::fflush(stdout);
    }
    form.Shutdown();
    for (auto& sim : sims) sim->Stop(2000);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "log" || mode == "log-model")
        return runLog(argValue(argc, argv, "--entries", 1000000), mode == "log");
    if (mode == "discovery")
        return runDiscovery(argValue(argc, argv, "--modules", 20000), argValue(argc, argv, "--runs", 2));
    std::fprintf(stderr, "usage: %s log|log-model [--entries N] | discovery [--modules N] [--runs R]\n",
                 argv[0]);
    return 2;
}
