#include "shell/instance_guard.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QVariant>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "shell/instance_table.h"

namespace tivaro {

namespace {

constexpr std::uint32_t kMaxRecordBytes = 1 << 20;
constexpr int kNoticeTimeoutMs = 200;

[[noreturn]] void throwSystemError(int code) {
    if (code == 0) throw SystemError("Ein Aufruf einer Betriebssystemfunktion ist fehlgeschlagen");
    throw SystemError(QStringLiteral("Systemfehler.  Code: %1.\r\n%2")
                          .arg(code)
                          .arg(QString::fromLocal8Bit(std::strerror(code)))
                          .toStdString());
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

// The named re-entrant lock: a file lock between processes, a recursive mutex
// between the threads of this one.
class FileLock {
public:
    explicit FileLock(const QString& path) {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) throwSystemError(errno);
    }
    ~FileLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    void lock() {
        m_mutex.lock();
        if (m_depth++ == 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    void unlock() {
        if (--m_depth == 0) ::flock(m_fd, LOCK_UN);
        m_mutex.unlock();
    }

private:
    int m_fd = -1;
    int m_depth = 0;
    std::recursive_mutex m_mutex;
};

struct MappedTable {
    int fd = -1;
    unsigned char* data = nullptr;

    void open(const QString& path, mode_t mode) {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, mode);
        if (fd < 0) throwSystemError(errno);
        struct stat st {};
        if (::fstat(fd, &st) != 0) throwSystemError(errno);
        if (st.st_size < static_cast<off_t>(kInstanceTableBytes) && ::ftruncate(fd, kInstanceTableBytes) != 0)
            throwSystemError(errno);
        void* p = ::mmap(nullptr, kInstanceTableBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p == MAP_FAILED) throwSystemError(errno);
        data = static_cast<unsigned char*>(p);
    }
    void close() {
        if (data) ::munmap(data, kInstanceTableBytes);
        if (fd >= 0) ::close(fd);
        data = nullptr;
        fd = -1;
    }
    InstanceTableView view() const { return InstanceTableView(data); }
};

}  // namespace

struct InstanceGuard::Shared {
    std::unique_ptr<FileLock> lock;
    std::array<MappedTable, 3> tables;  // all copies, session, user
    InstanceTableView all() const { return tables[0].view(); }
    ~Shared() {
        for (auto& t : tables) t.close();
    }
};

namespace {
class Locked {
public:
    explicit Locked(FileLock& l) : m_l(l) { m_l.lock(); }
    ~Locked() { m_l.unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    FileLock& m_l;
};
}  // namespace

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
      m_dir(m_options.nameSpaceDir) {}

InstanceGuard::~InstanceGuard() {
    Deregister();
    closeShared();
}

QString InstanceGuard::UniqueAppId(const QString& programPath) {
    return (QStringLiteral("Jcl") + programPath).toUpper().replace(QLatin1Char('\\'), QLatin1Char('_'));
}

QString InstanceGuard::DefaultNameSpaceDir() {
    const uid_t uid = ::geteuid();
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        struct stat st {};
        if (::lstat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid)
            return QFile::decodeName(runtime);
    }
    const QByteArray dir = QByteArray("/tmp/tivaro-manager-") + QByteArray::number(uid);
    if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST) throwSystemError(errno);
    struct stat st {};
    if (::lstat(dir.constData(), &st) != 0) throwSystemError(errno);
    // Someone else's directory, a link or a directory others may enter is not used.
    if (!S_ISDIR(st.st_mode) || st.st_uid != uid || (st.st_mode & 0777) != 0700) throwSystemError(EACCES);
    return QFile::decodeName(dir);
}

QString InstanceGuard::MessageWindowName(std::int64_t pid) const {
    const QByteArray hash =
        QCryptographicHash::hash(m_id.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return m_dir + QStringLiteral("/jcl-%1-%2").arg(QString::fromLatin1(hash)).arg(pid);
}

void InstanceGuard::openShared() {
    if (m_shared) return;
    auto shared = std::make_unique<Shared>();
    const QString base = m_dir + QLatin1Char('/') + fileSafe(m_id);
    shared->lock = std::make_unique<FileLock>(base + QStringLiteral("_Otx"));

    QString session = QStringLiteral("0");
    QFile sessionFile(QStringLiteral("/proc/self/sessionid"));
    if (sessionFile.open(QIODevice::ReadOnly)) {
        const QByteArray s = sessionFile.readAll().trimmed();
        if (!s.isEmpty()) session = QString::fromLatin1(s);
    }
    errno = 0;
    const passwd* pw = ::getpwuid(::geteuid());
    if (!pw) throwSystemError(errno);
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) throwSystemError(errno);

    const QString names[3] = {
        base + QStringLiteral("_All"),
        base + QStringLiteral("_Session_") + session,
        m_dir + QLatin1Char('/') +
            fileSafe(m_id + QStringLiteral("_User_") + QString::fromLocal8Bit(pw->pw_name) +
                     QLatin1Char('_') + QString::fromLocal8Bit(host)),
    };
    const mode_t modes[3] = {0666, 0666, 0600};
    Locked held(*shared->lock);
    for (int i = 0; i < 3; ++i) shared->tables[i].open(names[i], modes[i]);
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
    Locked held(*m_shared->lock);
    for (auto& t : m_shared->tables) t.view().Prune(runsSameProgram);
}

void InstanceGuard::Register() {
    if (m_registered) return;
    if (m_dir.isEmpty()) m_dir = DefaultNameSpaceDir();

    m_server = new QLocalServer(this);
    const QString name = MessageWindowName(::getpid());
    QLocalServer::removeServer(name);
    if (!m_server->listen(name)) throwSystemError(EADDRINUSE);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceGuard::onNewConnection);

    openShared();
    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
    const std::uint16_t limits[3] = {65535, 0, 0};
    bool allowed = true;
    {
        Locked held(*m_shared->lock);
        prune();
        for (int i = 0; i < 3; ++i) {
            InstanceTableView t = m_shared->tables[i].view();
            if (t.Limit() == 0) t.SetLimit(limits[i]);
            allowed = allowed && (t.Limit() == 0 || t.Limit() > t.Count());
            t.Append(pid);  // a full table keeps its 257 ids and this one is not recorded
        }
    }
    m_registered = true;
    if (allowed) notifyAll(GuardMessage::InstanceCreated, pid);
}

QList<std::uint32_t> InstanceGuard::RegisteredIds() {
    QList<std::uint32_t> ids;
    if (!m_shared) return ids;
    Locked held(*m_shared->lock);
    const InstanceTableView all = m_shared->all();
    for (int i = 0; i < all.Count(); ++i) ids << all.Id(i);
    return ids;
}

bool InstanceGuard::Check(const QStringList& arguments) {
    if (!m_active || m_options.maxInstances <= 0 || !m_shared) return true;
    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
    QList<std::uint32_t> ids;
    int position = 0;
    {
        Locked held(*m_shared->lock);
        prune();
        const InstanceTableView all = m_shared->all();
        position = all.IndexOf(pid);
        if (position < 0) position = all.Count();  // not recorded in a full table: others run before us
        for (int i = 0; i < all.Count(); ++i) ids << all.Id(i);
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
    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
    {
        Locked held(*m_shared->lock);
        for (auto& t : m_shared->tables) t.view().Remove(pid);
    }
    m_registered = false;
    notifyAll(GuardMessage::InstanceDestroyed, pid);
    closeShared();
}

void InstanceGuard::notifyAll(GuardMessage message, std::int64_t value) {
    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
    GuardRecord r;
    r.kind = static_cast<std::uint32_t>(message);
    r.value = value;
    r.senderPid = pid;
    const QByteArray bytes = r.Encode();
    for (std::uint32_t other : RegisteredIds()) {
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
