#pragma once
// The real wait primitives of the settings fetch. UI thread only.

#include "core/settings_fetch.h"

namespace tivaro {

// Handles every pending event of the UI thread; when none is pending it blocks
// on the event queue until the next event arrives or the deadline passes (a
// single-shot timer), so a silent wait costs next to no CPU and an arriving
// datagram is handled at once.
class QtEventPump final : public EventPump {
public:
    void Pump(std::int64_t remainingMs) override;
};

// Milliseconds from a steady clock that never goes backwards.
class SteadyClock final : public MonotonicClock {
public:
    std::int64_t NowMs() const override;
};

}  // namespace tivaro
