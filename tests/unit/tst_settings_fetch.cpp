#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <vector>

#include "core/numeric_value.h"
#include "core/settings_fetch.h"
#include "protocol/udp_endpoints.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

using tivaro::Bytes;

struct Sent {
    std::string host;
    std::uint16_t port;
    Bytes bytes;
    bool isRxAtSend;
};

struct LogRow {
    QString ip, port, message;
    bool operator==(const LogRow& o) const { return ip == o.ip && port == o.port && message == o.message; }
};
void PrintTo(const LogRow& r, std::ostream* os) {
    *os << "{" << r.ip.toStdString() << ", " << r.port.toStdString() << ", " << r.message.toStdString()
        << "}";
}

class FakeHost;

// Records every datagram; can be told to fail like a socket error.
class RecordingSender final : public tivaro::DatagramSender {
public:
    explicit RecordingSender(const FakeHost& host) : m_host(host) {}
    void Send(const std::string& host, std::uint16_t port, const Bytes& bytes) override;
    void Close() override { ++closes; }
    std::vector<Sent> sent;
    int closes = 0;
    bool fail = false;

private:
    const FakeHost& m_host;
};

// The manager window as the fetch sees it: a unit list of rows, UDP_PORT, is_rx, a log.
class FakeHost final : public FetchHost {
public:
    std::vector<std::array<QString, 3>> rows;
    std::int32_t udpPort = -7;
    bool isRx = false;
    bool fetchRunning = false;
    RecordingSender sender{*this};
    std::vector<LogRow> log;

    QString UnitCellText(int col, int row) const override {
        if (row < 0 || col < 0 || col > 2 || row >= static_cast<int>(rows.size())) return {};
        return rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
    }
    void SetUdpPort(std::int32_t port) override { udpPort = port; }
    std::int32_t UdpPortValue() const override { return udpPort; }
    bool IsRx() const override { return isRx; }
    void SetIsRx(bool value) override { isRx = value; }
    bool FetchRunning() const override { return fetchRunning; }
    void SetFetchRunning(bool value) override { fetchRunning = value; }
    tivaro::DatagramSender& Sender() override { return sender; }
    void ADD_LOG(const QString& ip, const QString& port, const QString& message) override {
        log.push_back({ip, port, message});
    }
};

void RecordingSender::Send(const std::string& host, std::uint16_t port, const Bytes& bytes) {
    if (fail) throw tivaro::NetworkError("Socket-Fehler # 101\r\nNetzwerk ist nicht erreichbar.", 101);
    sent.push_back({host, port, bytes, m_host.IsRx()});
}

class FakeDialog final : public SetupDialogPort {
public:
    int presets = 0;
    QString caption = QStringLiteral("1.1.1.1");
    int shown = 0;
    void PresetAddresses() override { ++presets; }
    void SetTargetCaption(const QString& c) override { caption = c; }
    QString TargetCaption() const override { return caption; }
    void HandleSettingsReply(const Bytes&) override {}
    void ShowModal() override { ++shown; }
};

class FakeClock final : public MonotonicClock {
public:
    std::int64_t now = 0;
    std::int64_t NowMs() const override { return now; }
};

// Runs a script for every pass: pass number (from 1) and the time the pass may block.
class ScriptedPump final : public EventPump {
public:
    std::function<void(int pass, std::int64_t remainingMs)> script;
    std::vector<std::int64_t> remaining;
    void Pump(std::int64_t remainingMs) override {
        remaining.push_back(remainingMs);
        if (script) script(static_cast<int>(remaining.size()), remainingMs);
        ASSERT_LT(remaining.size(), 10000u) << "the wait does not end";
    }
};

class SettingsFetch : public ::testing::Test {
protected:
    void SetUp() override {
        host.rows = {{u"198.18.0.5"_s, u"22222"_s, u"22223"_s},
                     {u"198.18.0.6"_s, u"40001"_s, u"22223"_s},
                     {u""_s, u""_s, u""_s}};
    }
    void Run(int col, int row) { RunSettingsFetch(host, dialog, pump, clock, col, row); }
    // A silent unit: every pass takes stepMs.
    void Silent(std::int64_t stepMs) {
        pump.script = [this, stepMs](int, std::int64_t) { clock.now += stepMs; };
    }

    FakeHost host;
    FakeDialog dialog;
    ScriptedPump pump;
    FakeClock clock;
};

TEST_F(SettingsFetch, ClicksOutsideOrOnABlankCellDoNothing) {
    const std::pair<int, int> clicks[] = {{-1, -1}, {0, -1}, {0, 2}, {2, 2}, {3, 0}, {0, 3}};
    for (const auto& [col, row] : clicks) {
        SCOPED_TRACE(testing::Message() << "col " << col << " row " << row);
        Run(col, row);
    }
    EXPECT_EQ(dialog.presets, 0);
    EXPECT_EQ(dialog.caption, u"1.1.1.1"_s);
    EXPECT_EQ(host.udpPort, -7);
    EXPECT_TRUE(host.sender.sent.empty());
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(pump.remaining.empty());
}

TEST_F(SettingsFetch, SilentUnitLogsNoResponseAfterMoreThan1000Ms) {
    host.isRx = true;  // left over from an earlier datagram: the fetch clears it before sending
    clock.now = 5000;
    Silent(250);
    Run(2, 1);  // any column of the row fetches that row's unit

    ASSERT_EQ(host.sender.sent.size(), 1u);
    const Sent& s = host.sender.sent[0];
    EXPECT_EQ(s.host, "198.18.0.6");
    EXPECT_EQ(s.port, 40001);
    EXPECT_EQ(s.bytes, (Bytes{'G', 'E', 'T'}));
    EXPECT_FALSE(s.isRxAtSend);
    EXPECT_EQ(host.sender.closes, 0);  // the fetch sends on the sender as it is

    EXPECT_EQ(dialog.presets, 1);
    EXPECT_EQ(dialog.caption, u"198.18.0.6"_s);
    EXPECT_EQ(host.udpPort, 40001);
    EXPECT_EQ(dialog.shown, 0);
    // 250, 500, 750, 1000 are not yet "more than 1000"; 1250 is.
    EXPECT_EQ(pump.remaining, (std::vector<std::int64_t>{1001, 751, 501, 251, 1}));
    EXPECT_EQ(host.log,
              (std::vector<LogRow>{{u"198.18.0.6"_s, u"40001"_s, u"NO RESPONSE FROM 198.18.0.6"_s}}));
}

TEST_F(SettingsFetch, DatagramDuringTheWaitShowsTheDialogOnce) {
    pump.script = [this](int pass, std::int64_t) {
        clock.now += 100;
        if (pass == 3) host.isRx = true;
    };
    Run(0, 0);
    EXPECT_EQ(dialog.shown, 1);
    EXPECT_EQ(pump.remaining.size(), 3u);  // the flag is seen at the top of the next pass
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(host.isRx);  // left as the dispatcher set it
}

TEST_F(SettingsFetch, DatagramInThePassThatRunsOutStillLogsNoResponse) {
    pump.script = [this](int pass, std::int64_t) {
        clock.now += pass == 1 ? 1000 : 1;
        if (pass == 2) host.isRx = true;  // dispatched, but the clock is read after it
    };
    Run(0, 0);
    EXPECT_EQ(dialog.shown, 0);
    EXPECT_EQ(host.log,
              (std::vector<LogRow>{{u"198.18.0.5"_s, u"22222"_s, u"NO RESPONSE FROM 198.18.0.5"_s}}));
}

TEST_F(SettingsFetch, WaitLastsOver1000MsAcrossAClockWrap) {
    const std::int64_t starts[] = {std::numeric_limits<std::int64_t>::max() - 300, -1, 0};
    for (std::int64_t start : starts) {
        SCOPED_TRACE(start);
        host.log.clear();
        pump.remaining.clear();
        clock.now = start;
        pump.script = [this](int, std::int64_t) {
            clock.now = static_cast<std::int64_t>(static_cast<std::uint64_t>(clock.now) + 200u);
        };
        Run(0, 0);
        EXPECT_EQ(pump.remaining.size(), 6u);  // 200 .. 1000 wait on, 1200 ends
        EXPECT_EQ(host.log.size(), 1u);
    }
}

TEST_F(SettingsFetch, NonNumericPortRaisesAfterPresetsAndCaption) {
    host.rows[0][1] = u"22x"_s;
    try {
        Run(0, 0);
        FAIL() << "no conversion error";
    } catch (const tivaro::ConvertError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), QString::fromUtf8("''22x'' ist kein gültiger Integer-Wert"));
    }
    EXPECT_EQ(dialog.presets, 1);
    EXPECT_EQ(dialog.caption, u"198.18.0.5"_s);
    EXPECT_EQ(host.udpPort, -7);
    EXPECT_TRUE(host.sender.sent.empty());
    EXPECT_TRUE(host.log.empty());
}

TEST_F(SettingsFetch, FailedSendEndsBeforeTheWait) {
    host.sender.fail = true;
    EXPECT_THROW(Run(0, 0), tivaro::NetworkError);
    EXPECT_EQ(host.udpPort, 22222);
    EXPECT_EQ(dialog.caption, u"198.18.0.5"_s);
    EXPECT_TRUE(pump.remaining.empty());
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(dialog.shown, 0);

    // The fetch is not left marked as running: the next click fetches.
    host.sender.fail = false;
    Silent(600);
    Run(0, 1);
    EXPECT_EQ(host.sender.sent.size(), 1u);
}

TEST_F(SettingsFetch, PortThatNamesNoUdpPortIsRefusedUnsent) {
    // Hexadecimal reads as the number rule allows; a value beyond 16 bits is
    // not sent to its low bits.
    const std::pair<QString, std::int32_t> cases[] = {{u"70000"_s, 70000}, {u"-1"_s, -1}};
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE(text.toStdString());
        host.rows[0][1] = text;
        EXPECT_THROW(Run(0, 0), tivaro::NetworkError);
        EXPECT_EQ(host.udpPort, value);
        EXPECT_TRUE(host.sender.sent.empty());
    }
    host.rows[0][1] = u"$5BCF"_s;
    Silent(600);
    Run(0, 0);
    ASSERT_EQ(host.sender.sent.size(), 1u);
    EXPECT_EQ(host.sender.sent[0].port, 0x5BCF);
}

TEST_F(SettingsFetch, AddressPieces) {
    // Five pieces: the caption takes the first four. Fewer than four (a unit
    // that answered over IPv6): the click is refused with a log entry and
    // nothing is preset or sent.
    host.rows[0][0] = u"198.18.0.5.9"_s;
    Silent(600);
    Run(0, 0);
    EXPECT_EQ(dialog.caption, u"198.18.0.5"_s);
    ASSERT_EQ(host.sender.sent.size(), 1u);
    EXPECT_EQ(host.sender.sent[0].host, "198.18.0.5");

    const QString refused[] = {u"FE80:0:0:0:20C:29FF:FE12:3456"_s, u"1.2.3"_s, u"1.2.3."_s};
    for (const QString& address : refused) {
        SCOPED_TRACE(address.toStdString());
        host.log.clear();
        dialog = FakeDialog{};
        host.rows[0][0] = address;
        Run(1, 0);
        EXPECT_EQ(host.log, (std::vector<LogRow>{{address, u"22222"_s, u"NO IPV4 ADDRESS"_s}}));
        EXPECT_EQ(dialog.presets, 0);
        EXPECT_EQ(dialog.caption, u"1.1.1.1"_s);
        EXPECT_EQ(host.sender.sent.size(), 1u);
    }
}

TEST_F(SettingsFetch, ClickDuringTheWaitIsIgnored) {
    pump.script = [this](int pass, std::int64_t) {
        clock.now += 300;
        if (pass == 1) Run(0, 1);  // the user clicks another unit while the first waits
    };
    Run(0, 0);
    ASSERT_EQ(host.sender.sent.size(), 1u);
    EXPECT_EQ(host.sender.sent[0].host, "198.18.0.5");
    EXPECT_EQ(dialog.caption, u"198.18.0.5"_s);
    EXPECT_EQ(dialog.presets, 1);
    EXPECT_EQ(host.log,
              (std::vector<LogRow>{{u"198.18.0.5"_s, u"22222"_s, u"NO RESPONSE FROM 198.18.0.5"_s}}));
    EXPECT_FALSE(host.fetchRunning);

    // After the wait, a click fetches again.
    pump.script = [this](int, std::int64_t) { host.isRx = true; };
    Run(0, 1);
    EXPECT_EQ(host.sender.sent.size(), 2u);
    EXPECT_EQ(dialog.shown, 1);
}

}  // namespace
