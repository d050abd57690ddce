#include "UnitMain/datagram_delivery.h"

#include <QCoreApplication>
#include <mutex>
#include <utility>

namespace {

// One received datagram on its way to the UI thread.
class DatagramQEvent final : public QEvent {
public:
    explicit DatagramQEvent(tivaro::DatagramEvent&& datagram)
        : QEvent(DatagramDelivery::EventType()), m_datagram(std::move(datagram)) {}
    const tivaro::DatagramEvent& Datagram() const { return m_datagram; }

private:
    tivaro::DatagramEvent m_datagram;
};

}  // namespace

// Where the poster posts to. The lock only guards the pointer against the
// object going away; postEvent itself never waits for the receiving thread.
struct DatagramDelivery::Target {
    std::mutex mutex;
    DatagramDelivery* receiver = nullptr;
};

QEvent::Type DatagramDelivery::EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

DatagramDelivery::DatagramDelivery(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_target(std::make_shared<Target>()) {
    m_target->receiver = this;
}

DatagramDelivery::~DatagramDelivery() { Shutdown(); }

tivaro::UdpListener::Poster DatagramDelivery::Poster() {
    std::weak_ptr<Target> weak = m_target;
    return [weak](tivaro::DatagramEvent&& datagram) {
        const std::shared_ptr<Target> target = weak.lock();
        if (!target) return;
        std::lock_guard<std::mutex> lock(target->mutex);
        if (target->receiver)
            QCoreApplication::postEvent(target->receiver, new DatagramQEvent(std::move(datagram)));
    };
}

void DatagramDelivery::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(m_target->mutex);
        m_target->receiver = nullptr;
    }
    m_shutDown = true;
    QCoreApplication::removePostedEvents(this, EventType());
}

void DatagramDelivery::customEvent(QEvent* event) {
    if (event->type() != EventType()) return;
    if (m_shutDown || !m_handler) return;
    try {
        m_handler(static_cast<DatagramQEvent*>(event)->Datagram());
    } catch (...) {
        // An error while a received datagram is handled is dropped without a
        // box or a log entry; the next datagram is delivered as usual.
    }
}
