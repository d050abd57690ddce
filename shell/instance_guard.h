#pragma once
// JvAppInstances1, the single-instance guard: registers this copy in three
// tables shared by the copies of the same program within one desktop session
// (files in a private directory of the user, read and written with pread and
// pwrite under a re-entrant file lock whose every wait is bounded),
// answers the other copies through its "message window" (a local socket named
// after the program's id and this process) and refuses a second copy: that one
// asks the first to bring its window to the front, hands over its arguments,
// deregisters and ends. UI thread only.
//
// "The same program" is the same started path compared without letter case
// (so a case-variant symlink or copy counts as the same program, a copy in
// another directory does not). A copy that crashed leaves its id behind: every
// registration and check first drops ids of processes that no longer run a
// program file whose path equals ours without regard to case.
//
// The session is XDG_SESSION_ID where set, else the X display: the same user's
// copy in another session (another display) is another guard's business.
// The directory is $XDG_RUNTIME_DIR when it is the user's own with no group or
// other access, else <cache>/tivaro-manager ($XDG_CACHE_HOME, else ~/.cache).
// Every guard file is opened without following links and must be a regular
// file (the message window a socket) owned by the user; anything else refuses
// the start with the path and the cause.

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

#include "protocol/unique_fd.h"

class QLocalServer;
class QLocalSocket;

namespace tivaro {

// A platform failure of the guard; its text is the framework's system error text.
class SystemError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The framed record exchanged between copies.
struct GuardRecord {
    enum class Type : std::uint32_t { Message = 1, Data = 2, Handled = 3 };
    Type type = Type::Message;
    std::uint32_t kind = 0;
    std::int64_t value = 0;
    std::int64_t senderPid = 0;
    QByteArray data;

    QByteArray Encode() const;
    // Takes one whole record off the front of buffer, if there is one.
    static std::optional<GuardRecord> Decode(QByteArray& buffer);
};

enum class GuardMessage : std::uint32_t {
    InstanceCreated = 1,
    InstanceDestroyed = 2,
    UserNotify = 3,
    QueryActive = 4,
    ReplyActive = 5,
    // Linux: a process cannot raise another's window, so the refused copy asks
    // the first one to restore, raise and activate its own.
    ActivateRequest = 6,
    // Reports the window state (bit 0 shown, bit 1 minimised, bit 2 active) and,
    // from bit 8 up, how many activation requests were served.
    StateQuery = 7,
};
inline constexpr std::uint32_t kCmdLineDataKind = 1;

class InstanceGuard final : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString programPath;   // the path the program was started from
        QString nameSpaceDir;  // empty: DefaultNameSpaceDir()
        QString session;       // empty: SessionKey() of the environment
        int maxInstances = 1;
        int replyTimeoutMs = 5000;  // bounded wait for a running copy's answer
        int lockTimeoutMs = 5000;   // bounded wait for the tables' lock
    };

    explicit InstanceGuard(Options options, QObject* parent = nullptr);
    ~InstanceGuard() override;

    // "Jcl" + path, upper-cased, every "\" turned into "_".
    static QString UniqueAppId(const QString& programPath);
    // The directory of the shared objects (created and checked when needed).
    // Throws SystemError naming the directory and the cause.
    static QString DefaultNameSpaceDir();
    // The desktop session: "session-" + XDG_SESSION_ID where set, else
    // "display-" + the X display (screen number dropped), else "nosession".
    static QString SessionKey();
    // The account name of uid, or its number where it has none.
    static QString AccountName(unsigned uid);

    // Creates the message window, opens the shared objects, registers (limits
    // 65535, none, none). Throws SystemError.
    void Register();
    // True when this copy may run. False: this copy was refused, has activated
    // the first copy, sent its arguments and deregistered; the caller ends the
    // process with exit code 0 at once.
    bool Check(const QStringList& arguments);
    // Leaves the tables and tells the remaining copies; idempotent, never
    // throws, and gives up on the tables after the bounded lock wait.
    void Deregister();

    bool Active() const { return m_active; }
    void SetActive(bool active) { m_active = active; }
    // Restores, raises and activates this copy's main window.
    void SetActivationHandler(std::function<void()> handler) { m_activate = std::move(handler); }
    // Reports the main window's state for StateQuery.
    void SetStateProvider(std::function<std::uint32_t()> provider) { m_state = std::move(provider); }

    QString Id() const { return m_id; }
    QString NameSpaceDir() const { return m_dir; }
    QString Session() const { return m_session; }
    // The socket path of copy pid's message window. Where the directory's path
    // is too long for a socket address, a short path through this process's
    // descriptor of the directory, valid while this guard lives.
    QString MessageWindowName(std::int64_t pid) const;
    // The ids of the all-copies table, under the lock (for tests and tools);
    // empty when the lock could not be had in time.
    QList<std::uint32_t> RegisteredIds();

    // Sends one record to the copy pid and waits up to timeoutMs for its answer.
    static std::optional<GuardRecord> SendSync(const QString& serverName, const GuardRecord& record,
                                               int timeoutMs);

private:
    struct Shared;
    int dirFd() const;
    void openShared();
    void closeShared();
    void prune();
    // Sends a notice, without waiting, to each of ids but this process.
    void notifyAll(GuardMessage message, std::int64_t value, const QList<std::uint32_t>& ids);
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    GuardRecord handle(const GuardRecord& record);

    Options m_options;
    QString m_id;
    QString m_dir;
    QString m_session;
    mutable UniqueFd m_dirFd;
    bool m_active = true;
    bool m_registered = false;
    std::unique_ptr<Shared> m_shared;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_activate;
    std::function<std::uint32_t()> m_state;
    std::uint32_t m_activations = 0;
};

}  // namespace tivaro
