// The application object end to end with a stand-in main window that owns a
// real listener on loopback: start-up, the safety net for escaping errors, and
// the shutdown order while datagrams keep arriving.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>

#include "UnitMain/datagram_delivery.h"
#include "core/command_boundary.h"
#include "protocol/udp_endpoints.h"
#include "shell/application.h"
#include "shell/instance_guard.h"
#include "shell/instance_table.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

enum class Phase { Running, Stopping, Stopped };

QStringList g_steps;
std::atomic<Phase> g_phase{Phase::Running};
int g_deliveredAfterStop = 0;
int g_delivered = 0;

// Stands in for Form1: starts its listener when first shown, as FormShow does.
class StandInForm : public QWidget {
public:
    StandInForm() : delivery([this](const DatagramEvent&) { onDatagram(); }), listener(delivery.Poster(), 0) {
        setObjectName("Form1");
        resize(300, 200);
    }
    ~StandInForm() override { g_steps << u"form1 destroyed"_s; }
    void onDatagram() {
        ++g_delivered;
        if (g_phase != Phase::Running) ++g_deliveredAfterStop;
        setWindowTitle(QString::number(g_delivered));  // touches the window
    }
    DatagramDelivery delivery;
    UdpListener listener;

protected:
    void showEvent(QShowEvent*) override {
        if (!listener.Active()) listener.Start();
    }
};

class StandInDialog : public QWidget {
public:
    ~StandInDialog() override { g_steps << u"form2 destroyed"_s; }
};

// Owns the stand-ins as the manager's owner does; stopping records the phase
// so that late deliveries can be told apart.
class StandInForms final : public ShellForms {
public:
    StandInForms() : m_form(std::make_unique<StandInForm>()), m_dialog(std::make_unique<StandInDialog>()) {}
    StandInForm& Form() const { return *m_form; }
    QWidget* MainForm() const override { return m_form.get(); }
    void StopTransport() override {
        g_phase = Phase::Stopping;
        g_steps << u"stop"_s;
        m_form->listener.Stop();
        m_form->delivery.Shutdown();
        g_phase = Phase::Stopped;
        // Datagrams still on their way are not for any window.
        QCoreApplication::processEvents();
    }
    void DestroyDialog() override { m_dialog.reset(); }

private:
    std::unique_ptr<StandInForm> m_form;
    std::unique_ptr<StandInDialog> m_dialog;
};

class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("aus dem Ereignis");
        return QObject::event(e);
    }
};

}  // namespace

class TestShutdown : public QObject {
    Q_OBJECT
private slots:
    void errorEscapingAnEventHandlerGoesToTheErrorDisplay() {
        QStringList shown;
        SetErrorDisplay([&](const std::exception& e) { shown << QString::fromUtf8(e.what()); });
        Thrower t;
        QEvent ev(QEvent::User);
        QCoreApplication::sendEvent(&t, &ev);
        QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCOMPARE(shown, (QStringList{u"aus dem Ereignis"_s, u"aus dem Ereignis"_s}));
        SetErrorDisplay({});
    }

    void titleComesFromTheProgramFile() {
        auto* app = static_cast<Application*>(qApp);
        QCOMPARE(app->Title(), u"tst_shutdown"_s);  // first letter as the file has it
        QCOMPARE(QCoreApplication::applicationName(), app->Title());
        QVERIFY(!QApplication::windowIcon().isNull());
    }

    void errorEscapingStartUpGetsTheLastResortBox() {
        QString title, text;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            title = box->windowTitle();
            text = box->text();
            box->accept();
        });
        const int rc = Application::LastResort(SystemError("Systemfehler.  Code: 13.\r\nPermission denied"),
                                               u"/opt/x/tivaro-manager"_s);
        QCOMPARE(rc, 1);
        QCOMPARE(title, u"Anwendungsfehler"_s);
        QVERIFY2(text.startsWith(u"Exception tivaro::SystemError in Modul tivaro-manager bei "_s),
                 qPrintable(text));
        QVERIFY(text.endsWith(u".\r\nSystemfehler.  Code: 13.\r\nPermission denied.\r\n"_s));
    }

    void shutdownStopsTheListenerBeforeAnyWindowGoes() {
        auto* app = static_cast<Application*>(qApp);
        StandInForm* form = nullptr;
        std::atomic<bool> stopSending{false};
        std::thread sender;
        std::atomic<int> sent{0};

        QTimer::singleShot(100, [&] {
            QVERIFY(form && form->listener.Active());
            QCOMPARE(app->MainForm(), static_cast<QWidget*>(form));
            const std::uint16_t port = form->listener.Port();
            // Loopback only; bounded in count and time.
            sender = std::thread([&stopSending, &sent, port] {
                const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_port = htons(port);
                to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
                for (int i = 0; i < 200000 && !stopSending && std::chrono::steady_clock::now() < until; ++i) {
                    const char byte = 'D';
                    ::sendto(fd, &byte, 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
                    ++sent;
                    if (i % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
                ::close(fd);
            });
        });
        QTimer::singleShot(400, [&] { form->close(); });

        const int rc = app->Run([&](Application&) {
            auto forms = std::make_unique<StandInForms>();
            form = &forms->Form();
            return forms;
        });
        form = nullptr;
        // Events that might still be queued must not reach the deleted window.
        QTest::qWait(200);
        stopSending = true;
        sender.join();

        QCOMPARE(rc, 0);
        QVERIFY(app->Terminated());
        QCOMPARE(g_steps, (QStringList{u"stop"_s, u"form2 destroyed"_s, u"form1 destroyed"_s}));
        QVERIFY2(g_delivered > 0, "the flood reached the window while it ran");
        QCOMPARE(g_deliveredAfterStop, 0);

        // The placement was stored at the close; the guard's tables are empty again.
        const QByteArray reg = [] {
            QFile f(QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(u"dornik/KOVELA.reg"_s));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QVERIFY(reg.contains("\"NormPos\"="));
        const QStringList tables = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).entryList({u"*_All"_s});
        QCOMPARE(tables.size(), 1);
        QFile table(QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(tables.front()));
        QVERIFY(table.open(QIODevice::ReadOnly));
        QByteArray bytes = table.readAll();
        QCOMPARE(InstanceTableView(reinterpret_cast<unsigned char*>(bytes.data())).Count(), 0);
    }
};

int main(int argc, char** argv) {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(u"run"_s));
    QFile::setPermissions(dir.filePath(u"run"_s),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", dir.filePath(u"run"_s).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.filePath(u"config"_s).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    TestShutdown test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shutdown.moc"
