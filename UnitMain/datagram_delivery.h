#pragma once
// Hands received datagrams from the listener threads to the UI thread. The
// poster queues each DatagramEvent and posts one QEvent for whatever has
// arrived since the last one; the UI thread's event loop (nested loops
// included) calls the handler for each datagram in the order received,
// dropping whatever the handler throws. A batch yields to input and painting
// after a few milliseconds and goes on in the next turn of the loop.
// Backpressure: at most a fixed number of datagrams are on their way at once
// (InFlightLimit, handed to the listener); past it the listener stops reading.
// Poster() may be called on any thread; everything else belongs to the thread
// that owns the object.

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

#include "protocol/in_flight_limit.h"
#include "protocol/udp_endpoints.h"

namespace tivaro {

class DatagramDelivery final : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const DatagramEvent&)>;

    static constexpr std::size_t kMaxInFlight = 10000;

    explicit DatagramDelivery(Handler handler, QObject* parent = nullptr,
                              std::size_t maxInFlight = kMaxInFlight);
    ~DatagramDelivery() override;

    // A thread-safe poster for UdpListener. It never waits for the UI thread
    // and stays safe to call after Shutdown or the destruction of this object
    // (the event is then dropped).
    UdpListener::Poster Poster();
    // The count of datagrams on their way, for UdpListener::SetInFlightLimit.
    std::shared_ptr<InFlightLimit> Limit() const { return m_limit; }
    // Datagrams posted and not yet handled (nor discarded).
    std::size_t Pending() const { return m_limit->InFlight(); }
    // Datagrams handed to the handler so far.
    std::uint64_t Handled() const { return m_handled; }

    // From now on no datagram reaches the handler: still-queued events are
    // removed and later posts dropped. Used before the windows are destroyed.
    void Shutdown();
    bool IsShutDown() const { return m_shutDown; }

    static QEvent::Type EventType();

protected:
    void customEvent(QEvent* event) override;

private:
    struct Target;

    bool takeOldest(DatagramEvent& datagram);
    void postIfPending();

    Handler m_handler;
    std::shared_ptr<InFlightLimit> m_limit;
    std::shared_ptr<Target> m_target;
    std::uint64_t m_handled = 0;
    bool m_shutDown = false;
};

}  // namespace tivaro
