#pragma once
// The local wall-clock time for the log's time stamps; tests give fixed times.
// Any thread.

#include <QTime>
#include <ctime>

namespace tivaro {

class WallClock {
public:
    virtual ~WallClock() = default;
    virtual QTime Now() const = 0;
};

class SystemWallClock final : public WallClock {
public:
    // The local time is worked out once per second of the system clock (per
    // thread): a flood of log entries does not pay for it on every entry.
    QTime Now() const override {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        thread_local std::time_t second = -1;
        thread_local QTime local;
        if (now.tv_sec != second) {
            std::tm fields{};
            if (!::localtime_r(&now.tv_sec, &fields)) return QTime::currentTime();
            local = QTime(fields.tm_hour, fields.tm_min, fields.tm_sec);
            second = now.tv_sec;
        }
        return local.addMSecs(static_cast<int>(now.tv_nsec / 1'000'000));
    }
};

}  // namespace tivaro
