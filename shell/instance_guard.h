#pragma once
// JvAppInstances1, the single-instance guard: registers this copy in three
// tables shared by the copies of the same program within the user's session
// (files mapped from the runtime directory, guarded by a re-entrant file lock),
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

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

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
        QString nameSpaceDir;  // empty: $XDG_RUNTIME_DIR, else a private dir under /tmp
        int maxInstances = 1;
        int replyTimeoutMs = 5000;  // bounded wait for a running copy's answer
    };

    explicit InstanceGuard(Options options, QObject* parent = nullptr);
    ~InstanceGuard() override;

    // "Jcl" + path, upper-cased, every "\" turned into "_".
    static QString UniqueAppId(const QString& programPath);
    // The directory of the shared objects (created and checked when needed).
    static QString DefaultNameSpaceDir();

    // Creates the message window, opens the shared objects, registers (limits
    // 65535, none, none). Throws SystemError.
    void Register();
    // True when this copy may run. False: this copy was refused, has activated
    // the first copy, sent its arguments and deregistered; the caller ends the
    // process with exit code 0 at once.
    bool Check(const QStringList& arguments);
    // Leaves the tables and tells the remaining copies; idempotent.
    void Deregister();

    bool Active() const { return m_active; }
    void SetActive(bool active) { m_active = active; }
    // Restores, raises and activates this copy's main window.
    void SetActivationHandler(std::function<void()> handler) { m_activate = std::move(handler); }
    // Reports the main window's state for StateQuery.
    void SetStateProvider(std::function<std::uint32_t()> provider) { m_state = std::move(provider); }

    QString Id() const { return m_id; }
    QString NameSpaceDir() const { return m_dir; }
    QString MessageWindowName(std::int64_t pid) const;
    // The ids of the all-copies table, under the lock (for tests and tools).
    QList<std::uint32_t> RegisteredIds();

    // Sends one record to the copy pid and waits up to timeoutMs for its answer.
    static std::optional<GuardRecord> SendSync(const QString& serverName, const GuardRecord& record,
                                               int timeoutMs);

private:
    struct Shared;
    void openShared();
    void closeShared();
    void prune();
    void notifyAll(GuardMessage message, std::int64_t value);
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    GuardRecord handle(const GuardRecord& record);

    Options m_options;
    QString m_id;
    QString m_dir;
    bool m_active = true;
    bool m_registered = false;
    std::unique_ptr<Shared> m_shared;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_activate;
    std::function<std::uint32_t()> m_state;
    std::uint32_t m_activations = 0;
};

}  // namespace tivaro
