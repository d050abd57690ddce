#include "core/qt_event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <limits>

namespace tivaro {

void QtEventPump::Pump(std::int64_t remainingMs) {
    // The timer only wakes the blocked event loop at the deadline; its timeout
    // needs no receiver.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    const std::int64_t ms = remainingMs < 0 ? 0 : remainingMs;
    wake.start(static_cast<int>(ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : ms));
    // Processes whatever is pending and returns; waits only when nothing was.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

std::int64_t SteadyClock::NowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace tivaro
