// The guard's shared tables, its records, and registration on real files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <array>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

#include "shell/instance_guard.h"
#include "shell/instance_table.h"

using namespace tivaro;
using namespace Qt::StringLiterals;
using ::testing::HasSubstr;

namespace {

// A table with guard bytes on both sides, to see any write outside it.
struct GuardedTable {
    std::array<unsigned char, kInstanceTableBytes + 32> bytes{};
    GuardedTable() {
        bytes.fill(0xA5);
        std::fill(bytes.begin() + 16, bytes.begin() + 16 + kInstanceTableBytes, 0);
    }
    InstanceTableView view() { return InstanceTableView(bytes.data() + 16); }
    bool guardsIntact() const {
        for (int i = 0; i < 16; ++i)
            if (bytes[i] != 0xA5 || bytes[16 + kInstanceTableBytes + i] != 0xA5) return false;
        return true;
    }
};

TEST(InstanceTable, LayoutIsLittleEndianLimitCountIds) {
    GuardedTable t;
    InstanceTableView v = t.view();
    v.SetLimit(65535);
    ASSERT_TRUE(v.Append(0x01020304));
    ASSERT_TRUE(v.Append(7));
    const unsigned char* d = t.bytes.data() + 16;
    EXPECT_EQ(d[0], 0xFF);
    EXPECT_EQ(d[1], 0xFF);
    EXPECT_EQ(d[2], 2);
    EXPECT_EQ(d[3], 0);
    EXPECT_EQ(d[4], 0x04);
    EXPECT_EQ(d[7], 0x01);
    EXPECT_EQ(d[8], 7);
}

TEST(InstanceTable, AppendRemovePruneKeepOrder) {
    GuardedTable t;
    InstanceTableView v = t.view();
    for (std::uint32_t pid : {10u, 20u, 30u, 20u, 40u}) v.Append(pid);
    EXPECT_TRUE(v.Remove(20));  // the first match only
    EXPECT_EQ(v.Count(), 4);
    EXPECT_EQ(v.Id(0), 10u);
    EXPECT_EQ(v.Id(1), 30u);
    EXPECT_EQ(v.Id(2), 20u);
    EXPECT_FALSE(v.Remove(99));
    EXPECT_EQ(v.Prune([](std::uint32_t p) { return p != 30 && p != 40; }), 2);
    EXPECT_EQ(v.Count(), 2);
    EXPECT_EQ(v.Id(0), 10u);
    EXPECT_EQ(v.Id(1), 20u);
    EXPECT_EQ(v.IndexOf(20), 1);
    EXPECT_TRUE(t.guardsIntact());
}

TEST(InstanceTable, FullOrDamagedTableIsNeverWrittenPast) {
    GuardedTable t;
    InstanceTableView v = t.view();
    for (int i = 0; i < kInstanceTableCapacity; ++i) ASSERT_TRUE(v.Append(1000 + i));
    EXPECT_FALSE(v.Append(5));
    EXPECT_EQ(v.Count(), 257);
    EXPECT_EQ(v.IndexOf(5), -1);
    EXPECT_TRUE(v.Remove(1000));
    EXPECT_EQ(v.Id(255), 1256u);
    EXPECT_TRUE(v.Append(5));
    EXPECT_EQ(v.Id(256), 5u);
    EXPECT_TRUE(t.guardsIntact());

    // A count field beyond the capacity reads as full and heals on pruning.
    GuardedTable damaged;
    InstanceTableView d = damaged.view();
    damaged.bytes[16 + 2] = 0xFF;
    damaged.bytes[16 + 3] = 0xFF;
    EXPECT_EQ(d.Count(), 257);
    EXPECT_FALSE(d.Append(1));
    EXPECT_EQ(d.IndexOf(123456), -1);
    EXPECT_FALSE(d.Remove(0) && false);
    d.Prune([](std::uint32_t p) { return p != 0; });
    EXPECT_EQ(d.Count(), 0);
    EXPECT_TRUE(damaged.guardsIntact());
}

TEST(GuardRecord, RoundTripAndDamage) {
    GuardRecord r;
    r.type = GuardRecord::Type::Data;
    r.kind = kCmdLineDataKind;
    r.value = -5;
    r.senderPid = 4242;
    r.data = QByteArray("a\0b", 3);
    QByteArray buffer = r.Encode() + r.Encode();
    for (int i = 0; i < 2; ++i) {
        auto back = GuardRecord::Decode(buffer);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->type, r.type);
        EXPECT_EQ(back->kind, r.kind);
        EXPECT_EQ(back->value, r.value);
        EXPECT_EQ(back->senderPid, r.senderPid);
        EXPECT_EQ(back->data, r.data);
    }
    EXPECT_TRUE(buffer.isEmpty());
    QByteArray partial = r.Encode().left(10);
    EXPECT_FALSE(GuardRecord::Decode(partial));
    QByteArray huge = QByteArray::fromHex("7fffffff") + QByteArray(8, 'x');
    EXPECT_THROW(GuardRecord::Decode(huge), std::exception);
}

TEST(InstanceGuardIdentity, UniqueAppIdIgnoresCase) {
    EXPECT_EQ(InstanceGuard::UniqueAppId(u"/opt/Tivaro/tivaro-manager"_s),
              u"JCL/OPT/TIVARO/TIVARO-MANAGER"_s);
    EXPECT_EQ(InstanceGuard::UniqueAppId(u"/opt/tivaro/TIVARO-MANAGER"_s),
              InstanceGuard::UniqueAppId(u"/opt/Tivaro/tivaro-manager"_s));
    EXPECT_NE(InstanceGuard::UniqueAppId(u"/opt/a/tivaro-manager"_s),
              InstanceGuard::UniqueAppId(u"/opt/b/tivaro-manager"_s));
    EXPECT_EQ(InstanceGuard::UniqueAppId(u"C:\\Tools\\x.exe"_s), u"JCLC:_TOOLS_X.EXE"_s);
}

// A process id that surely no longer runs: a child that has been reaped.
std::uint32_t deadPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<std::uint32_t>(child);
}

// Guard work on real files needs an application object for its local sockets,
// and each test leaves the environment as it found it.
class GuardFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "tst";
        static char* argv[] = {name, nullptr};
        s_app = new QCoreApplication(argc, argv);
    }
    static void TearDownTestSuite() {
        delete s_app;
        s_app = nullptr;
    }
    void SetUp() override {
        for (const char* v : kVars) m_saved.emplace_back(v, qEnvironmentVariableIsSet(v), qgetenv(v));
        ASSERT_TRUE(m_tmp.isValid());
        // The fallback directory goes to a cache of this test's own.
        qputenv("XDG_CACHE_HOME", m_tmp.filePath(u"cache"_s).toLocal8Bit());
    }
    void TearDown() override {
        for (const auto& [name, set, value] : m_saved) {
            if (set)
                qputenv(name, value);
            else
                qunsetenv(name);
        }
    }
    QString makeDir(const QString& relative, QFile::Permissions mode) {
        QString path = m_tmp.filePath(relative);
        EXPECT_TRUE(QDir().mkpath(path));
        QFile::setPermissions(path, mode);
        return path;
    }
    QString fallbackDir() const { return m_tmp.filePath(u"cache/tivaro-manager"_s); }
    static InstanceGuard::Options options(const QString& dir) {
        InstanceGuard::Options o;
        o.programPath = u"/opt/tivaro/tivaro-manager"_s;
        o.nameSpaceDir = dir;
        o.session = u"session-t"_s;
        return o;
    }
    static QString tableFile(const QString& dir, const char* suffix) {
        return dir + u"/session-t_JCL_OPT_TIVARO_TIVARO-MANAGER_"_s + QString::fromUtf8(suffix);
    }
    // The guard's message window answers QueryActive from another thread.
    static std::optional<GuardRecord> askActive(InstanceGuard& guard) {
        GuardRecord query;
        query.kind = static_cast<std::uint32_t>(GuardMessage::QueryActive);
        query.senderPid = 1;
        std::optional<GuardRecord> reply;
        bool done = false;
        std::thread asker([&] {
            reply = InstanceGuard::SendSync(guard.MessageWindowName(::getpid()), query, 3000);
            done = true;
        });
        QDeadlineTimer until(5000);
        while (!done && !until.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        asker.join();
        return reply;
    }

    static constexpr QFile::Permissions kPrivate =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    static constexpr const char* kVars[] = {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME", "XDG_SESSION_ID",
                                            "DISPLAY"};
    static inline QCoreApplication* s_app = nullptr;
    std::vector<std::tuple<const char*, bool, QByteArray>> m_saved;
    QTemporaryDir m_tmp;
};

TEST_F(GuardFiles, RegistrationPrunesStaleIdsAndLeavesCleanly) {
    // Also from a directory whose path is too long for a socket address.
    const QString longDir = m_tmp.filePath(QString(60, u'd') + u"/"_s + QString(60, u'e'));
    for (const QString& dir : {makeDir(u"run"_s, kPrivate), longDir}) {
        SCOPED_TRACE(dir.toStdString());
        ASSERT_TRUE(QDir().mkpath(dir));
        QFile::setPermissions(dir, kPrivate);
        // A crashed copy and a recycled id left their entries behind.
        const QString allFile = tableFile(dir, "All");
        {
            QByteArray table(kInstanceTableBytes, '\0');
            InstanceTableView v(reinterpret_cast<unsigned char*>(table.data()));
            v.SetLimit(65535);
            v.Append(deadPid());
            v.Append(1);  // init: alive, but not the same program
            QFile f(allFile);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(table);
        }
        const auto self = static_cast<std::uint32_t>(::getpid());
        {
            InstanceGuard guard(options(dir));
            guard.Register();
            EXPECT_EQ(guard.RegisteredIds(), QList<std::uint32_t>{self});
            EXPECT_TRUE(guard.Check({u"--x"_s}));
            const QString socketFile = dir + u"/"_s + guard.MessageWindowName(self).section(u'/', -1);
            EXPECT_TRUE(QFileInfo(socketFile).exists());
            const auto reply = askActive(guard);
            ASSERT_TRUE(reply);
            EXPECT_EQ(reply->kind, static_cast<std::uint32_t>(GuardMessage::ReplyActive));
            EXPECT_EQ(reply->value, 1);
            guard.Deregister();
            EXPECT_FALSE(QFileInfo(socketFile).exists());
        }
        QFile f(allFile);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray table = f.readAll();
        ASSERT_EQ(table.size(), qsizetype(kInstanceTableBytes));
        InstanceTableView v(reinterpret_cast<unsigned char*>(table.data()));
        EXPECT_EQ(v.Count(), 0);
        EXPECT_EQ(v.Limit(), 65535);
    }
}

TEST_F(GuardFiles, RuntimeDirectoryOnlyWhenPrivateElseTheSameFallback) {
    const QString linked = m_tmp.filePath(u"linked"_s);
    const QString own = makeDir(u"own"_s, kPrivate);
    ASSERT_TRUE(QFile::link(own, linked));
    struct Case {
        const char* name;
        QString runtime;  // empty: unset
        bool used;
    } cases[] = {
        {"private", own, true},
        {"open to all",
         makeDir(u"open"_s,
                 kPrivate | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther),
         false},
        {"open to the group", makeDir(u"group"_s, kPrivate | QFileDevice::ReadGroup | QFileDevice::ExeGroup),
         false},
        {"a link to a private one", linked, false},
        {"relative", u"own"_s, false},
        {"unset", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.runtime.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", c.runtime.toLocal8Bit());
        EXPECT_EQ(InstanceGuard::DefaultNameSpaceDir(), c.used ? c.runtime : fallbackDir());
    }
    // The fallback is private; without $XDG_CACHE_HOME it lies in ~/.cache.
    const auto mode = [](const QString& path) {
        struct stat st {};
        ::stat(QFile::encodeName(path).constData(), &st);
        return st.st_mode & 07777;
    };
    EXPECT_EQ(mode(fallbackDir()), 0700u);
    ::chmod(QFile::encodeName(fallbackDir()).constData(), 0755);
    EXPECT_EQ(InstanceGuard::DefaultNameSpaceDir(), fallbackDir());
    EXPECT_EQ(mode(fallbackDir()), 0700u);
    qunsetenv("XDG_CACHE_HOME");
    qputenv("HOME", m_tmp.filePath(u"home"_s).toLocal8Bit());
    EXPECT_EQ(InstanceGuard::DefaultNameSpaceDir(), m_tmp.filePath(u"home/.cache/tivaro-manager"_s));
}

TEST_F(GuardFiles, GuardFilesAreNeverFollowedOrOpenedWhenNotRegular) {
    // The victim: a file of the user that a planted link points at.
    const QString victim = m_tmp.filePath(u"victim.txt"_s);
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("14 bytes here\n");
    }
    struct Case {
        const char* suffix;
        std::function<bool(const QString&)> plant;
        const char* cause;
    } cases[] = {
        {"All", [&](const QString& at) { return QFile::link(victim, at); }, "symbolische Verknüpfung"},
        {"Otx", [&](const QString& at) { return QFile::link(victim, at); }, "symbolische Verknüpfung"},
        {"All", [](const QString& at) { return ::mkfifo(QFile::encodeName(at).constData(), 0600) == 0; },
         "Pipe"},
        {"All", [](const QString& at) { return QDir().mkdir(at); }, "Verzeichnis"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.suffix) + " " + c.cause);
        const QString dir = makeDir(u"planted%1"_s.arg(n++), kPrivate);
        const QString at = tableFile(dir, c.suffix);
        ASSERT_TRUE(c.plant(at));
        InstanceGuard guard(options(dir));
        try {
            guard.Register();
            ADD_FAILURE() << "registered through " << at.toStdString();
        } catch (const SystemError& e) {
            // The refusal names the file and the cause.
            EXPECT_THAT(e.what(), HasSubstr(at.toStdString()));
            EXPECT_THAT(e.what(), HasSubstr(c.cause));
        }
    }
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("14 bytes here\n"));

    // Something else where the message window's socket belongs is not removed.
    const QString dir = makeDir(u"notasocket"_s, kPrivate);
    InstanceGuard probe(options(dir));
    const QString socketPath = probe.MessageWindowName(::getpid());
    QFile plain(socketPath);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    InstanceGuard guard(options(dir));
    EXPECT_THROW(guard.Register(), SystemError);
    EXPECT_TRUE(QFileInfo(socketPath).isFile());
}

TEST_F(GuardFiles, ShrunkTableFilesAreReadAsShortNotFaulted) {
    const QString dir = makeDir(u"run"_s, kPrivate);
    InstanceGuard guard(options(dir));
    guard.Register();
    ASSERT_EQ(guard.RegisteredIds().size(), 1);
    // What "truncate -s 0" or "-s 3" does to a copy that is running.
    for (qint64 size : {0, 3}) {
        for (const char* suffix : {"All", "Session_session-t"})
            ASSERT_TRUE(QFile::resize(tableFile(dir, suffix), size));
        EXPECT_TRUE(guard.RegisteredIds().isEmpty());
        EXPECT_TRUE(guard.Check({}));
    }
    guard.Deregister();
    EXPECT_EQ(QFileInfo(tableFile(dir, "All")).size(), qint64(kInstanceTableBytes));
}

TEST_F(GuardFiles, LockHeldElsewhereEndsEveryWait) {
    const QString dir = makeDir(u"run"_s, kPrivate);
    InstanceGuard::Options o = options(dir);
    o.lockTimeoutMs = 300;
    InstanceGuard running(o);
    running.Register();

    // Another process takes the lock and keeps it.
    const QString lockFile = tableFile(dir, "Otx");
    QProcess holder;
    holder.start(u"flock"_s, {u"-o"_s, lockFile, u"cat"_s});  // holds it until its input ends
    ASSERT_TRUE(holder.waitForStarted(5000));
    QDeadlineTimer until(5000);
    while (!until.hasExpired()) {
        QFile locks(u"/proc/locks"_s);
        locks.open(QIODevice::ReadOnly);
        if (locks.readAll().contains(" " + QByteArray::number(holder.processId()) + " ")) break;
        QThread::msleep(10);
    }

    // A new copy is refused with the lock's path and holder.
    InstanceGuard starting(o);
    try {
        starting.Register();
        ADD_FAILURE() << "registered while the lock was held";
    } catch (const SystemError& e) {
        EXPECT_THAT(e.what(), HasSubstr(lockFile.toStdString()));
        EXPECT_THAT(e.what(), HasSubstr("Prozess " + std::to_string(holder.processId())));
    }
    // The running copy leaves without waiting for the lock.
    EXPECT_TRUE(running.RegisteredIds().isEmpty());
    running.Deregister();
    holder.kill();
    holder.waitForFinished(5000);
}

// A second, unprivileged local user made for the test and removed afterwards;
// it acts through setpriv, so what it makes is really its own.
class LocalUser {
public:
    LocalUser() : m_name(u"tvguard%1"_s.arg(::getpid())) {
        if (QProcess::execute(u"useradd"_s, {u"--system"_s, u"--no-create-home"_s, u"--user-group"_s,
                                             u"--shell"_s, u"/usr/sbin/nologin"_s, m_name}) != 0)
            return;
        if (const passwd* pw = ::getpwnam(m_name.toLocal8Bit().constData())) {
            m_uid = pw->pw_uid;
            m_gid = pw->pw_gid;
        }
    }
    ~LocalUser() {
        if (m_uid != 0) QProcess::execute(u"userdel"_s, {m_name});
    }
    LocalUser(const LocalUser&) = delete;
    LocalUser& operator=(const LocalUser&) = delete;
    bool ok() const { return m_uid != 0; }
    uid_t uid() const { return m_uid; }
    QString name() const { return m_name; }
    bool run(const QStringList& command) const {
        return QProcess::execute(u"setpriv"_s,
                                 QStringList{u"--reuid=%1"_s.arg(m_uid), u"--regid=%1"_s.arg(m_gid),
                                             u"--clear-groups"_s, u"--"_s} +
                                     command) == 0;
    }

private:
    QString m_name;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
};

TEST_F(GuardFiles, AnotherLocalUserCannotRedirectOrLockOut) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to create a second local user";
    LocalUser other;
    if (!other.ok()) GTEST_SKIP() << "useradd could not create a local user";
    // The other user may pass through the test's directory, not list it.
    ::chmod(QFile::encodeName(m_tmp.path()).constData(), 0711);
    const QString victim = m_tmp.filePath(u"victim.txt"_s);
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("14 bytes here\n");
    }
    InstanceGuard::Options o = options({});

    // A runtime directory anyone may write to, with a link planted in it.
    const QString open = makeDir(u"open"_s, QFile::Permissions(0x7777));
    ASSERT_TRUE(other.run({u"ln"_s, u"-s"_s, victim, tableFile(open, "All")}));
    // A private runtime directory that belongs to the other user.
    const QString foreign = makeDir(u"foreign"_s, kPrivate);
    ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), other.uid(), 0), 0);
    // The old fallback under /tmp, taken first by the other user.
    const QString squatted = u"/tmp/tivaro-manager-%1"_s.arg(::geteuid());
    const bool squat = !QFileInfo::exists(squatted) && other.run({u"mkdir"_s, u"-m"_s, u"700"_s, squatted});
    for (const QString& runtime : {open, foreign, QString()}) {
        SCOPED_TRACE(runtime.isEmpty() ? "unset" : runtime.toStdString());
        runtime.isEmpty() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
        InstanceGuard guard(o);
        ASSERT_NO_THROW(guard.Register());
        EXPECT_EQ(guard.NameSpaceDir(), fallbackDir());
        EXPECT_TRUE(guard.Check({}));
    }
    if (squat) QDir(squatted).removeRecursively();
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("14 bytes here\n"));

    // A fallback directory that is not the user's is refused, naming the
    // directory and its owner (by number where the owner has no name).
    qunsetenv("XDG_RUNTIME_DIR");
    uid_t unnamed = 3999999;
    while (::getpwuid(unnamed)) ++unnamed;
    const std::pair<uid_t, QString> owners[] = {
        {other.uid(), u"%1 (uid %2)"_s.arg(other.name()).arg(other.uid())},
        {unnamed, u"uid %1"_s.arg(unnamed)},
    };
    for (const auto& [owner, shown] : owners) {
        SCOPED_TRACE(shown.toStdString());
        QDir(fallbackDir()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(fallbackDir()));
        ASSERT_EQ(::chown(QFile::encodeName(fallbackDir()).constData(), owner, 0), 0);
        try {
            InstanceGuard::DefaultNameSpaceDir();
            ADD_FAILURE() << "accepted a directory of " << shown.toStdString();
        } catch (const SystemError& e) {
            EXPECT_THAT(e.what(), HasSubstr(fallbackDir().toStdString()));
            EXPECT_THAT(e.what(), HasSubstr((u"gehört "_s + shown).toStdString()));
        }
    }
}

TEST(InstanceGuardSession, KeyedOnTheSessionElseTheDisplay) {
    struct Case {
        const char* session;  // nullptr: unset
        const char* display;
        const char* key;
    } cases[] = {
        {"3", ":0", "session-3"},
        {"c2", nullptr, "session-c2"},
        {nullptr, ":1", "display-:1"},
        {nullptr, ":1.0", "display-:1"},
        {nullptr, "localhost:10.0", "display-localhost:10"},
        {nullptr, "host/x:2", "display-host_x:2"},
        {"../../x", ":1", "session-.._.._x"},
        {nullptr, nullptr, "nosession"},
    };
    const QByteArray savedSession = qgetenv("XDG_SESSION_ID"), savedDisplay = qgetenv("DISPLAY");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.session ? c.session : "-") + " " + (c.display ? c.display : "-"));
        c.session ? qputenv("XDG_SESSION_ID", c.session) : qunsetenv("XDG_SESSION_ID");
        c.display ? qputenv("DISPLAY", c.display) : qunsetenv("DISPLAY");
        EXPECT_EQ(InstanceGuard::SessionKey(), QString::fromUtf8(c.key));
    }
    savedSession.isNull() ? qunsetenv("XDG_SESSION_ID") : qputenv("XDG_SESSION_ID", savedSession);
    savedDisplay.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", savedDisplay);
}

TEST(InstanceGuardSession, AccountWithoutNameIsItsNumber) {
    EXPECT_EQ(InstanceGuard::AccountName(0), u"root"_s);
    unsigned unnamed = 3999999;
    while (::getpwuid(unnamed)) ++unnamed;
    EXPECT_EQ(InstanceGuard::AccountName(unnamed), QString::number(unnamed));
}

}  // namespace
