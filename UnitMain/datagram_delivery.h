#pragma once
// Hands received datagrams from the listener threads to the UI thread: the
// poster wraps each DatagramEvent in a QEvent posted to this object, and the
// UI thread's event loop (nested loops included) calls the handler in the order
// posted, dropping whatever the handler throws. Poster() may be called on any
// thread; everything else belongs to the thread that owns the object.

#include <QEvent>
#include <QObject>
#include <functional>
#include <memory>

#include "protocol/udp_endpoints.h"

class DatagramDelivery final : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const tivaro::DatagramEvent&)>;

    explicit DatagramDelivery(Handler handler, QObject* parent = nullptr);
    ~DatagramDelivery() override;

    // A thread-safe poster for UdpListener. It never waits for the UI thread
    // and stays safe to call after Shutdown or the destruction of this object
    // (the event is then dropped).
    tivaro::UdpListener::Poster Poster();

    // From now on no datagram reaches the handler: still-queued events are
    // removed and later posts dropped. Used before the windows are destroyed.
    void Shutdown();
    bool IsShutDown() const { return m_shutDown; }

    static QEvent::Type EventType();

protected:
    void customEvent(QEvent* event) override;

private:
    struct Target;

    Handler m_handler;
    std::shared_ptr<Target> m_target;
    bool m_shutDown = false;
};
