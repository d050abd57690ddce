// The single-instance guard with real manager processes: each copy runs on the
// offscreen platform inside its own network namespace (so the listener never
// touches the host's port 22223), with a private runtime and config directory.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>

#include "shell/instance_guard.h"

using namespace Qt::StringLiterals;

using tivaro::GuardMessage;
using tivaro::GuardRecord;
using tivaro::InstanceGuard;

namespace {

constexpr int kWaitMs = 15000;

struct WindowState {
    bool shown = false;
    bool minimized = false;
    int activations = 0;
};

}  // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_base;
    QString m_runDir;
    QString m_program;  // the copy every test starts: <base>/a/tivaro-manager
    std::vector<std::unique_ptr<QProcess>> m_started;

    QString managerBinary() const {
        const QString build = qEnvironmentVariable("TIVARO_BUILD_DIR");
        return QDir(build).filePath(u"shell/tivaro-manager"_s);
    }

    // session: environment variables to set, or to remove where the value is empty.
    QProcess* start(const QString& path, const QStringList& args = {},
                    const QMap<QString, QString>& session = {}) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (auto it = session.begin(); it != session.end(); ++it)
            it.value().isEmpty() ? env.remove(it.key()) : env.insert(it.key(), it.value());
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, m_runDir);
        env.insert(u"XDG_CONFIG_HOME"_s, m_base.filePath(u"config"_s));
        env.insert(u"HOME"_s, m_base.path());
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // unshare and sh exec in place, so the process id is the manager's.
        QStringList a{u"-n"_s, u"sh"_s, u"-c"_s, uR"(ip link set lo up 2>/dev/null; exec "$0" "$@")"_s, path};
        p->start(u"unshare"_s, a + args);
        p->waitForStarted(kWaitMs);
        m_started.push_back(std::move(p));
        return m_started.back().get();
    }

    QString windowName(const QString& path, qint64 pid) const {
        InstanceGuard::Options o;
        o.programPath = path;
        o.nameSpaceDir = m_runDir;
        return InstanceGuard(o).MessageWindowName(pid);
    }

    std::optional<WindowState> state(const QString& path, qint64 pid) const {
        GuardRecord q;
        q.kind = static_cast<std::uint32_t>(GuardMessage::StateQuery);
        q.senderPid = 1;
        const auto reply = InstanceGuard::SendSync(windowName(path, pid), q, 2000);
        if (!reply) return std::nullopt;
        WindowState s;
        s.shown = reply->value & 1;
        s.minimized = reply->value & 2;
        s.activations = static_cast<int>(reply->value >> 8);
        return s;
    }

    // Waits until the copy's window is shown (true) or the process ended.
    bool waitRunning(QProcess* p, const QString& path) {
        QDeadlineTimer until(kWaitMs);
        while (!until.hasExpired() && p->state() == QProcess::Running) {
            if (auto s = state(path, p->processId()); s && s->shown) return true;
            QTest::qWait(50);
        }
        return false;
    }

    static bool waitExit(QProcess* p, int ms = kWaitMs) {
        return p->state() == QProcess::NotRunning || p->waitForFinished(ms);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_base.isValid());
        QVERIFY2(QFile::exists(managerBinary()), "build tivaro-manager first");
        m_runDir = m_base.filePath(u"run"_s);
        QVERIFY(QDir().mkpath(m_runDir));
        QFile::setPermissions(m_runDir,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(QDir().mkpath(m_base.filePath(u"a"_s)));
        QVERIFY(QDir().mkpath(m_base.filePath(u"b"_s)));
        m_program = m_base.filePath(u"a/tivaro-manager"_s);
        QVERIFY(QFile::copy(managerBinary(), m_program));
        QVERIFY(QFile::copy(managerBinary(), m_base.filePath(u"b/tivaro-manager"_s)));
        // Case variants of the same path: a symbolic link and a second file.
        QVERIFY(QFile::link(m_program, m_base.filePath(u"a/TIVARO-MANAGER"_s)));
        QVERIFY(QFile::copy(managerBinary(), m_base.filePath(u"a/Tivaro-Manager"_s)));
        for (const char* f : {"a/tivaro-manager", "b/tivaro-manager", "a/Tivaro-Manager"})
            QFile::setPermissions(
                m_base.filePath(QString::fromUtf8(f)),
                QFile::permissions(m_base.filePath(QString::fromUtf8(f))) | QFileDevice::ExeOwner);
    }

    void cleanup() {
        for (auto& p : m_started) {
            if (p->state() != QProcess::NotRunning) {
                ::kill(static_cast<pid_t>(p->processId()), SIGKILL);
                p->waitForFinished(kWaitMs);
            }
        }
        m_started.clear();
        QDir(m_base.filePath(u"config"_s)).removeRecursively();
    }

    void secondCopyActivatesTheFirstAndLeaves_data() {
        QTest::addColumn<QString>("second");
        QTest::newRow("same path") << "a/tivaro-manager";
        QTest::newRow("case-variant link") << "a/TIVARO-MANAGER";
        QTest::newRow("case-variant file") << "a/Tivaro-Manager";
        QTest::newRow("same path, unclean spelling") << "a/../a/./tivaro-manager";
    }
    void secondCopyActivatesTheFirstAndLeaves() {
        QFETCH(QString, second);
        QProcess* first = start(m_program);
        QVERIFY(waitRunning(first, m_program));
        const QString secondPath = m_base.path() + u"/"_s + second;
        QProcess* copy = start(secondPath, {u"--eins"_s, u"zwei drei"_s});
        QVERIFY(waitExit(copy));
        QCOMPARE(copy->exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy->exitCode(), 0);
        // The refused copy never registered a window the others could reach.
        QVERIFY(!QFile::exists(windowName(secondPath, copy->processId())));
        const auto s = state(m_program, first->processId());
        QVERIFY(s);
        QCOMPARE(s->activations, 1);
        QVERIFY(s->shown);
        QCOMPARE(first->state(), QProcess::Running);
    }

    void copyFromAnotherDirectoryRuns() {
        QProcess* first = start(m_program);
        QVERIFY(waitRunning(first, m_program));
        const QString other = m_base.filePath(u"b/tivaro-manager"_s);
        QProcess* second = start(other);
        QVERIFY(waitRunning(second, other));
        QCOMPARE(state(m_program, first->processId())->activations, 0);
    }

    // The guard is scoped to the desktop session, not to the user.
    void copyInAnotherSessionRuns_data() {
        QTest::addColumn<QString>("firstSession");
        QTest::addColumn<QString>("firstDisplay");
        QTest::addColumn<QString>("secondSession");
        QTest::addColumn<QString>("secondDisplay");
        QTest::addColumn<bool>("runs");
        // clang-format off
        QTest::newRow("another session") << "7" << ":0" << "8" << ":0" << true;
        QTest::newRow("another display, no session id") << "" << ":1" << "" << ":2" << true;
        QTest::newRow("the same session on another display") << "7" << ":1" << "7" << ":2" << false;
        QTest::newRow("the same display, another screen") << "" << ":1" << "" << ":1.1" << false;
        // clang-format on
    }
    void copyInAnotherSessionRuns() {
        QFETCH(QString, firstSession);
        QFETCH(QString, firstDisplay);
        QFETCH(QString, secondSession);
        QFETCH(QString, secondDisplay);
        QFETCH(bool, runs);
        QProcess* first =
            start(m_program, {}, {{u"XDG_SESSION_ID"_s, firstSession}, {u"DISPLAY"_s, firstDisplay}});
        QVERIFY(waitRunning(first, m_program));
        QProcess* second =
            start(m_program, {}, {{u"XDG_SESSION_ID"_s, secondSession}, {u"DISPLAY"_s, secondDisplay}});
        if (runs) {
            QVERIFY(waitRunning(second, m_program));
        } else {
            QVERIFY(waitExit(second));
            QCOMPARE(second->exitCode(), 0);
        }
        QCOMPARE(state(m_program, first->processId())->activations, runs ? 0 : 1);
    }

    // A lock someone else keeps and shrunk tables neither hold nor kill a
    // running copy: the end of the session still ends it with exit code 0.
    void sessionEndSurvivesAHeldLockAndShrunkTables() {
        const QMap<QString, QString> session{{u"XDG_SESSION_ID"_s, u"locktest"_s}};
        const QDir run(m_runDir);
        QProcess* first = start(m_program, {}, session);
        QVERIFY(waitRunning(first, m_program));
        const QStringList locks = run.entryList({u"session-locktest_*_Otx"_s});
        QCOMPARE(locks.size(), 1);
        QProcess holder;
        holder.start(u"flock"_s,
                     {u"-o"_s, run.filePath(locks.front()), u"cat"_s});  // holds it until its input ends
        QVERIFY(holder.waitForStarted(kWaitMs));
        QTest::qWait(200);
        ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
        QVERIFY(waitExit(first));
        QCOMPARE(first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(first->exitCode(), 0);
        holder.kill();
        holder.waitForFinished(kWaitMs);

        // The id it had to leave behind is pruned: the next copy runs.
        QProcess* next = start(m_program, {}, session);
        QVERIFY(waitRunning(next, m_program));
        const QStringList tables =
            run.entryList({u"session-locktest_*_All"_s, u"session-locktest_*_Session_*"_s});
        QCOMPARE(tables.size(), 2);
        for (const QString& t : tables) QVERIFY(QFile::resize(run.filePath(t), 0));
        ::kill(static_cast<pid_t>(next->processId()), SIGTERM);
        QVERIFY(waitExit(next));
        QCOMPARE(next->exitStatus(), QProcess::NormalExit);
        QCOMPARE(next->exitCode(), 0);
    }

    void twoCopiesAtTheSameMomentLeaveOne() {
        QProcess* a = start(m_program);
        QProcess* b = start(m_program);
        QDeadlineTimer until(kWaitMs);
        while (!until.hasExpired() && a->state() == QProcess::Running && b->state() == QProcess::Running)
            QTest::qWait(50);
        QProcess* refused = a->state() == QProcess::Running ? b : a;
        QProcess* runner = refused == a ? b : a;
        QVERIFY(waitExit(refused));
        QCOMPARE(refused->exitCode(), 0);
        QVERIFY(waitRunning(runner, m_program));
        QTest::qWait(300);
        QCOMPARE(runner->state(), QProcess::Running);
    }

    void killedCopyDoesNotLockTheUserOut() {
        QProcess* first = start(m_program);
        QVERIFY(waitRunning(first, m_program));
        ::kill(static_cast<pid_t>(first->processId()), SIGKILL);
        QVERIFY(waitExit(first));
        QProcess* next = start(m_program);
        QVERIFY(waitRunning(next, m_program));
    }

    void copyThatDoesNotAnswerStillRefusesTheSecondAfterABoundedWait() {
        QProcess* first = start(m_program);
        QVERIFY(waitRunning(first, m_program));
        ::kill(static_cast<pid_t>(first->processId()), SIGSTOP);
        QElapsedTimer waited;
        waited.start();
        QProcess* second = start(m_program);
        const bool ended = waitExit(second, 20000);
        ::kill(static_cast<pid_t>(first->processId()), SIGCONT);
        QVERIFY(ended);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY2(waited.elapsed() < 12000, "waits once for the silent copy, not once per message");
        const auto s = state(m_program, first->processId());
        QVERIFY(s && s->shown);
        QCOMPARE(s->activations, 0);
    }

    void minimisedFirstCopyIsRestored() {
        // A placement stored while minimised makes the first copy minimise itself.
        QVERIFY(QDir().mkpath(m_base.filePath(u"config/dornik"_s)));
        QFile reg(m_base.filePath(u"config/dornik/KOVELA.reg"_s));
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write(
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\dornik\\KOVELA\\Form1]\n"
            "\"FormVersion\"=dword:00000000\n\"ShowCmd\"=dword:00000002\n");
        reg.close();
        QProcess* first = start(m_program);
        QVERIFY(waitRunning(first, m_program));
        QTRY_VERIFY_WITH_TIMEOUT(state(m_program, first->processId())->minimized, kWaitMs);
        QProcess* second = start(m_program);
        QVERIFY(waitExit(second));
        QCOMPARE(second->exitCode(), 0);
        const auto s = state(m_program, first->processId());
        QVERIFY(s);
        QVERIFY(!s->minimized);
        QCOMPARE(s->activations, 1);
    }

    void endOfSessionStoresPlacementAndExitsZero() {
        QProcess* first = start(m_program);
        QVERIFY(waitRunning(first, m_program));
        ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
        QVERIFY(waitExit(first));
        QCOMPARE(first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(first->exitCode(), 0);
        QFile reg(m_base.filePath(u"config/dornik/KOVELA.reg"_s));
        QVERIFY(reg.open(QIODevice::ReadOnly));
        const QByteArray text = reg.readAll();
        QVERIFY2(text.contains("\"ShowCmd\"=dword:00000001"), text.constData());
        QVERIFY(text.contains("\"NormPos\"="));
        QVERIFY2(!text.contains("Form2"), "the setup dialog stores nothing");
        // It left the tables: the next start runs.
        QProcess* next = start(m_program);
        QVERIFY(waitRunning(next, m_program));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
