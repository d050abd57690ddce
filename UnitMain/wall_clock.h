#pragma once
// The local wall-clock time for the log's time stamps; tests give fixed times.
// Any thread.

#include <QTime>

class WallClock {
public:
    virtual ~WallClock() = default;
    virtual QTime Now() const = 0;
};

class SystemWallClock final : public WallClock {
public:
    QTime Now() const override { return QTime::currentTime(); }
};
