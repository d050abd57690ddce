// The real manager window on a virtual LAN: its own sender, listener on 22223
// and event loop on the manager side, tivaro-sim's modules on the other side.
// Discovery lists every module once, the subnet switch reaches every module
// and each reply is logged, and a click on a unit fetches its settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <set>

#include "UnitMain/manager_window.h"
#include "lan_support.h"
#include "manager_fakes.h"
#include "widgets/fonts.h"
#include "window_driving.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

constexpr int kModules = 8;

QString moduleIp(int i) { return QStringLiteral("198.18.1.%1").arg(10 + i); }

class LanManager : public ::testing::Test {
protected:
    void SetUp() override {
        if (!tivaro::lan::CurrentLan()) GTEST_SKIP() << tivaro::lan::kNotInLan;
        ASSERT_TRUE(m_sim.Start({"--count", std::to_string(kModules)})) << m_sim.Error();
        tivaro::ManagerWindowSeams seams;
        seams.confirmation = &m_confirmation;
        m_form = std::make_unique<TForm1>(nullptr, seams);
        m_form->SetSetupDialog(&m_dialog);
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
        ASSERT_TRUE(m_form->ListenerActive());
    }
    void TearDown() override {
        if (m_form) m_form->Shutdown();
        m_form.reset();
        m_sim.Stop(2000);
    }

    void click(const char* button) { m_form->findChild<QPushButton*>(QString::fromUtf8(button))->click(); }

    // Log entries with this message, as (unit IP, port) pairs.
    std::vector<std::pair<QString, QString>> logged(const QString& message) const {
        std::vector<std::pair<QString, QString>> out;
        const ManagerWindowState& s = m_form->State();
        for (int i = 0; i < s.Log.Count(); ++i)
            if (s.Log.At(i).Message == message) out.emplace_back(s.Log.At(i).UnitIP, s.Log.At(i).Port);
        return out;
    }

    void discover() {
        click("JvXPButton1");
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_form->State().Units.Count() >= kModules; }, 5000))
            << "units listed: " << m_form->State().Units.Count() << "\n"
            << m_sim.Output();
        QTest::qWait(200);  // anything more would be a duplicate
    }

    tivaro::lan::SimProcess m_sim;
    tivaro::test::PresetConfirmation m_confirmation;
    tivaro::test::RecordingDialog m_dialog;
    std::unique_ptr<TForm1> m_form;
};

TEST_F(LanManager, OneBroadcastListsEveryModuleOnceAndLogsItOnline) {
    discover();
    const ManagerWindowState& s = m_form->State();
    ASSERT_EQ(s.Units.Count(), kModules);
    std::set<QString> listed;
    for (int i = 0; i < kModules; ++i) {
        listed.insert(s.Units.At(i).Address);
        EXPECT_EQ(s.Units.At(i).DstPort, u"22223"_s);
        bool portOk = false;
        EXPECT_GT(s.Units.At(i).SrcPort.toInt(&portOk), 0);
        EXPECT_TRUE(portOk);
    }
    std::set<QString> expected;
    for (int i = 0; i < kModules; ++i) expected.insert(moduleIp(i));
    EXPECT_EQ(listed, expected);
    const auto online = logged(u"ONLINE"_s);
    EXPECT_EQ(online.size(), std::size_t(kModules));
    for (const auto& [ip, port] : online) {
        EXPECT_TRUE(expected.count(ip)) << ip.toStdString();
        EXPECT_EQ(port, u"22223"_s);
    }
    // The newest unit's row is selected in the unit view and grdRec names it.
    EXPECT_EQ(m_form->grdRec(), (tivaro::TGridRect{0, kModules - 1, 2, kModules - 1}));

    // A second broadcast starts the list afresh and finds the same modules.
    discover();
    EXPECT_EQ(s.Units.Count(), kModules);
    EXPECT_EQ(logged(u"ONLINE"_s).size(), std::size_t(2 * kModules));

    if (const QByteArray shot = qgetenv("TIVARO_SCREENSHOT"); !shot.isEmpty())
        m_form->grab().save(QString::fromLocal8Bit(shot));
}

TEST_F(LanManager, SubnetSwitchReachesEveryModuleAndEachReplyIsLogged) {
    discover();
    m_form->State().SpinEdit3.SetText(u"198"_s);
    m_form->State().SpinEdit4.SetText(u"19"_s);
    m_form->State().SpinEdit5.SetText(u"7"_s);
    click("JvXPButton8");
    ASSERT_EQ(m_confirmation.questions.size(), 1);
    EXPECT_EQ(m_confirmation.questions[0], u"All Units in same Subnet 198.19.7.XXX ?"_s);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return logged(u"SWITCH TO 198.19.7.XXX"_s).size() >= std::size_t(kModules); }, 5000))
        << m_sim.Output();
    QTest::qWait(200);
    EXPECT_EQ(logged(u"SET ALL TO 198.19.7.XXX"_s),
              (std::vector<std::pair<QString, QString>>{{u"localhost"_s, u"22222"_s}}));
    std::set<QString> answered;
    for (const auto& [ip, port] : logged(u"SWITCH TO 198.19.7.XXX"_s)) {
        answered.insert(ip);
        EXPECT_EQ(port, u"22223"_s);
    }
    EXPECT_EQ(answered.size(), std::size_t(kModules));
    EXPECT_EQ(m_form->State().Units.Count(), 0);  // replies to the switch list no units
    for (int i = 0; i < kModules; ++i)
        EXPECT_TRUE(m_sim.WaitForLine("segment 198.19.7", 100)) << "module " << i << "\n" << m_sim.Output();
    // One link: each command sent its request exactly once.
    int discoveries = 0, switches = 0;
    for (const auto& line : m_sim.Lines()) {
        discoveries += line.rfind("broadcast BRCA from ", 0) == 0;
        switches += line.rfind("broadcast BRCX from ", 0) == 0;
    }
    EXPECT_EQ(discoveries, 1) << m_sim.Output();
    EXPECT_EQ(switches, 1) << m_sim.Output();
}

TEST_F(LanManager, ReleaseOverAUnitFetchesItsSettingsIntoTheDialog) {
    discover();
    auto* units = m_form->findChild<QWidget*>(u"Unit_Grid"_s);
    // Row 2, column 0: the pointer lands in the viewport's coordinates.
    m_form->Unit_GridMouseUp(QPoint(20, 2 * 16 + 8));
    Q_UNUSED(units);
    ASSERT_EQ(m_dialog.replies.size(), std::size_t(1)) << m_sim.Output();
    const auto settings = tivaro::ParseSettingsReply(m_dialog.replies[0]);
    ASSERT_TRUE(settings.has_value());
    const QString target = m_form->State().Units.At(2).Address;
    EXPECT_EQ(QString::fromStdString(tivaro::FormatIpv4(settings->IP_ADDRESS)), target);
    EXPECT_EQ(m_dialog.TargetCaption(), target);
    EXPECT_EQ(m_form->UdpPortValue(), m_form->State().Units.At(2).SrcPort.toInt());
    EXPECT_EQ(logged(u"GET SETINGS"_s), (std::vector<std::pair<QString, QString>>{{target, u"22223"_s}}));
    EXPECT_TRUE(logged(QStringLiteral("NO RESPONSE FROM ") + target).empty());
}

}  // namespace

int main(int argc, char** argv) { return tivaro::test::RunWindowTests(argc, argv); }
