#include "shell/instance_guard.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "shell/instance_table.h"

namespace tivaro {

namespace {

constexpr std::uint32_t kMaxRecordBytes = 1 << 20;
constexpr int kNoticeTimeoutMs = 200;
// sun_path holds 108 bytes with the terminating zero.
constexpr int kMaxSocketPath = static_cast<int>(sizeof(sockaddr_un::sun_path)) - 1;

QString systemErrorText(int code) {
    if (code == 0) return QStringLiteral("Ein Aufruf einer Betriebssystemfunktion ist fehlgeschlagen");
    return QStringLiteral("Systemfehler.  Code: %1.\r\n%2")
        .arg(code)
        .arg(QString::fromLocal8Bit(std::strerror(code)));
}

// The framework's system error text, followed by what failed where.
[[noreturn]] void refuse(int code, const QString& path, const QString& cause) {
    throw SystemError((systemErrorText(code) + QStringLiteral("\r\n%1: %2").arg(path, cause)).toStdString());
}

QString describeUser(uid_t uid) {
    errno = 0;
    const passwd* pw = ::getpwuid(uid);
    if (!pw || !pw->pw_name || !*pw->pw_name) return QStringLiteral("uid %1").arg(uid);
    return QStringLiteral("%1 (uid %2)").arg(QString::fromLocal8Bit(pw->pw_name)).arg(uid);
}

QString describeType(mode_t mode) {
    if (S_ISLNK(mode)) return QStringLiteral("eine symbolische Verknüpfung");
    if (S_ISDIR(mode)) return QStringLiteral("ein Verzeichnis");
    if (S_ISREG(mode)) return QStringLiteral("eine Datei");
    if (S_ISSOCK(mode)) return QStringLiteral("ein Socket");
    if (S_ISFIFO(mode)) return QStringLiteral("eine Pipe");
    return QStringLiteral("eine Gerätedatei");
}

// The cause when owner is not the current user, else empty.
QString foreignOwner(uid_t owner) {
    if (owner == ::geteuid()) return {};
    return QStringLiteral("gehört %1, nicht %2").arg(describeUser(owner), describeUser(::geteuid()));
}

// Why st does not describe a private directory of the current user, or empty.
QString notPrivateDir(const struct stat& st) {
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("ist kein Verzeichnis, sondern ") + describeType(st.st_mode);
    if (st.st_uid != ::geteuid()) return foreignOwner(st.st_uid);
    if (st.st_mode & 077)
        return QStringLiteral("Gruppe oder andere haben Zugriff (Modus %1)")
            .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return {};
}

// Opens path as a directory without following a final symbolic link and
// checks that it is the user's own with no group or other access. With
// tighten, the user's own directory loses group and other access instead.
// Returns the descriptor, or none with the errno and the cause.
UniqueFd openPrivateDir(const QString& path, bool tighten, int* code, QString* cause) {
    const QByteArray native = QFile::encodeName(path);
    UniqueFd owned(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const int fd = owned.Get();
    if (fd < 0) {
        *code = errno;
        struct stat st {};
        if (::lstat(native.constData(), &st) == 0)
            *cause = QStringLiteral("ist kein Verzeichnis, sondern ") + describeType(st.st_mode);
        else
            *cause = QStringLiteral("lässt sich nicht öffnen");
        return {};
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *code = errno;
        *cause = QStringLiteral("lässt sich nicht prüfen");
        return {};
    }
    if (tighten && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) &&
        ::fchmod(fd, st.st_mode & 0700) == 0)
        st.st_mode &= ~static_cast<mode_t>(077);
    *cause = notPrivateDir(st);
    if (!cause->isEmpty()) {
        *code = EACCES;
        return {};
    }
    return owned;
}

// Opens (creating it when missing) the guard file name inside the directory
// dirFd: never through a link, never anything but a regular file of the user.
UniqueFd openGuardFile(int dirFd, const QString& dir, const QString& name) {
    const QByteArray native = QFile::encodeName(name);
    const QString path = dir + QLatin1Char('/') + name;
    struct stat st {};
    const auto check = [&](const struct stat& s) {
        if (!S_ISREG(s.st_mode))
            refuse(EACCES, path, QStringLiteral("ist keine Datei, sondern ") + describeType(s.st_mode));
        if (s.st_uid != ::geteuid()) refuse(EACCES, path, foreignOwner(s.st_uid));
    };
    // Look before opening: opening a device or a pipe may already do something.
    if (::fstatat(dirFd, native.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) check(st);
    UniqueFd fd(
        ::openat(dirFd, native.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd.Valid()) {
        const int err = errno;
        if (err == ELOOP) refuse(err, path, QStringLiteral("ist eine symbolische Verknüpfung"));
        refuse(err, path, QStringLiteral("lässt sich nicht öffnen"));
    }
    if (::fstat(fd.Get(), &st) != 0) refuse(errno, path, QStringLiteral("lässt sich nicht prüfen"));
    check(st);
    return fd;
}

QString ownExecutable(const QString& procLink) {
    QString target = QFile::symLinkTarget(procLink);
    if (target.endsWith(QLatin1String(" (deleted)"))) target.chop(10);
    return target;
}

// A process keeps its place in the tables while it runs a program file whose
// path equals ours without regard to letter case.
bool runsSameProgram(std::uint32_t pid) {
    if (pid == static_cast<std::uint32_t>(::getpid())) return true;
    if (pid == 0) return false;
    const QString exe = ownExecutable(QStringLiteral("/proc/%1/exe").arg(pid));
    if (exe.isEmpty()) return false;  // gone, a zombie, or not ours to look at
    static const QString self = ownExecutable(QStringLiteral("/proc/self/exe")).toUpper();
    return exe.toUpper() == self;
}

QString fileSafe(const QString& name) {
    QString s = name;
    s.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    if (s.toUtf8().size() > 200) {
        const QByteArray hash =
            QCryptographicHash::hash(s.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
        s = s.left(100) + QLatin1Char('~') + QString::fromLatin1(hash);
    }
    return s;
}

// The process holding a flock on the file fd, from /proc/locks, or 0.
long lockHolder(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return 0;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) return 0;
    const QByteArray file = QStringLiteral("%1:%2:%3")
                                .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                                .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                                .arg(st.st_ino)
                                .toLatin1();
    // "1: FLOCK  ADVISORY  WRITE 1234 fd:00:5678 0 EOF"; waiters carry "->".
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 6 && f[1] == "FLOCK" && f[5] == file) return f[4].toLong();
    }
    return 0;
}

// The named re-entrant lock: a file lock between processes, a recursive mutex
// between the threads of this one. Every wait ends after the timeout.
class FileLock {
public:
    FileLock(int dirFd, const QString& dir, const QString& name, int timeoutMs)
        : m_path(dir + QLatin1Char('/') + name), m_timeoutMs(timeoutMs) {
        m_fd = openGuardFile(dirFd, dir, name);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False when the lock could not be had within the timeout.
    bool lock() {
        QDeadlineTimer deadline(m_timeoutMs);
        if (!m_mutex.try_lock_for(std::chrono::milliseconds(std::max<qint64>(0, deadline.remainingTime()))))
            return false;
        if (m_depth == 0) {
            int pause = 1;
            while (::flock(m_fd.Get(), LOCK_EX | LOCK_NB) != 0) {
                if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
                    m_mutex.unlock();
                    return false;
                }
                ::usleep(
                    static_cast<useconds_t>(std::min<qint64>(pause, deadline.remainingTime() + 1) * 1000));
                pause = std::min(pause * 2, 50);
            }
        }
        ++m_depth;
        return true;
    }
    void unlock() {
        if (--m_depth == 0) ::flock(m_fd.Get(), LOCK_UN);
        m_mutex.unlock();
    }
    [[noreturn]] void refuseTimeout() const {
        const long holder = lockHolder(m_fd.Get());
        QString cause = QStringLiteral("nach %1 ms noch gesperrt").arg(m_timeoutMs);
        if (holder > 0) cause += QStringLiteral(" von Prozess %1").arg(holder);
        refuse(EWOULDBLOCK, m_path, cause);
    }

private:
    QString m_path;
    int m_timeoutMs;
    UniqueFd m_fd;
    int m_depth = 0;
    std::recursive_timed_mutex m_mutex;
};

class Locked {
public:
    explicit Locked(FileLock& l) : m_l(l), m_held(l.lock()) {}
    ~Locked() {
        if (m_held) m_l.unlock();
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    explicit operator bool() const { return m_held; }
    // Throws the lock's timeout refusal unless it is held.
    void require() const {
        if (!m_held) m_l.refuseTimeout();
    }

private:
    FileLock& m_l;
    bool m_held;
};

// One table file, read into memory and written back whole under the lock:
// another process shrinking or growing the file can never fault this one.
struct TableFile {
    UniqueFd fd;
    QString path;
    std::array<unsigned char, kInstanceTableBytes> bytes{};

    void open(int dirFd, const QString& dir, const QString& name) {
        path = dir + QLatin1Char('/') + name;
        fd = openGuardFile(dirFd, dir, name);
    }
    // Bytes missing at the end (a shortened file) read as zero.
    void load() {
        bytes.fill(0);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::pread(fd.Get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) refuse(errno, path, QStringLiteral("lässt sich nicht lesen"));
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
    }
    void store() {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::pwrite(fd.Get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) refuse(n < 0 ? errno : EIO, path, QStringLiteral("lässt sich nicht schreiben"));
            done += static_cast<std::size_t>(n);
        }
    }
    InstanceTableView view() { return InstanceTableView(bytes.data()); }
};

QList<std::uint32_t> idsOf(const InstanceTableView& table) {
    QList<std::uint32_t> ids;
    for (int i = 0; i < table.Count(); ++i) ids << table.Id(i);
    return ids;
}

}  // namespace

struct InstanceGuard::Shared {
    std::unique_ptr<FileLock> lock;
    std::array<TableFile, 3> tables;  // all copies, session, user
    void loadAll() {
        for (auto& t : tables) t.load();
    }
    void storeAll() {
        for (auto& t : tables) t.store();
    }
};

// ---- records ----

QByteArray GuardRecord::Encode() const {
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out << static_cast<quint32>(type) << static_cast<quint32>(kind) << static_cast<qint64>(value)
        << static_cast<qint64>(senderPid) << data;
    QByteArray framed;
    QDataStream head(&framed, QIODevice::WriteOnly);
    head << static_cast<quint32>(body.size());
    return framed + body;
}

std::optional<GuardRecord> GuardRecord::Decode(QByteArray& buffer) {
    if (buffer.size() < 4) return std::nullopt;
    quint32 length = 0;
    {
        QDataStream head(buffer.left(4));
        head >> length;
    }
    if (length > kMaxRecordBytes) {
        buffer.clear();
        throw std::runtime_error("record too long");
    }
    if (static_cast<quint32>(buffer.size()) < 4 + length) return std::nullopt;
    QDataStream in(buffer.mid(4, length));
    quint32 type = 0, kind = 0;
    qint64 value = 0, sender = 0;
    GuardRecord r;
    in >> type >> kind >> value >> sender >> r.data;
    buffer.remove(0, 4 + length);
    if (in.status() != QDataStream::Ok) throw std::runtime_error("damaged record");
    r.type = static_cast<Type>(type);
    r.kind = kind;
    r.value = value;
    r.senderPid = sender;
    return r;
}

// ---- the guard ----

InstanceGuard::InstanceGuard(Options options, QObject* parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_id(UniqueAppId(m_options.programPath)),
      m_dir(m_options.nameSpaceDir),
      m_session(m_options.session.isEmpty() ? SessionKey() : m_options.session) {}

InstanceGuard::~InstanceGuard() {
    Deregister();
    closeShared();
}

QString InstanceGuard::UniqueAppId(const QString& programPath) {
    return (QStringLiteral("Jcl") + programPath).toUpper().replace(QLatin1Char('\\'), QLatin1Char('_'));
}

QString InstanceGuard::AccountName(unsigned uid) {
    errno = 0;
    const passwd* pw = ::getpwuid(static_cast<uid_t>(uid));
    if (!pw || !pw->pw_name || !*pw->pw_name) return QString::number(uid);
    return QString::fromLocal8Bit(pw->pw_name);
}

QString InstanceGuard::SessionKey() {
    // Only characters that are safe in a file name; a long key is cut to a hash.
    const auto clean = [](const QString& prefix, QByteArray value) {
        for (char& c : value)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':') c = '_';
        if (value.size() > 64)
            value = QCryptographicHash::hash(value, QCryptographicHash::Sha1).toHex().left(16);
        return prefix + QString::fromLatin1(value);
    };
    const QByteArray session = qgetenv("XDG_SESSION_ID");
    if (!session.isEmpty()) return clean(QStringLiteral("session-"), session);
    QByteArray display = qgetenv("DISPLAY");
    if (!display.isEmpty()) {
        // ":1.0" and ":1" are the same display; only the screen differs.
        const qsizetype colon = display.lastIndexOf(':');
        const qsizetype dot = display.lastIndexOf('.');
        if (colon >= 0 && dot > colon) display.truncate(dot);
        return clean(QStringLiteral("display-"), display);
    }
    return QStringLiteral("nosession");
}

QString InstanceGuard::DefaultNameSpaceDir() {
    int code = 0;
    QString cause;
    // The runtime directory only when no one else may enter it.
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime)) {
        if (openPrivateDir(runtime, false, &code, &cause).Valid()) return runtime;
    }
    // Else a directory of the user's own cache, the same for every copy.
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache)) {
        QString home = qEnvironmentVariable("HOME");
        if (!QDir::isAbsolutePath(home)) {
            const passwd* pw = ::getpwuid(::geteuid());
            home = pw && pw->pw_dir ? QFile::decodeName(pw->pw_dir) : QString();
        }
        if (!QDir::isAbsolutePath(home))
            refuse(ENOENT, QStringLiteral("$XDG_RUNTIME_DIR, $XDG_CACHE_HOME, $HOME"),
                   QStringLiteral("kein eigenes Verzeichnis für %1 bekannt").arg(describeUser(::geteuid())));
        cache = home + QStringLiteral("/.cache");
    }
    QString dir = QDir::cleanPath(cache) + QStringLiteral("/tivaro-manager");
    if (!QDir().mkpath(cache))
        refuse(errno ? errno : EACCES, cache, QStringLiteral("lässt sich nicht anlegen"));
    if (::mkdir(QFile::encodeName(dir).constData(), 0700) != 0 && errno != EEXIST)
        refuse(errno, dir, QStringLiteral("lässt sich nicht anlegen"));
    if (!openPrivateDir(dir, true, &code, &cause).Valid()) refuse(code, dir, cause);
    return dir;
}

int InstanceGuard::dirFd() const {
    if (!m_dirFd.Valid() && !m_dir.isEmpty()) {
        int code = 0;
        QString cause;
        m_dirFd = openPrivateDir(m_dir, false, &code, &cause);
        if (!m_dirFd.Valid()) refuse(code, m_dir, cause);
    }
    return m_dirFd.Get();
}

QString InstanceGuard::MessageWindowName(std::int64_t pid) const {
    const QByteArray hash =
        QCryptographicHash::hash(m_id.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    const QString name = QStringLiteral("jcl-%1-%2").arg(QString::fromLatin1(hash)).arg(pid);
    QString path = m_dir + QLatin1Char('/') + name;
    if (QFile::encodeName(path).size() <= kMaxSocketPath) return path;
    try {
        return QStringLiteral("/proc/self/fd/%1/%2").arg(dirFd()).arg(name);
    } catch (const SystemError&) {
        return path;  // an unusable directory: the connection fails
    }
}

void InstanceGuard::openShared() {
    if (m_shared) return;
    const int dir = dirFd();
    auto shared = std::make_unique<Shared>();
    const QString base = fileSafe(m_session + QLatin1Char('_') + m_id);
    shared->lock =
        std::make_unique<FileLock>(dir, m_dir, base + QStringLiteral("_Otx"), m_options.lockTimeoutMs);

    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "localhost");
    const QString names[3] = {
        base + QStringLiteral("_All"),
        base + QStringLiteral("_Session_") + m_session,
        fileSafe(m_session + QLatin1Char('_') + m_id + QStringLiteral("_User_") + AccountName(::geteuid()) +
                 QLatin1Char('_') + QString::fromLocal8Bit(host)),
    };
    Locked held(*shared->lock);
    held.require();
    for (int i = 0; i < 3; ++i) shared->tables[i].open(dir, m_dir, names[i]);
    m_shared = std::move(shared);
}

void InstanceGuard::closeShared() {
    m_shared.reset();
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
}

void InstanceGuard::prune() {
    for (auto& t : m_shared->tables) t.view().Prune(runsSameProgram);
}

void InstanceGuard::Register() {
    if (m_registered) return;
    if (m_dir.isEmpty()) m_dir = DefaultNameSpaceDir();
    const int dir = dirFd();

    // A leftover socket of an earlier process with our id is replaced;
    // anything else by that name is not ours to remove.
    const QString name = MessageWindowName(::getpid());
    const QString fileName = name.section(QLatin1Char('/'), -1);
    const QString shown = m_dir + QLatin1Char('/') + fileName;
    struct stat st {};
    if (::fstatat(dir, QFile::encodeName(fileName).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISSOCK(st.st_mode))
            refuse(EEXIST, shown, QStringLiteral("ist kein Socket, sondern ") + describeType(st.st_mode));
        if (::unlinkat(dir, QFile::encodeName(fileName).constData(), 0) != 0)
            refuse(errno, shown, QStringLiteral("lässt sich nicht ersetzen"));
    }
    m_server = new QLocalServer(this);
    if (!m_server->listen(name)) {
        const QString why = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        refuse(EADDRINUSE, shown, why);
    }
    connect(m_server, &QLocalServer::newConnection, this, &InstanceGuard::onNewConnection);

    openShared();
    const auto pid = static_cast<std::uint32_t>(::getpid());
    const std::uint16_t limits[3] = {65535, 0, 0};
    bool allowed = true;
    QList<std::uint32_t> registered;
    {
        Locked held(*m_shared->lock);
        held.require();
        m_shared->loadAll();
        prune();
        for (int i = 0; i < 3; ++i) {
            InstanceTableView t = m_shared->tables[i].view();
            if (t.Limit() == 0) t.SetLimit(limits[i]);
            allowed = allowed && (t.Limit() == 0 || t.Limit() > t.Count());
            t.Append(pid);  // a full table keeps its 257 ids and this one is not recorded
        }
        m_shared->storeAll();
        registered = idsOf(m_shared->tables[0].view());
    }
    m_registered = true;
    if (allowed) notifyAll(GuardMessage::InstanceCreated, pid, registered);
}

QList<std::uint32_t> InstanceGuard::RegisteredIds() {
    if (!m_shared) return {};
    Locked held(*m_shared->lock);
    if (!held) return {};
    TableFile& all = m_shared->tables[0];
    try {
        all.load();
    } catch (const SystemError&) {
        return {};
    }
    return idsOf(all.view());
}

bool InstanceGuard::Check(const QStringList& arguments) {
    if (!m_active || m_options.maxInstances <= 0 || !m_shared) return true;
    const auto pid = static_cast<std::uint32_t>(::getpid());
    QList<std::uint32_t> ids;
    int position = 0;
    {
        Locked held(*m_shared->lock);
        held.require();
        m_shared->loadAll();
        prune();
        m_shared->storeAll();
        const InstanceTableView all = m_shared->tables[0].view();
        position = all.IndexOf(pid);
        if (position < 0) position = all.Count();  // not recorded in a full table: others run before us
        ids = idsOf(all);
    }
    if (position < m_options.maxInstances) return true;
    GuardRecord query;
    query.kind = static_cast<std::uint32_t>(GuardMessage::QueryActive);
    query.value = pid;
    query.senderPid = pid;
    // A copy that leaves a question unanswered is not waited for again.
    QList<std::uint32_t> silent;
    for (std::uint32_t other : ids) {
        if (other == pid) continue;
        const auto reply = SendSync(MessageWindowName(other), query, m_options.replyTimeoutMs);
        if (!reply) silent << other;
        if (reply && reply->type == GuardRecord::Type::Message &&
            reply->kind == static_cast<std::uint32_t>(GuardMessage::ReplyActive))
            m_active = reply->value != 0;
        if (!m_active) break;
    }
    if (!m_active) return true;

    // Refused: bring the first copy forward, hand over the arguments, leave.
    if (!ids.isEmpty() && ids.front() != pid && !silent.contains(ids.front())) {
        GuardRecord activate;
        activate.kind = static_cast<std::uint32_t>(GuardMessage::ActivateRequest);
        activate.senderPid = pid;
        SendSync(MessageWindowName(ids.front()), activate, m_options.replyTimeoutMs);
    }
    QString cmdLine;
    for (const QString& a : arguments) cmdLine += a + QStringLiteral("\r\n");
    GuardRecord data;
    data.type = GuardRecord::Type::Data;
    data.kind = kCmdLineDataKind;
    data.senderPid = pid;
    data.data = QByteArray(reinterpret_cast<const char*>(cmdLine.utf16()), cmdLine.size() * 2);
    data.value = data.data.size();
    for (std::uint32_t other : RegisteredIds())
        if (other != pid && !silent.contains(other))
            SendSync(MessageWindowName(other), data, m_options.replyTimeoutMs);
    Deregister();
    return false;
}

void InstanceGuard::Deregister() {
    if (!m_registered || !m_shared) return;
    const auto pid = static_cast<std::uint32_t>(::getpid());
    QList<std::uint32_t> remaining;
    {
        // A lock held past its time or an unreadable table leaves our id
        // behind (the next registration prunes it once this process is gone)
        // and no one to tell: the lock is not waited for a second time.
        Locked held(*m_shared->lock);
        if (held) {
            try {
                m_shared->loadAll();
                for (auto& t : m_shared->tables) t.view().Remove(pid);
                m_shared->storeAll();
                remaining = idsOf(m_shared->tables[0].view());
            } catch (const SystemError&) {
            }
        }
    }
    m_registered = false;
    notifyAll(GuardMessage::InstanceDestroyed, pid, remaining);
    closeShared();
}

void InstanceGuard::notifyAll(GuardMessage message, std::int64_t value, const QList<std::uint32_t>& ids) {
    const auto pid = static_cast<std::uint32_t>(::getpid());
    GuardRecord r;
    r.kind = static_cast<std::uint32_t>(message);
    r.value = value;
    r.senderPid = pid;
    const QByteArray bytes = r.Encode();
    for (std::uint32_t other : ids) {
        if (other == pid) continue;
        // A notice is not waited for; a copy that cannot be reached is skipped.
        QLocalSocket socket;
        socket.connectToServer(MessageWindowName(other));
        if (!socket.waitForConnected(kNoticeTimeoutMs)) continue;
        socket.write(bytes);
        socket.waitForBytesWritten(kNoticeTimeoutMs);
        socket.disconnectFromServer();
    }
}

std::optional<GuardRecord> InstanceGuard::SendSync(const QString& serverName, const GuardRecord& record,
                                                   int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    // Only a socket is a message window; a link or a file by that name is not.
    struct stat st {};
    if (::lstat(QFile::encodeName(serverName).constData(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return std::nullopt;
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) return std::nullopt;
    socket.write(record.Encode());
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return std::nullopt;
    QByteArray buffer;
    while (!deadline.hasExpired()) {
        try {
            if (auto reply = GuardRecord::Decode(buffer)) return reply;
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (!socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) break;
        buffer += socket.readAll();
    }
    try {
        return GuardRecord::Decode(buffer);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void InstanceGuard::onNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0) onReadyRead(socket);
    }
}

void InstanceGuard::onReadyRead(QLocalSocket* socket) {
    QByteArray buffer = socket->property("guardBuffer").toByteArray() + socket->readAll();
    try {
        while (auto record = GuardRecord::Decode(buffer)) {
            const GuardRecord reply = handle(*record);
            if (socket->state() == QLocalSocket::ConnectedState) socket->write(reply.Encode());
        }
    } catch (const std::exception&) {
        socket->abort();  // a stranger's bytes: drop the connection
        return;
    }
    socket->setProperty("guardBuffer", buffer);
}

GuardRecord InstanceGuard::handle(const GuardRecord& record) {
    GuardRecord reply;
    reply.type = GuardRecord::Type::Handled;
    reply.senderPid = ::getpid();
    if (record.type == GuardRecord::Type::Data) {
        // The own window ignores its data; any other block is accepted. The
        // command line is handed over and has no further effect here.
        reply.value = record.senderPid == ::getpid() ? 0 : 1;
        return reply;
    }
    switch (static_cast<GuardMessage>(record.kind)) {
        case GuardMessage::QueryActive:
            reply.type = GuardRecord::Type::Message;
            reply.kind = static_cast<std::uint32_t>(GuardMessage::ReplyActive);
            reply.value = m_active ? 1 : 0;
            break;
        case GuardMessage::ReplyActive:
            m_active = record.value != 0;
            break;
        case GuardMessage::ActivateRequest:
            ++m_activations;
            if (m_activate) m_activate();
            break;
        case GuardMessage::StateQuery:
            reply.value = static_cast<std::int64_t>((m_state ? m_state() : 0u) | (m_activations << 8));
            break;
        default:  // the notices: no handlers are set
            break;
    }
    return reply;
}

}  // namespace tivaro
