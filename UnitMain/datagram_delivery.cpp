#include "UnitMain/datagram_delivery.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <deque>
#include <mutex>
#include <utility>

namespace tivaro {

namespace {

// How long one batch may hold the UI thread before input and painting get
// their turn. Checked every kCheckEvery datagrams.
constexpr qint64 kSliceNs = 8'000'000;
constexpr unsigned kCheckEvery = 32;

}  // namespace

// What the poster and the UI thread share. The lock guards the queue of
// arrived datagrams, whether an event for them is posted, and the pointer
// against the object going away; postEvent never waits for the UI thread.
struct DatagramDelivery::Target {
    std::mutex mutex;
    DatagramDelivery* receiver = nullptr;
    std::deque<DatagramEvent> arrived;
    bool posted = false;
    std::shared_ptr<InFlightLimit> limit;

    // Under mutex. An event carries no datagram: it tells the receiver to
    // take what has arrived.
    void post() {
        QCoreApplication::postEvent(receiver, new QEvent(DatagramDelivery::EventType()));
        posted = true;
    }
};

QEvent::Type DatagramDelivery::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

DatagramDelivery::DatagramDelivery(Handler handler, QObject* parent, std::size_t maxInFlight)
    : QObject(parent),
      m_handler(std::move(handler)),
      m_limit(std::make_shared<InFlightLimit>(maxInFlight)),
      m_target(std::make_shared<Target>()) {
    m_target->receiver = this;
    m_target->limit = m_limit;
}

DatagramDelivery::~DatagramDelivery() { Shutdown(); }

UdpListener::Poster DatagramDelivery::Poster() {
    std::weak_ptr<Target> weak = m_target;
    return [weak](DatagramEvent&& datagram) {
        const std::shared_ptr<Target> target = weak.lock();
        if (!target) return;
        std::lock_guard<std::mutex> lock(target->mutex);
        if (!target->receiver) return;
        target->arrived.push_back(std::move(datagram));
        target->limit->Add(1);
        if (!target->posted) target->post();
    };
}

void DatagramDelivery::Shutdown() {
    std::size_t discarded = 0;
    {
        std::lock_guard<std::mutex> lock(m_target->mutex);
        m_target->receiver = nullptr;
        discarded = m_target->arrived.size();
        std::deque<DatagramEvent>().swap(m_target->arrived);
    }
    m_limit->Remove(discarded);
    m_shutDown = true;
    QCoreApplication::removePostedEvents(this, EventType());
}

bool DatagramDelivery::takeOldest(DatagramEvent& datagram) {
    std::lock_guard<std::mutex> lock(m_target->mutex);
    if (!m_target->receiver || m_target->arrived.empty()) return false;
    datagram = std::move(m_target->arrived.front());
    m_target->arrived.pop_front();
    return true;
}

void DatagramDelivery::postIfPending() {
    std::lock_guard<std::mutex> lock(m_target->mutex);
    if (m_target->receiver && !m_target->posted && !m_target->arrived.empty()) m_target->post();
}

void DatagramDelivery::customEvent(QEvent* event) {
    if (event->type() != EventType()) return;
    if (m_shutDown) return;
    std::size_t batch = 0;
    {
        // This event carries what has arrived so far; a later arrival posts
        // the next one, which comes after whatever input is waiting.
        std::lock_guard<std::mutex> lock(m_target->mutex);
        m_target->posted = false;
        batch = m_target->arrived.size();
    }
    QElapsedTimer slice;
    slice.start();
    DatagramEvent datagram;
    // Each datagram leaves the queue before the handler runs: a nested loop
    // inside the handler goes on with the next one, in order.
    for (std::size_t done = 0; done < batch && !m_shutDown && takeOldest(datagram);) {
        try {
            ++m_handled;
            if (m_handler) m_handler(datagram);
        } catch (...) {
            // An error while a received datagram is handled (running out of
            // memory included) is dropped without a box or a log entry; the
            // next datagram is delivered as usual.
        }
        m_limit->Remove(1);
        if (++done % kCheckEvery == 0 && slice.nsecsElapsed() >= kSliceNs) break;
    }
    // The rest, and whatever arrived meanwhile, in the next turn of the loop.
    if (!m_shutDown) postIfPending();
}

}  // namespace tivaro
