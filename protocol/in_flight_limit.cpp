#include "protocol/in_flight_limit.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <system_error>

namespace tivaro {

InFlightLimit::InFlightLimit(std::size_t limit) : m_limit(limit < 1 ? 1 : limit) {
    m_fd.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!m_fd.Valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
    std::lock_guard<std::mutex> lock(m_mutex);
    signal();
}

InFlightLimit::~InFlightLimit() = default;

std::size_t InFlightLimit::InFlight() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inFlight;
}

std::size_t InFlightLimit::Room() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inFlight < m_limit ? m_limit - m_inFlight : 0;
}

void InFlightLimit::Add(std::size_t n) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_inFlight += n;
    signal();
}

void InFlightLimit::Remove(std::size_t n) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_inFlight = n < m_inFlight ? m_inFlight - n : 0;
    signal();
}

void InFlightLimit::signal() {
    const bool room = m_inFlight < m_limit;
    if (room == m_readable) return;
    std::uint64_t value = 1;
    // An eventfd counter: a write makes it readable, a read empties it.
    const ssize_t done =
        room ? ::write(m_fd.Get(), &value, sizeof value) : ::read(m_fd.Get(), &value, sizeof value);
    if (done == sizeof value) m_readable = room;
}

}  // namespace tivaro
