#pragma once
// Backpressure between the listener threads and whoever handles their
// datagrams: a count of datagrams handed over and not yet handled, with a
// limit. While the count is at the limit a listener reads nothing more, so a
// flood waits in (or falls out of) the socket's receive buffer instead of
// piling up in the receiving thread's queue. Thread-safe; Qt-free.

#include <cstddef>
#include <mutex>

#include "protocol/unique_fd.h"

namespace tivaro {

class InFlightLimit {
public:
    explicit InFlightLimit(std::size_t limit);
    ~InFlightLimit();
    InFlightLimit(const InFlightLimit&) = delete;
    InFlightLimit& operator=(const InFlightLimit&) = delete;

    std::size_t Limit() const { return m_limit; }
    std::size_t InFlight() const;
    // How many more may be handed over now; 0 at the limit.
    std::size_t Room() const;
    // n more handed over. Two listener threads may each pass the limit by what
    // one receive call took before they see it.
    void Add(std::size_t n);
    // n handled or discarded.
    void Remove(std::size_t n);
    // A descriptor for poll(): readable exactly while Room() > 0.
    int ReadyFd() const { return m_fd.Get(); }

private:
    void signal();  // under m_mutex: make ReadyFd's state follow the count

    const std::size_t m_limit;
    mutable std::mutex m_mutex;
    std::size_t m_inFlight = 0;
    bool m_readable = false;
    UniqueFd m_fd;
};

}  // namespace tivaro
