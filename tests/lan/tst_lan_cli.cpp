// The command-line tool end to end on a virtual LAN: the real `tivaro` program
// on the manager side, tivaro-sim on the module side with its hex trace, and
// for `set` the real setup dialog fed the same reply, so that the two writes
// can be compared byte for byte.
#include <gtest/gtest.h>

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTemporaryDir>
#include <fstream>

#include "UnitModul/setup_dialog.h"
#include "cli_run.h"
#include "core/module_host.h"
#include "lan_support.h"
#include "manager_fakes.h"
#include "protocol/udp_endpoints.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

using test::CliRun;
using test::Tivaro;

// The hex of every datagram in the trace whose line starts with `direction`
// ("in " or "out") and names `endpoint`, in trace order.
std::vector<std::string> TracedHex(const std::vector<std::string>& lines, const std::string& direction,
                                   const std::string& endpoint, const std::string& tagHex) {
    std::vector<std::string> out;
    for (const std::string& l : lines) {
        const auto at = l.find("bytes) ");
        if (l.rfind(direction, 0) != 0 || l.find(endpoint) == std::string::npos || at == std::string::npos)
            continue;
        const std::string hex = l.substr(at + 7);
        if (hex.rfind(tagHex, 0) == 0) out.push_back(hex);
    }
    return out;
}

Bytes FromHex(const std::string& hex) {
    Bytes b;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 3)
        b.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

// The write the real dialog sends after being filled from `reply` and given
// the server text `server` (when not null) by the user.
std::string DialogWrite(const Bytes& reply, const QString& server = {}) {
    test::RecordingHost host;
    test::PresetConfirmation confirmation;
    TForm2 dialog(host, confirmation);
    dialog.SetTargetCaption(QString::fromUtf8(lan::kFirstModuleIp));
    dialog.HandleSettingsReply(reply);
    if (!server.isNull()) dialog.findChild<QLineEdit*>(u"MYSQL_URL"_s)->setText(server);
    dialog.JvXPButton3Click();
    return host.sender.sent.size() == 1 ? HexDump(host.sender.sent[0].bytes) : std::string("no write");
}

class LanCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!lan::CurrentLan()) GTEST_SKIP() << lan::kNotInLan;
        ASSERT_TRUE(m_sim.Start({"--count", "3", "--verbose"})) << m_sim.Error();  // .10, .11, .12
    }
    // Everything the simulator has traced up to now: a unicast to a module is
    // traced after every datagram that reached the simulator before it.
    const std::vector<std::string>& TraceSoFar() {
        EXPECT_EQ(Tivaro({u"my2"_s, QString::fromUtf8(lan::kFirstModuleIp)}).code, 0);
        EXPECT_TRUE(m_sim.WaitForLine("MY2 INSERT", 5000)) << m_sim.Output();
        return m_sim.Lines();
    }

    lan::SimProcess m_sim;
};

TEST_F(LanCli, DiscoverListsEachSimulatedUnitOnce) {
    const CliRun r = Tivaro({u"discover"_s, u"--json"_s, u"--wait"_s, u"1500"_s});
    ASSERT_EQ(r.code, 0) << r.Describe();
    const QJsonArray units = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    QStringList ips;
    for (const auto& u : units) {
        EXPECT_EQ(u.toObject().value(u"port"_s).toInt(), 22222) << r.out;
        ips << u.toObject().value(u"ip"_s).toString();
    }
    ips.sort();
    EXPECT_EQ(ips, QStringList({u"198.18.1.10"_s, u"198.18.1.11"_s, u"198.18.1.12"_s})) << r.out;
}

TEST_F(LanCli, GetOfASilentUnitExitsOne) {
    lan::SimProcess silent;
    ASSERT_TRUE(silent.Start({"--first-address", "198.18.1.20", "--silent"})) << silent.Error();
    const CliRun r = Tivaro({u"get"_s, u"198.18.1.20"_s, u"--wait"_s, u"300"_s});
    EXPECT_EQ(r.code, 1) << r.Describe();
    EXPECT_TRUE(r.out.empty()) << r.Describe();
    EXPECT_NE(r.err.find("198.18.1.20 did not answer"), std::string::npos) << r.Describe();
    EXPECT_TRUE(silent.WaitForLine(" GET from ", 2000)) << silent.Output();
}

TEST_F(LanCli, SetSendsTheDialogsWriteForTheSameReply) {
    // Values the dialog does not take as they come: ports below its ranges and
    // texts with blanks, written straight into the simulated module.
    ModuleSettings odd;
    odd.IP_ADDRESS = {198, 18, 1, 10};
    odd.MASK_ADDRESS = {255, 255, 0, 0};
    odd.GW_ADDRESS = {198, 18, 1, 1};
    odd.PORT_TX = 4000;
    odd.PORT_RX = 22222;
    odd.MYSQL_PORT = 0;
    odd.MYSQL_URL = u"db host";
    odd.MYSQL_User = std::u16string(40, u'u');
    odd.MYSQL_Pass = u"p w";
    UdpSender raw;
    raw.Send(lan::kFirstModuleIp, kDeviceCommandPort, BuildSettingsWrite(odd));
    ASSERT_TRUE(m_sim.WaitForLine(" SET from ", 2000)) << m_sim.Output();

    struct Case {
        QStringList edits;
        QString server;  // what the user types into MYSQL_URL, null for nothing
    };
    for (const Case& c :
         {Case{{}, QString()}, Case{{u"--mysql-server"_s, u"  new host "_s}, u"  new host "_s}}) {
        SCOPED_TRACE(c.edits.join(u' ').toStdString());
        const std::size_t before = m_sim.Lines().size();
        const CliRun r = Tivaro(QStringList{u"set"_s, QString::fromUtf8(lan::kFirstModuleIp)} + c.edits);
        ASSERT_EQ(r.code, 0) << r.Describe();
        const std::vector<std::string> trace(m_sim.Lines().begin() + static_cast<long>(before),
                                             TraceSoFar().end());
        const auto replies = TracedHex(trace, "out", "198.18.1.10:22222 > ", "47 45 54");
        const auto writes = TracedHex(trace, "in ", "> 198.18.1.10:22222", "53 45 54");
        ASSERT_EQ(replies.size(), 1u) << m_sim.Output();
        ASSERT_EQ(writes.size(), 1u) << m_sim.Output();
        EXPECT_EQ(writes[0], DialogWrite(FromHex(replies[0]), c.server));
        // The dialog's clamps and trims did their part: 5000, 1000, no blank inside a text.
        const auto written = ParseSettingsReply(FromHex("47 45 54" + writes[0].substr(8)));
        ASSERT_TRUE(written);
        EXPECT_EQ(written->PORT_TX, 5000);
        EXPECT_EQ(written->MYSQL_PORT, 1000);
        EXPECT_EQ(written->MYSQL_User, std::u16string(40, u'u'));
    }
}

TEST_F(LanCli, FromFileGoesOnAfterABadRowAndExitsFive) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(u"units.csv"_s).toStdString();
    std::ofstream(path)
        << "target,ip,mask,gateway,port_tx,port_rx,mysql_server,mysql_port,mysql_user,mysql_password\n"
           "198.18.1.10,,,,,,db10,,,\n"
           "198.18.1.11,,,,70000,,,,,\n"
           "198.18.1.12,,,,,,,3307,\"a,b\",\n";
    const CliRun r = Tivaro({u"set"_s, u"--from"_s, QString::fromStdString(path)});
    EXPECT_EQ(r.code, 5) << r.Describe();
    EXPECT_NE(r.out.find("line 3 198.18.1.11: invalid: port_tx: 70000 is out of range"), std::string::npos)
        << r.Describe();
    const auto& trace = TraceSoFar();
    std::vector<std::string> sets;
    for (const auto& l : trace)
        if (l.find(" SET from ") != std::string::npos) sets.push_back(l);
    ASSERT_EQ(sets.size(), 2u) << m_sim.Output();
    EXPECT_NE(sets[0].find("198.18.1.10 SET"), std::string::npos) << sets[0];
    EXPECT_NE(sets[0].find("after ip=198.18.1.10 "), std::string::npos) << sets[0];
    EXPECT_NE(sets[0].find("@db10:3306"), std::string::npos) << sets[0];
    EXPECT_NE(sets[1].find("198.18.1.12 SET"), std::string::npos) << sets[1];
    EXPECT_NE(sets[1].find("mysql=a,b:tivaro12@198.18.1.1:3307"), std::string::npos) << sets[1];
}

TEST_F(LanCli, SwitchWithoutTerminalOrYesSendsNothing) {
    const CliRun r = Tivaro({u"switch"_s, u"10.1.2"_s});
    EXPECT_EQ(r.code, 2) << r.Describe();
    EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.Describe();
    for (const auto& l : TraceSoFar()) EXPECT_EQ(l.find("BRCX"), std::string::npos) << m_sim.Output();
}

TEST_F(LanCli, PortTakenExitsThreeWithTheMessage) {
    UdpListener manager([](DatagramEvent&&) {});
    manager.Start();
    for (const QStringList& args :
         {QStringList{u"discover"_s}, QStringList{u"get"_s, QString::fromUtf8(lan::kFirstModuleIp)}}) {
        const CliRun r = Tivaro(args);
        EXPECT_EQ(r.code, 3) << r.Describe();
        EXPECT_EQ(r.err, "port 22223 is in use by another program; is tivaro-manager running?\n")
            << r.Describe();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
