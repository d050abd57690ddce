// The manager window's commands on its state: the subnet switch and the
// datagram dispatcher, driven with a recording sender, preset answers, a fixed
// clock and a fake setup dialog.
#include <gtest/gtest.h>

#include <vector>

#include "UnitMain/dispatcher.h"
#include "UnitMain/subnet_switch.h"
#include "UnitMain/unit_discovery.h"
#include "manager_fakes.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

using FixedClock = tivaro::test::FixedWallClock;
using FakeDialog = tivaro::test::RecordingDialog;
using tivaro::TGridRect;
using tivaro::test::PresetConfirmation;
using tivaro::test::RecordingSender;

struct StateFixture : ::testing::Test {
    FixedClock clock;
    ManagerWindowState state{clock};
    RecordingSender sender;
    PresetConfirmation confirmation;
    FakeDialog dialog;
    StateFixture() { state.ResetGridsOnShow(); }
    QStringList lastLog() const {
        const int i = state.Log.Count() - 1;
        if (i < 0) return {};
        return {state.LogCell(0, i), state.LogCell(1, i), state.LogCell(2, i), state.LogCell(3, i)};
    }
};

TEST(ManagerWindowStateInitial, FieldsAndFlagsAsCreatedAndAfterShow) {
    FixedClock clock;
    ManagerWindowState state{clock};
    EXPECT_EQ(state.SpinEdit3.Value(), 192);
    EXPECT_EQ(state.SpinEdit4.Value(), 168);
    EXPECT_EQ(state.SpinEdit5.Value(), 1);
    EXPECT_EQ(state.Broadcast_Port.Value(), 22222);
    EXPECT_EQ(state.UDP_PORT.Value(), 0);
    EXPECT_FALSE(state.is_rx);
    EXPECT_EQ(state.grdRec, (TGridRect{0, 0, 0, 0}));
    state.ResetGridsOnShow();
    EXPECT_EQ(state.grdRec, (TGridRect{-1, -1, -1, -1}));
    EXPECT_EQ(state.Units.Rows().Count(), 1);
    EXPECT_EQ(state.Log.Rows().Count(), 1);
    EXPECT_FALSE(state.Units.HasVisibleSelection());
    EXPECT_FALSE(state.Log.HasVisibleSelection());
}

TEST_F(StateFixture, SubnetSwitchQuestionRequestAndLogFollowTheFields) {
    struct Case {
        const char* a;
        const char* b;
        const char* c;
        const char* subnet;
        tivaro::Bytes tail;
    };
    const Case cases[] = {
        {"192", "168", "1", "192.168.1.XXX", {0xC0, 0xA8, 0x01}},
        {"300", "256", "-1", "300.256.-1.XXX", {0x2C, 0x00, 0xFF}},
        {"abc", "10", "", "0.10.0.XXX", {0x00, 0x0A, 0x00}},
        {" $0A", "0x10", "+7", "10.16.7.XXX", {0x0A, 0x10, 0x07}},
    };
    for (const Case& c : cases) {
        state.SpinEdit3.SetText(QString::fromUtf8(c.a));
        state.SpinEdit4.SetText(QString::fromUtf8(c.b));
        state.SpinEdit5.SetText(QString::fromUtf8(c.c));
        HandleDiscoveryReply(state, u"198.18.0.2"_s, 1, 22223);
        sender.sent.clear();
        RunSubnetSwitch(state, confirmation, sender);
        EXPECT_EQ(confirmation.questions.last(),
                  QStringLiteral("All Units in same Subnet %1 ?").arg(QString::fromUtf8(c.subnet)));
        ASSERT_EQ(sender.sent.size(), 1u) << c.subnet;
        EXPECT_EQ(sender.sent[0].host, "255.255.255.255");
        EXPECT_EQ(sender.sent[0].port, 22222);
        tivaro::Bytes expected{'B', 'R', 'C', 'X'};
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(sender.sent[0].bytes, expected) << c.subnet;
        EXPECT_EQ(lastLog(), (QStringList{u"15:15:00"_s, u"localhost"_s, u"22222"_s,
                                          QStringLiteral("SET ALL TO ") + QString::fromUtf8(c.subnet)}));
        EXPECT_EQ(state.Units.Rows().Count(), 1);
        EXPECT_EQ(state.Units.Count(), 0);
    }
}

TEST_F(StateFixture, DeclinedSubnetSwitchDoesNothing) {
    HandleDiscoveryReply(state, u"198.18.0.2"_s, 1, 22223);
    confirmation.answer = false;
    RunSubnetSwitch(state, confirmation, sender);
    EXPECT_EQ(state.Units.Count(), 1);
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_EQ(sender.Closes(), 0);
    EXPECT_EQ(state.Log.Count(), 1);
}

TEST_F(StateFixture, FailedSubnetSwitchSendLeavesTheListClearedAndLogsNothing) {
    HandleDiscoveryReply(state, u"198.18.0.2"_s, 1, 22223);
    sender.fail = true;
    EXPECT_THROW(RunSubnetSwitch(state, confirmation, sender), tivaro::NetworkError);
    EXPECT_EQ(state.Units.Count(), 0);
    EXPECT_EQ(state.Log.Count(), 1);
}

TEST_F(StateFixture, DispatcherRoutesEveryDatagramByItsTag) {
    struct Case {
        const char* name;
        tivaro::Bytes data;
        const char* message;  // nullptr: no log entry
        int units;
        int dialogReplies;
    };
    const Case cases[] = {
        {"XYZ", {'X', 'Y', 'Z'}, nullptr, 0, 0},
        {"BRC (short tag)", {'B', 'R', 'C'}, nullptr, 0, 0},
        {"GE (short tag)", {'G', 'E'}, nullptr, 0, 0},
        {"GET only", {'G', 'E', 'T'}, "GET SETINGS", 0, 1},
        {"GETBRCA: settings before discovery", {'G', 'E', 'T', 'B', 'R', 'C', 'A'}, "GET SETINGS", 0, 1},
        {"BRCA", {'B', 'R', 'C', 'A'}, "ONLINE", 1, 0},
        {"BRCA with tail", {'B', 'R', 'C', 'A', 1, 2, 3}, "ONLINE", 1, 0},
        {"BRCX", {'B', 'R', 'C', 'X'}, "SWITCH TO 192.168.1.XXX", 0, 0},
        {"brca lower case", {'b', 'r', 'c', 'a'}, nullptr, 0, 0},
    };
    for (const Case& c : cases) {
        FixedClock clock;
        ManagerWindowState s{clock};
        s.ResetGridsOnShow();
        FakeDialog d;
        d.SetTargetCaption(u"198.18.0.7"_s);
        DispatchDatagram(s, &d, tivaro::DatagramEvent{c.data, "198.18.0.7", 4000, 22223});
        EXPECT_TRUE(s.is_rx) << c.name;
        EXPECT_EQ(s.Units.Count(), c.units) << c.name;
        EXPECT_EQ(static_cast<int>(d.replies.size()), c.dialogReplies) << c.name;
        if (c.dialogReplies) {
            EXPECT_EQ(d.replies[0], c.data) << c.name;
        }
        if (c.message) {
            ASSERT_EQ(s.Log.Count(), 1) << c.name;
            EXPECT_EQ(s.LogCell(1, 0), u"198.18.0.7"_s) << c.name;
            EXPECT_EQ(s.LogCell(2, 0), u"22223"_s) << c.name;
            EXPECT_EQ(s.LogCell(3, 0), QString::fromUtf8(c.message)) << c.name;
        } else {
            EXPECT_EQ(s.Log.Count(), 0) << c.name;
        }
    }
}

// Another host's reply would replace the values "Save + Close" writes into
// the target unit: it is logged and raises is_rx, but fills nothing.
TEST_F(StateFixture, OnlyTheTargetUnitsSettingsReplyFillsTheDialog) {
    const struct {
        const char* from;
        bool fills;
    } cases[] = {
        {"198.18.1.10", true},      {"198.18.1.150", false},
        {"198.18.1.100", false},  // the target's address is a prefix of it
        {"198.18.1.1", false},    // it is a prefix of the target's address
        {"0:0:0:0:0:0:0:1", false},
    };
    dialog.SetTargetCaption(u"198.18.1.10"_s);
    for (const auto& c : cases) {
        dialog.replies.clear();
        state.is_rx = false;
        DispatchDatagram(state, &dialog, tivaro::DatagramEvent{{'G', 'E', 'T', 0}, c.from, 22222, 22223});
        EXPECT_EQ(dialog.replies.size(), c.fills ? 1u : 0u) << c.from;
        EXPECT_TRUE(state.is_rx) << c.from;
        EXPECT_EQ(lastLog().mid(1), (QStringList{QString::fromUtf8(c.from), u"22223"_s, u"GET SETINGS"_s}))
            << c.from;
    }
}

TEST_F(StateFixture, SettingsReplyWithoutADialogIsStillLogged) {
    DispatchDatagram(state, nullptr, tivaro::DatagramEvent{{'G', 'E', 'T', 0}, "198.18.0.7", 4000, 22223});
    EXPECT_TRUE(state.is_rx);
    EXPECT_EQ(lastLog().value(3), u"GET SETINGS"_s);
}

TEST_F(StateFixture, SwitchReplyUsesTheFieldsAsTheyReadWhenItArrives) {
    RunSubnetSwitch(state, confirmation, sender);
    state.SpinEdit3.SetText(u"10"_s);
    state.SpinEdit4.SetText(u"0"_s);
    state.SpinEdit5.SetText(u"0"_s);
    DispatchDatagram(state, &dialog,
                     tivaro::DatagramEvent{{'B', 'R', 'C', 'X', 9}, "198.18.0.8", 22222, 22223});
    EXPECT_EQ(lastLog(),
              (QStringList{u"15:15:00"_s, u"198.18.0.8"_s, u"22223"_s, u"SWITCH TO 10.0.0.XXX"_s}));
    EXPECT_EQ(state.Units.Count(), 0);  // switch replies list no units
}

TEST_F(StateFixture, RepeatedDiscoveryRepliesInOrderGiveOneRowAndTwoEntries) {
    const tivaro::DatagramEvent reply{{'B', 'R', 'C', 'A'}, "198.18.0.9", 22222, 22223};
    DispatchDatagram(state, &dialog, reply);
    DispatchDatagram(state, &dialog, reply);
    EXPECT_EQ(state.Units.Count(), 1);
    EXPECT_EQ(state.Log.Count(), 2);
    EXPECT_EQ(state.UnitCell(1, 0), u"22222"_s);
}

}  // namespace
