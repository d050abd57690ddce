// The settings fetch end to end on a virtual LAN, with the real windows in
// this process: TForm1 discovers simulated modules (tivaro-sim on the module
// side), a mouse release on Unit_Grid fetches one, the modal TForm2 shows its
// settings and writes the edited ones back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>

#include "UnitMain/manager_window.h"
#include "UnitMain/unit_discovery.h"
#include "UnitModul/limited_line_edit.h"
#include "UnitModul/setup_dialog.h"
#include "lan_support.h"
#include "manager_fakes.h"
#include "protocol/udp_endpoints.h"
#include "widgets/fonts.h"
#include "widgets/ipv4_field.h"
#include "widgets/numeric_field.h"
#include "window_driving.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

using test::PresetConfirmation;
using test::WhenShown;

class LanFetch : public ::testing::Test {
protected:
    void SetUp() override {
        if (!lan::CurrentLan()) GTEST_SKIP() << lan::kNotInLan;
        ASSERT_TRUE(m_sim.Start({"--count", "2"})) << m_sim.Error();  // 198.18.1.10 and .11
        ASSERT_TRUE(m_silent.Start({"--first-address", "198.18.1.20", "--silent"})) << m_silent.Error();
        m_form1 = std::make_unique<TForm1>();
        m_form2 = std::make_unique<TForm2>(*m_form1, m_confirmation);
        m_form1->SetSetupDialog(m_form2.get());
        m_form1->show();
        ASSERT_TRUE(m_form1->ListenerActive());
        m_grid = m_form1->findChild<QTableView*>(u"Unit_Grid"_s);
        ASSERT_TRUE(m_grid);
    }
    void TearDown() override { test::CloseWindows(m_form1, m_form2); }

    template <typename T>
    T* Field(const char* name) {
        return m_form2->findChild<T*>(QString::fromLatin1(name));
    }
    int RowOf(const QString& address) {
        for (int row = 0; !m_form1->UnitCellText(0, row).isEmpty(); ++row)
            if (m_form1->UnitCellText(0, row) == address) return row;
        return -1;
    }
    void Discover(int units) {
        m_form1->JvXPButton1Click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_form1->UnitCellText(0, units - 1).isEmpty(); }, 3000));
    }
    void Release(int col, int row, Qt::MouseButton button = Qt::LeftButton) {
        ASSERT_TRUE(test::ReleaseOverCell(*m_grid, col, row, button));
    }
    QStringList LogMessages() {
        QStringList out;
        for (int row = 0; !m_form1->State().LogCell(3, row).isEmpty(); ++row)
            out << m_form1->State().LogCell(1, row) + u"|"_s + m_form1->State().LogCell(2, row) + u"|"_s +
                       m_form1->State().LogCell(3, row);
        return out;
    }

    lan::SimProcess m_sim;
    lan::SimProcess m_silent;
    PresetConfirmation m_confirmation;
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm2> m_form2;
    QTableView* m_grid = nullptr;
};

TEST_F(LanFetch, FetchEditSaveAndReadBack) {
    Discover(2);
    const int row = RowOf(u"198.18.1.11"_s);
    ASSERT_GE(row, 0);

    // Right button, on the port column: fetches the row's unit all the same.
    QString shownUser, shownServer, shownAddress, shownPort;
    WhenShown edit(*m_form2, [&] {
        shownAddress = Field<Ipv4Field>("IP_ADDRESS")->text();
        shownServer = Field<QLineEdit>("MYSQL_URL")->text();
        shownUser = Field<QLineEdit>("MYSQL_User")->text();
        shownPort = Field<NumericField>("MYSQL_PORT")->Model().Text();
        // The picture of the dialog in the docs comes from here.
        if (const QString png = qEnvironmentVariable("TIVARO_SETUP_DIALOG_PNG"); !png.isEmpty())
            m_form2->grab().save(png);
        auto* server = Field<QLineEdit>("MYSQL_URL");
        server->selectAll();
        QTest::keyClicks(server, u"db.example"_s);
        Field<Ipv4Field>("IP_ADDRESS")->setText(u"198.18.1.77"_s);
        QTest::mouseClick(Field<QPushButton>("JvXPButton3"), Qt::LeftButton);
    });
    Release(1, row, Qt::RightButton);
    ASSERT_TRUE(edit.Shown());
    EXPECT_TRUE(edit.Modal());
    EXPECT_FALSE(m_form2->isVisible());
    EXPECT_EQ(shownAddress, u"198.18.1.11"_s);
    EXPECT_EQ(shownServer, u"198.18.1.1"_s);
    EXPECT_EQ(shownUser, u"modul11"_s);
    EXPECT_EQ(shownPort, u"3306"_s);
    EXPECT_EQ(m_form2->TargetCaption(), u"198.18.1.11"_s);

    std::string line;
    ASSERT_TRUE(m_sim.WaitForLine(" SET from ", 2000, &line)) << m_sim.Output();
    EXPECT_NE(line.find("ip=198.18.1.77"), std::string::npos) << line;
    EXPECT_NE(line.find("@db.example:3306"), std::string::npos) << line;
    EXPECT_NE(line.find("dhcp=0"), std::string::npos) << line;
    const QStringList log = LogMessages();
    EXPECT_TRUE(log.contains(u"198.18.1.11|22223|GET SETINGS"_s)) << log.join(u"\n"_s).toStdString();
    EXPECT_TRUE(log.contains(u"198.18.1.11|22222|UPDATE DEVICE"_s)) << log.join(u"\n"_s).toStdString();

    // Read back: the module answers the next fetch with the written settings.
    QString readAddress, readServer;
    WhenShown check(*m_form2, [&] {
        readAddress = Field<Ipv4Field>("IP_ADDRESS")->text();
        readServer = Field<QLineEdit>("MYSQL_URL")->text();
        QTest::mouseClick(Field<QPushButton>("JvXPButton1"), Qt::LeftButton);  // Cancel, confirmed
    });
    Release(0, row);
    ASSERT_TRUE(check.Shown());
    EXPECT_EQ(readAddress, u"198.18.1.77"_s);
    EXPECT_EQ(readServer, u"db.example"_s);
}

TEST_F(LanFetch, SilentModuleLogsNoResponseAndNoDialog) {
    HandleDiscoveryReply(m_form1->State(), u"198.18.1.20"_s, 22222, 22223);
    const int row = RowOf(u"198.18.1.20"_s);
    ASSERT_GE(row, 0);
    WhenShown never(*m_form2, [&] { m_form2->JvXPButton1Click(); });
    Release(0, row);
    EXPECT_FALSE(never.Shown());
    EXPECT_TRUE(m_silent.WaitForLine(" GET from ", 1000)) << m_silent.Output();
    EXPECT_EQ(LogMessages().last(), u"198.18.1.20|22222|NO RESPONSE FROM 198.18.1.20"_s);
}

TEST_F(LanFetch, DiscoveryReplyDuringTheWaitOpensThePresetDialog) {
    Discover(2);
    // Fields from an earlier fetch; then a fetch of the silent module while a
    // discovery reply from another unit comes in.
    WhenShown first(*m_form2, [&] { m_form2->JvXPButton1Click(); });
    Release(0, RowOf(u"198.18.1.10"_s));
    ASSERT_TRUE(first.Shown());
    HandleDiscoveryReply(m_form1->State(), u"198.18.1.20"_s, 22222, 22223);

    UdpSender probe;
    QTimer::singleShot(100, [&] { probe.Send("198.18.1.11", kDeviceCommandPort, BuildDiscoveryRequest()); });
    QString ip, mask, gw, user;
    WhenShown second(*m_form2, [&] {
        ip = Field<Ipv4Field>("IP_ADDRESS")->text();
        mask = Field<Ipv4Field>("MASK_ADDRESS")->text();
        gw = Field<Ipv4Field>("GW_ADDRESS")->text();
        user = Field<QLineEdit>("MYSQL_User")->text();
        m_form2->JvXPButton1Click();
    });
    Release(0, RowOf(u"198.18.1.20"_s));
    ASSERT_TRUE(second.Shown());
    EXPECT_EQ(ip, u"0.0.0.0"_s);
    EXPECT_EQ(mask, u"255.255.255.0"_s);
    EXPECT_EQ(gw, u"0.0.0.0"_s);
    EXPECT_EQ(user, u"modul10"_s);  // left from the earlier fetch
    EXPECT_EQ(m_form2->TargetCaption(), u"198.18.1.20"_s);
    EXPECT_FALSE(LogMessages().join(u"\n"_s).contains(u"NO RESPONSE"_s));
}

}  // namespace

int main(int argc, char** argv) { return tivaro::test::RunWindowTests(argc, argv); }
