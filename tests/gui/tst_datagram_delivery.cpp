// The hand-over of received datagrams to the UI thread, with a real listener on
// loopback and the real Qt event loop.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "UnitMain/datagram_delivery.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

using tivaro::Bytes;
using tivaro::DatagramEvent;
using tivaro::UdpListener;

namespace {

// Sends datagrams to the listener from a fixed loopback source port.
class LoopbackPeer {
public:
    LoopbackPeer() { m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); }
    ~LoopbackPeer() { ::close(m_fd); }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;
    void Send(std::uint16_t port, const Bytes& bytes) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

private:
    int m_fd;
};

Bytes Numbered(int i) { return {static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i & 0xFF)}; }
int NumberOf(const DatagramEvent& e) { return e.AData.size() == 2 ? e.AData[0] * 256 + e.AData[1] : -1; }

}  // namespace

class TestDatagramDelivery : public QObject {
    Q_OBJECT

private slots:
    void deliversInOrderOnTheUiThread();
    void throwingHandlerDoesNotStopTheNextDelivery();
    void nestedLoopsDeliver_data();
    void nestedLoopsDeliver();
    void nothingIsDeliveredAfterShutdown();
    void posterOutlivesTheDeliveryObject();
    void floodLeavesTheLoopAnswering();
};

void TestDatagramDelivery::deliversInOrderOnTheUiThread() {
    std::vector<int> got;
    bool offThread = false;
    DatagramDelivery delivery([&](const DatagramEvent& e) {
        offThread |= QThread::currentThread() != qApp->thread();
        got.push_back(NumberOf(e));
    });
    UdpListener listener(delivery.Poster(), 0, "tst");
    listener.Start();
    LoopbackPeer peer;
    constexpr int kCount = 500;
    for (int i = 0; i < kCount; ++i) peer.Send(listener.Port(), Numbered(i));
    QTRY_COMPARE_WITH_TIMEOUT(static_cast<int>(got.size()), kCount, 5000);
    for (int i = 0; i < kCount; ++i) QCOMPARE(got[static_cast<std::size_t>(i)], i);
    QVERIFY(!offThread);
    listener.Stop();
}

void TestDatagramDelivery::throwingHandlerDoesNotStopTheNextDelivery() {
    std::vector<int> got;
    DatagramDelivery delivery([&](const DatagramEvent& e) {
        got.push_back(NumberOf(e));
        if (NumberOf(e) == 0) throw std::runtime_error("handler failed");
        if (NumberOf(e) == 1) throw 42;                // not even an exception type
        if (NumberOf(e) == 2) throw std::bad_alloc();  // out of memory costs that datagram only
    });
    UdpListener listener(delivery.Poster(), 0, "tst");
    listener.Start();
    LoopbackPeer peer;
    for (int i = 0; i < 4; ++i) peer.Send(listener.Port(), Numbered(i));
    QTRY_COMPARE_WITH_TIMEOUT(static_cast<int>(got.size()), 4, 5000);
    QCOMPARE(got, (std::vector<int>{0, 1, 2, 3}));
}

// A command that waits (the settings fetch's pump, a modal dialog, a message
// box) must still see datagrams: each case sends while such a loop runs and
// lets the handler end it.
void TestDatagramDelivery::nestedLoopsDeliver_data() {
    QTest::addColumn<QString>("loop");
    QTest::newRow("processEvents") << "processEvents";
    QTest::newRow("QDialog::exec") << "dialog";
    QTest::newRow("QMessageBox::exec") << "messagebox";
}

void TestDatagramDelivery::nestedLoopsDeliver() {
    QFETCH(QString, loop);
    bool received = false;
    QDialog dialog;
    QMessageBox box(QMessageBox::Information, u"t"_s, u"waiting"_s);
    DatagramDelivery delivery([&](const DatagramEvent&) {
        received = true;
        dialog.done(QDialog::Accepted);
        box.done(QMessageBox::Ok);
    });
    UdpListener listener(delivery.Poster(), 0, "tst");
    listener.Start();
    LoopbackPeer peer;
    // Safety net: a loop that never delivers is ended after 5 s and fails below.
    QTimer::singleShot(5000, &dialog, [&] {
        dialog.reject();
        box.reject();
    });

    bool inside = false;
    QTimer::singleShot(0, this, [&] {
        inside = true;
        peer.Send(listener.Port(), Numbered(7));
        if (loop == u"processEvents"_s) {
            QElapsedTimer clock;
            clock.start();
            while (!received && clock.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        } else if (loop == u"dialog"_s) {
            dialog.exec();
        } else {
            box.exec();
        }
        inside = false;
    });
    QTRY_VERIFY_WITH_TIMEOUT(inside || received, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!inside, 6000);
    QVERIFY(received);
}

void TestDatagramDelivery::nothingIsDeliveredAfterShutdown() {
    int handled = 0;
    DatagramDelivery delivery([&](const DatagramEvent&) { ++handled; });
    auto post = delivery.Poster();

    // Queued before Shutdown, from another thread as a listener would.
    std::thread poster([&] {
        for (int i = 0; i < 10; ++i) post(DatagramEvent{Numbered(i), "127.0.0.1", 1, 2});
    });
    poster.join();
    delivery.Shutdown();
    QVERIFY(delivery.IsShutDown());

    // Arriving after Shutdown, through a running listener.
    UdpListener listener(delivery.Poster(), 0, "tst");
    listener.Start();
    LoopbackPeer peer;
    for (int i = 0; i < 10; ++i) peer.Send(listener.Port(), Numbered(i));
    QTest::qWait(300);
    listener.Stop();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(handled, 0);
}

void TestDatagramDelivery::posterOutlivesTheDeliveryObject() {
    UdpListener::Poster post;
    int handled = 0;
    {
        DatagramDelivery delivery([&](const DatagramEvent&) { ++handled; });
        post = delivery.Poster();
        post(DatagramEvent{Numbered(1), "127.0.0.1", 1, 2});
    }
    post(DatagramEvent{Numbered(2), "127.0.0.1", 1, 2});  // dropped, no crash
    QCoreApplication::sendPostedEvents();
    QCOMPARE(handled, 0);
}

// A sender far faster than the handler: the datagrams on their way to the UI
// thread stay within the limit (the surplus waits in or falls out of the
// socket's buffer), an input posted during or after the flood is served
// before more than a limit's worth of datagrams, and in the end nothing is
// pending. What arrives is handled in the order sent.
void TestDatagramDelivery::floodLeavesTheLoopAnswering() {
    constexpr std::size_t kLimit = 64;
    constexpr int kSent = 20000;
    std::size_t mostPending = 0;
    int last = -1;
    bool inOrder = true;
    int handled = 0;
    DatagramDelivery* self = nullptr;
    DatagramDelivery delivery(
        [&](const DatagramEvent& e) {
            mostPending = std::max(mostPending, self->Pending());
            const int n =
                static_cast<int>(e.AData[0]) << 24 | e.AData[1] << 16 | e.AData[2] << 8 | e.AData[3];
            inOrder &= n > last;
            last = n;
            ++handled;
            QElapsedTimer busy;  // a slow handler, so the sender outruns it
            busy.start();
            while (busy.nsecsElapsed() < 50'000) {
            }
        },
        nullptr, kLimit);
    self = &delivery;
    UdpListener listener(delivery.Poster(), 0, "tst");
    listener.SetInFlightLimit(delivery.Limit());
    listener.Start();

    // An input: how many datagrams were handled between its posting and its turn.
    int handledAtPost = 0;
    int overtaken = -1;
    struct Input final : QObject {
        std::function<void()> onEvent;
        void customEvent(QEvent*) override { onEvent(); }
    } probe;
    probe.onEvent = [&] { overtaken = handled - handledAtPost; };
    const auto postInput = [&] {
        overtaken = -1;
        handledAtPost = handled;
        QCoreApplication::postEvent(&probe, new QEvent(QEvent::User));
    };

    std::atomic<bool> sending{true};
    struct Joined {
        std::thread thread;
        ~Joined() {
            if (thread.joinable()) thread.join();
        }
    } sender{std::thread([&] {
        LoopbackPeer peer;
        for (int i = 0; i < kSent; ++i)
            peer.Send(listener.Port(),
                      Bytes{static_cast<std::uint8_t>(i >> 24), static_cast<std::uint8_t>(i >> 16),
                            static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)});
        sending = false;
    })};
    QElapsedTimer guard;
    guard.start();
    while (sending && guard.elapsed() < 30000) {
        postInput();
        QTRY_VERIFY_WITH_TIMEOUT(overtaken >= 0, 5000);
        QVERIFY2(overtaken <= static_cast<int>(kLimit + 16), qPrintable(QString::number(overtaken)));
    }
    sender.thread.join();

    // The flood is over: at most a limit's worth waits in the UI thread's
    // queue, and an input still comes first.
    QVERIFY(delivery.Pending() <= kLimit + 16);
    postInput();
    QTRY_VERIFY_WITH_TIMEOUT(overtaken >= 0, 5000);
    QVERIFY(overtaken <= static_cast<int>(kLimit + 16));

    // What the socket buffer kept is handled; then nothing is pending.
    int before = -1;
    while (handled != before && guard.elapsed() < 60000) {
        before = handled;
        QTest::qWait(200);
    }
    QCOMPARE(delivery.Pending(), std::size_t{0});
    QVERIFY(mostPending <= kLimit + 16);
    QVERIFY(handled > 0 && handled <= kSent);
    QCOMPARE(static_cast<std::uint64_t>(handled), delivery.Handled());
    QVERIFY(inOrder);
    listener.Stop();
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestDatagramDelivery test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_datagram_delivery.moc"
