#include "core/settings_fetch.h"

#include "core/explode.h"
#include "core/numeric_value.h"
#include "core/target_port.h"
#include "protocol/messages.h"

namespace tivaro {

namespace {

// The wait ends once more than this many milliseconds have passed since the send.
constexpr std::int64_t kReplyWaitMs = 1000;

// Marks the host's fetch as running for its lifetime.
class RunningFlag {
public:
    explicit RunningFlag(FetchHost& host) : m_host(host) { m_host.SetFetchRunning(true); }
    ~RunningFlag() { m_host.SetFetchRunning(false); }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    FetchHost& m_host;
};

std::int64_t Elapsed(std::int64_t start, std::int64_t now) {
    // Unsigned difference: correct across a wrap of the counter.
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(start));
}

}  // namespace

void RunSettingsFetch(FetchHost& host, SetupDialogPort& dialog, EventPump& pump, const MonotonicClock& clock,
                      int col, int row) {
    if (row < 0) return;
    // A release over the list while a fetch waits (the wait keeps the window
    // usable) is ignored: a nested fetch would share is_rx with the outer
    // wait, and both could end in showing the dialog, one after the other.
    if (host.FetchRunning()) return;
    if (host.UnitCellText(col, row).isEmpty()) return;

    const QString address = host.UnitCellText(0, row);
    const QStringList pieces = Explode(QStringLiteral("."), address, 0);
    // An address without four dotted pieces (a unit that answered over IPv6)
    // cannot be the dialog's IPv4 target: the click is refused with a log
    // entry before anything is preset or sent.
    if (pieces.size() < 4) {
        host.ADD_LOG(address, host.UnitCellText(1, row), QStringLiteral("NO IPV4 ADDRESS"));
        return;
    }
    RunningFlag running(host);

    dialog.PresetAddresses();
    const QString caption = pieces[0] + u'.' + pieces[1] + u'.' + pieces[2] + u'.' + pieces[3];
    dialog.SetTargetCaption(caption);
    host.SetUdpPort(StrToInt(host.UnitCellText(1, row)));
    host.SetIsRx(false);
    host.Sender().Send(caption.toStdString(), TargetPort(host.UdpPortValue()), BuildSettingsRequest());

    const std::int64_t start = clock.NowMs();
    std::int64_t elapsed = 0;
    for (;;) {
        if (host.IsRx()) {
            dialog.ShowModal();
            return;
        }
        pump.Pump(kReplyWaitMs + 1 - elapsed);
        elapsed = Elapsed(start, clock.NowMs());
        if (elapsed > kReplyWaitMs) {
            const QString target = dialog.TargetCaption();
            host.ADD_LOG(target, QString::number(host.UdpPortValue()),
                         QStringLiteral("NO RESPONSE FROM ") + target);
            return;
        }
    }
}

}  // namespace tivaro
