// A manager on two networks at once (scripts/vlan --two-segments: the default
// route on the first link, simulated modules behind both): one discovery and
// one subnet switch reach the modules of both segments, a link that is down
// or has no IPv4 address is passed over, a failure on one link does not stop
// the other, and a settings reply from another unit leaves the open setup
// dialog as it was. The real TForm1 and TForm2 run in this process.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <cstdlib>
#include <set>
#include <string>

#include "UnitMain/manager_window.h"
#include "UnitModul/setup_dialog.h"
#include "lan_support.h"
#include "manager_fakes.h"
#include "protocol/udp_endpoints.h"
#include "widgets/fonts.h"
#include "widgets/ipv4_field.h"
#include "window_driving.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

// First segment: 198.18.1.10-12 behind tv0 (the default route); second
// segment: 198.19.1.10-11 behind tv2.
const std::set<QString> kAllModules = {u"198.18.1.10"_s, u"198.18.1.11"_s, u"198.18.1.12"_s, u"198.19.1.10"_s,
                                       u"198.19.1.11"_s};

// Runs a shell command in the manager's namespace (the test's own).
bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

class LanSegments : public ::testing::Test {
protected:
    void SetUp() override {
        const auto lan = lan::CurrentLan();
        if (!lan) GTEST_SKIP() << lan::kNotInLan;
        if (lan->mod2Ns.empty())
            GTEST_SKIP() << "needs a LAN of two segments: scripts/vlan run-test --two-segments";
        ASSERT_TRUE(m_sim1.Start({"--count", "3"})) << m_sim1.Error();
        ASSERT_TRUE(m_sim2.Start({"--count", "2", "--first-address", "198.19.1.10"}, 10000, lan->mod2Ns))
            << m_sim2.Error();
        ManagerWindowSeams seams;
        seams.confirmation = &m_confirmation;
        m_form1 = std::make_unique<TForm1>(nullptr, seams);
        m_form2 = std::make_unique<TForm2>(*m_form1, m_confirmation);
        m_form1->SetSetupDialog(m_form2.get());
        m_form1->show();
        ASSERT_TRUE(m_form1->ListenerActive());
    }
    void TearDown() override { test::CloseWindows(m_form1, m_form2); }

    // The sources of the broadcasts carrying tag that a simulator took in.
    static std::vector<std::string> Broadcasts(lan::SimProcess& sim, const std::string& tag) {
        std::vector<std::string> from;
        const std::string prefix = "broadcast " + tag + " from ";
        for (const auto& line : sim.Lines())
            if (line.rfind(prefix, 0) == 0)
                from.push_back(line.substr(prefix.size(), line.find(": ") - prefix.size()));
        return from;
    }
    // Waits until the simulator has taken in n broadcasts with tag, then a
    // little longer for any that should not come.
    static std::vector<std::string> WaitForBroadcasts(lan::SimProcess& sim, const std::string& tag,
                                                      std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) sim.WaitForLine("broadcast " + tag, 2000);
        QTest::qWait(200);
        return Broadcasts(sim, tag);
    }
    static std::string Port(const std::string& endpoint) { return endpoint.substr(endpoint.find(':') + 1); }

    int Logged(const QString& message) const {
        int n = 0;
        for (int i = 0; i < m_form1->State().Log.Count(); ++i)
            n += m_form1->State().Log.At(i).Message == message;
        return n;
    }
    std::set<QString> Listed() const {
        std::set<QString> units;
        for (int i = 0; i < m_form1->State().Units.Count(); ++i)
            units.insert(m_form1->State().Units.At(i).Address);
        return units;
    }
    void Discover() {
        m_form1->JvXPButton1Click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_form1->State().Units.Count() >= 5; }, 3000))
            << m_sim1.Output() << m_sim2.Output();
        QTest::qWait(200);  // anything more would be a duplicate
    }
    // Every text field of the setup dialog, inner editors included, and the DHCP box.
    QStringList DialogFields() const {
        QStringList fields;
        for (const QLineEdit* e : m_form2->findChildren<QLineEdit*>()) fields << e->text();
        for (const QCheckBox* c : m_form2->findChildren<QCheckBox*>())
            fields << QString::number(c->checkState());
        return fields;
    }

    lan::SimProcess m_sim1;
    lan::SimProcess m_sim2;
    test::PresetConfirmation m_confirmation;
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm2> m_form2;
};

TEST_F(LanSegments, DiscoveryAndSubnetSwitchReachTheModulesOfBothSegments) {
    Discover();
    EXPECT_EQ(m_form1->State().Units.Count(), 5);  // each unit once
    EXPECT_EQ(Listed(), kAllModules);
    EXPECT_EQ(Logged(u"ONLINE"_s), 5);
    // One request per link, both from the one sender socket's port.
    const auto seen1 = WaitForBroadcasts(m_sim1, "BRCA", 1);
    const auto seen2 = WaitForBroadcasts(m_sim2, "BRCA", 1);
    ASSERT_EQ(seen1.size(), 1u) << m_sim1.Output();
    ASSERT_EQ(seen2.size(), 1u) << m_sim2.Output();
    EXPECT_EQ(seen1[0], "198.18.0.1:" + Port(seen2[0]));
    EXPECT_EQ(seen2[0].rfind("198.19.0.1:", 0), 0u) << seen2[0];

    // A click right after discovery fetches from the broadcast's source port,
    // on the second segment as on the first.
    const QString unit = u"198.19.1.11"_s;
    int row = 0;
    while (m_form1->UnitCellText(0, row) != unit) ASSERT_FALSE(m_form1->UnitCellText(0, ++row).isEmpty());
    QString shownAddress;
    test::WhenShown fetch(*m_form2, [&] {
        shownAddress = m_form2->findChild<Ipv4Field*>(u"IP_ADDRESS"_s)->text();
        m_form2->JvXPButton1Click();  // Cancel, confirmed
    });
    ASSERT_TRUE(test::ReleaseOverCell(*m_form1->findChild<QTableView*>(u"Unit_Grid"_s), 0, row));
    ASSERT_TRUE(fetch.Shown());
    EXPECT_EQ(shownAddress, unit);
    std::string line;
    ASSERT_TRUE(m_sim2.WaitForLine(" GET from ", 1000, &line)) << m_sim2.Output();
    EXPECT_NE(line.find("198.19.0.1:" + Port(seen2[0])), std::string::npos) << line;

    m_form1->State().SpinEdit3.SetText(u"198"_s);
    m_form1->State().SpinEdit4.SetText(u"19"_s);
    m_form1->State().SpinEdit5.SetText(u"7"_s);
    m_form1->JvXPButton8Click();
    EXPECT_EQ(WaitForBroadcasts(m_sim1, "BRCX", 1).size(), 1u) << m_sim1.Output();
    EXPECT_EQ(WaitForBroadcasts(m_sim2, "BRCX", 1).size(), 1u) << m_sim2.Output();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Logged(u"SWITCH TO 198.19.7.XXX"_s) >= 5; }, 3000));
    EXPECT_EQ(Logged(u"SET ALL TO 198.19.7.XXX"_s), 1);
}

// The first segment is then the only way out: one datagram per command, on
// it, and no error for the links passed over.
TEST_F(LanSegments, DownLinkAndLinkWithoutIpv4AreSkippedWithoutError) {
    ASSERT_TRUE(Shell("ip link set tv2 down"));
    ASSERT_TRUE(
        Shell("ip link add tvn0 type veth peer name tvn1 && ip link set tvn0 up && ip link set tvn1 up"));
    UdpSender sender;
    EXPECT_NO_THROW(sender.Send("255.255.255.255", kDeviceCommandPort, BuildDiscoveryRequest()));
    EXPECT_NO_THROW(sender.Send("255.255.255.255", kDeviceCommandPort, BuildSubnetSwitchRequest(10, 1, 2)));
    EXPECT_EQ(WaitForBroadcasts(m_sim1, "BRCA", 1).size(), 1u) << m_sim1.Output();
    EXPECT_EQ(WaitForBroadcasts(m_sim1, "BRCX", 1).size(), 1u) << m_sim1.Output();
    EXPECT_TRUE(Broadcasts(m_sim2, "BRCA").empty()) << m_sim2.Output();
    EXPECT_TRUE(Broadcasts(m_sim2, "BRCX").empty()) << m_sim2.Output();
    Shell("ip link del tvn0");
    ASSERT_TRUE(Shell("ip link set tv2 up && ip route replace 198.19.1.0/24 via 198.19.0.2 dev tv2"));

    // The links are read at each broadcast: the one back up counts at once.
    EXPECT_NO_THROW(sender.Send("255.255.255.255", kDeviceCommandPort, BuildDiscoveryRequest()));
    EXPECT_EQ(WaitForBroadcasts(m_sim2, "BRCA", 1).size(), 1u) << m_sim2.Output();
    EXPECT_EQ(Broadcasts(m_sim1, "BRCA").size(), 2u) << m_sim1.Output();
}

// A firewall that drops what leaves through one link makes that send fail
// (EPERM); the other link still gets the datagram. Only when every link
// fails is the (first) error raised.
TEST_F(LanSegments, FailureOnOneLinkSparesTheOtherAndOnAllLinksIsRaised) {
    if (!Shell("command -v nft >/dev/null")) GTEST_SKIP() << "nft (nftables) is not installed";
    ASSERT_TRUE(
        Shell("nft add table ip tivaro_test && "
              "nft add chain ip tivaro_test out '{ type filter hook output priority 0; }' && "
              "nft add rule ip tivaro_test out oifname tv0 drop"));
    // tv0 is listed first and holds the default route.
    UdpSender sender;
    EXPECT_NO_THROW(sender.Send("255.255.255.255", kDeviceCommandPort, BuildDiscoveryRequest()));
    EXPECT_EQ(WaitForBroadcasts(m_sim2, "BRCA", 1).size(), 1u) << m_sim2.Output();
    EXPECT_TRUE(Broadcasts(m_sim1, "BRCA").empty()) << m_sim1.Output();

    ASSERT_TRUE(Shell("nft add rule ip tivaro_test out oifname tv2 drop"));
    try {
        sender.Send("255.255.255.255", kDeviceCommandPort, BuildDiscoveryRequest());
        ADD_FAILURE() << "a send that failed on every link raised nothing";
    } catch (const NetworkError& e) {
        EXPECT_EQ(e.code(), EPERM);
        EXPECT_EQ(std::string(e.what()), SocketErrorMessage(EPERM));
    }
    Shell("nft delete table ip tivaro_test");
    EXPECT_EQ(Broadcasts(m_sim2, "BRCA").size(), 1u) << m_sim2.Output();
}

// The dialog shows 198.18.1.10; 198.18.1.11 answers a request it did not get
// from the fetch. Its reply is logged but must not replace what "Save +
// Close" would write into 198.18.1.10.
TEST_F(LanSegments, SettingsReplyFromAnotherUnitLeavesTheOpenDialogUnchanged) {
    Discover();
    int row = 0;
    while (m_form1->UnitCellText(0, row) != u"198.18.1.10"_s)
        ASSERT_FALSE(m_form1->UnitCellText(0, ++row).isEmpty());
    QStringList before, after;
    bool spoofLogged = false;
    test::WhenShown spoof(*m_form2, [&] {
        before = DialogFields();
        UdpSender other;
        other.Send("198.18.1.11", kDeviceCommandPort, BuildSettingsRequest());
        spoofLogged = QTest::qWaitFor(
            [&] {
                const auto& log = m_form1->State().Log;
                return log.Count() > 0 && log.At(log.Count() - 1).UnitIP == u"198.18.1.11"_s &&
                       log.At(log.Count() - 1).Message == u"GET SETINGS"_s;
            },
            2000);
        after = DialogFields();
        m_form2->JvXPButton1Click();  // Cancel, confirmed
    });
    ASSERT_TRUE(test::ReleaseOverCell(*m_form1->findChild<QTableView*>(u"Unit_Grid"_s), 0, row));
    ASSERT_TRUE(spoof.Shown());
    ASSERT_TRUE(spoofLogged) << m_sim1.Output();
    EXPECT_TRUE(before.contains(u"modul10"_s)) << before.join(u"|"_s).toStdString();
    EXPECT_EQ(after, before);
}

}  // namespace

int main(int argc, char** argv) { return tivaro::test::RunWindowTests(argc, argv); }
