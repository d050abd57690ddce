// Unit lookup must not grow with the list: the cost of finding an address
// (hit and miss) and of a repeated discovery reply from a listed unit, for
// lists of 1,000 to 1,000,000 units.
#include <benchmark/benchmark.h>

#include "UnitMain/unit_discovery.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

QString address(int i) {
    return QStringLiteral("198.%1.%2.%3").arg(18 + (i >> 16)).arg((i >> 8) & 255).arg(i & 255);
}

void BM_UnitFind(benchmark::State& st) {
    const int n = static_cast<int>(st.range(0));
    tivaro::UnitListModel list;
    for (int i = 0; i < n; ++i) list.AppendIfNew({address(i), u"22222"_s, u"22223"_s});
    const QString last = address(n - 1), absent = QStringLiteral("10.0.0.1");
    for ([[maybe_unused]] auto _ : st) {
        benchmark::DoNotOptimize(list.Find(last));
        benchmark::DoNotOptimize(list.Find(absent));
    }
    st.SetLabel("2 lookups per iteration");
}
BENCHMARK(BM_UnitFind)->RangeMultiplier(10)->Range(1000, 1000000);

class NoonClock : public WallClock {
public:
    QTime Now() const override { return QTime(12, 0, 0); }
};

void BM_RepeatedDiscoveryReply(benchmark::State& st) {
    const int n = static_cast<int>(st.range(0));
    NoonClock clock;
    ManagerWindowState state{clock};
    state.ResetGridsOnShow();
    for (int i = 0; i < n; ++i) state.Units.AppendIfNew({address(i), u"22222"_s, u"22223"_s});
    const QString known = address(n / 2);
    int sinceClear = 0;
    for ([[maybe_unused]] auto _ : st) {
        HandleDiscoveryReply(state, known, 22222, 22223);
        if (++sinceClear == 100000) {  // keep the log's growth out of the figure
            st.PauseTiming();
            state.ClearLog();
            sinceClear = 0;
            st.ResumeTiming();
        }
    }
}
BENCHMARK(BM_RepeatedDiscoveryReply)->RangeMultiplier(10)->Range(1000, 1000000);

}  // namespace

BENCHMARK_MAIN();
