// The unit discovery list: "Broadcast TIVARO" and the discovery replies.
#include <gtest/gtest.h>

#include <vector>

#include "UnitMain/unit_discovery.h"
#include "manager_fakes.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

using FixedClock = tivaro::test::FixedWallClock;
using tivaro::TGridRect;
using tivaro::test::RecordingSender;

struct UnitsFixture : ::testing::Test {
    FixedClock clock;
    ManagerWindowState state{clock};
    RecordingSender sender;
    UnitsFixture() { state.ResetGridsOnShow(); }
    QStringList column0() const {
        QStringList out;
        for (int r = 0; r < state.Units.Rows().Count(); ++r) out << state.UnitCell(0, r);
        return out;
    }
};

TEST_F(UnitsFixture, NewAddressesAreListedInOrderOfArrivalAndSelected) {
    struct Step {
        const char* ip;
        std::uint16_t srcPort;
        TGridRect expected;
    };
    const Step steps[] = {
        {"198.18.0.20", 1001, {0, 0, 2, 0}},
        {"198.18.0.10", 1002, {0, 1, 2, 1}},
        {"198.18.0.30", 1003, {0, 2, 2, 2}},
        {"198.18.0.5", 1004, {0, 3, 2, 3}},
    };
    for (const Step& s : steps) {
        HandleDiscoveryReply(state, QString::fromUtf8(s.ip), s.srcPort, 22223);
        EXPECT_EQ(state.grdRec, s.expected) << s.ip;
        EXPECT_EQ(state.Units.Selection(), s.expected) << s.ip;
    }
    EXPECT_EQ(column0(),
              (QStringList{u"198.18.0.20"_s, u"198.18.0.10"_s, u"198.18.0.30"_s, u"198.18.0.5"_s, u""_s}));
    EXPECT_EQ(state.UnitCell(1, 1), u"1002"_s);
    EXPECT_EQ(state.UnitCell(2, 1), u"22223"_s);
    EXPECT_EQ(state.Units.TopRow(), 0);  // never scrolls by itself
    // Every reply logs ONLINE with the local port.
    ASSERT_EQ(state.Log.Count(), 4);
    EXPECT_EQ(state.LogCell(1, 3), u"198.18.0.5"_s);
    EXPECT_EQ(state.LogCell(2, 3), u"22223"_s);
    EXPECT_EQ(state.LogCell(3, 3), u"ONLINE"_s);
}

TEST_F(UnitsFixture, RepeatedReplyKeepsTheRowAndSelectionButLogsAgain) {
    HandleDiscoveryReply(state, u"198.18.0.2"_s, 5000, 22223);
    HandleDiscoveryReply(state, u"198.18.0.3"_s, 5000, 22223);
    HandleDiscoveryReply(state, u"198.18.0.2"_s, 6000, 22223);  // other source port
    EXPECT_EQ(state.Units.Count(), 2);
    EXPECT_EQ(state.UnitCell(1, 0), u"5000"_s);
    EXPECT_EQ(state.grdRec, (TGridRect{0, 1, 2, 1}));
    EXPECT_EQ(state.Log.Count(), 3);
    EXPECT_EQ(state.Log.Selection(), (TGridRect{0, 1, 2, 1}));  // the log still gets grdRec
    EXPECT_TRUE(state.Log.IsSelected(0, 1));
}

TEST_F(UnitsFixture, AddressesMatchOnlyCharacterForCharacter) {
    HandleDiscoveryReply(state, u"198.18.0.2"_s, 1, 22223);
    HandleDiscoveryReply(state, u"198.18.0.02"_s, 1, 22223);
    EXPECT_EQ(state.Units.Count(), 2);
}

TEST_F(UnitsFixture, BroadcastClearsClosesThenSendsBrca) {
    HandleDiscoveryReply(state, u"198.18.0.2"_s, 1, 22223);
    HandleDiscoveryReply(state, u"198.18.0.3"_s, 1, 22223);
    const TGridRect rec = state.grdRec;
    RunDiscoveryBroadcast(state, sender);
    EXPECT_EQ(state.Units.Rows().Count(), 1);
    EXPECT_EQ(state.Units.Count(), 0);
    EXPECT_EQ(state.grdRec, rec);
    EXPECT_EQ(sender.calls, (std::vector<std::string>{"Close", "Send"}));
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0].host, "255.255.255.255");
    EXPECT_EQ(sender.sent[0].port, 22222);
    EXPECT_EQ(sender.sent[0].bytes, (tivaro::Bytes{'B', 'R', 'C', 'A'}));
    EXPECT_EQ(state.Log.Count(), 2);  // the broadcast itself writes no entry
    // New rows start at row 0 again; the old ones do not come back.
    HandleDiscoveryReply(state, u"198.18.0.9"_s, 1, 22223);
    EXPECT_EQ(column0(), (QStringList{u"198.18.0.9"_s, u""_s}));
    HandleDiscoveryReply(state, u"198.18.0.2"_s, 1, 22223);  // listed before the clear: new again
    EXPECT_EQ(column0(), (QStringList{u"198.18.0.9"_s, u"198.18.0.2"_s, u""_s}));
}

TEST_F(UnitsFixture, FailedBroadcastThrowsWithTheListAlreadyCleared) {
    HandleDiscoveryReply(state, u"198.18.0.2"_s, 1, 22223);
    sender.fail = true;
    EXPECT_THROW(RunDiscoveryBroadcast(state, sender), tivaro::NetworkError);
    EXPECT_EQ(state.Units.Rows().Count(), 1);
}

TEST_F(UnitsFixture, BroadcastPortIsReadFromTheField) {
    state.Broadcast_Port.SetText(u"$5000"_s);
    RunDiscoveryBroadcast(state, sender);
    EXPECT_EQ(sender.sent.at(0).port, 0x5000);
}

TEST(UnitsBeforeShow, WithTheHeaderRowStillThereTheFirstUnitGoesBelowIt) {
    FixedClock clock;
    ManagerWindowState state{clock};
    HandleDiscoveryReply(state, u"198.18.0.2"_s, 1, 22223);
    EXPECT_EQ(state.Units.Rows().Count(), 3);
    EXPECT_EQ(state.UnitCell(0, 0), u""_s);
    EXPECT_EQ(state.UnitCell(0, 1), u"198.18.0.2"_s);
    EXPECT_EQ(state.grdRec, (TGridRect{0, 1, 2, 1}));
}

TEST(UnitListIndex, FindFollowsAppendAndClear) {
    tivaro::UnitListModel list;
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(list.AppendIfNew({QString::number(i), u"1"_s, u"2"_s}), i);
    EXPECT_EQ(list.AppendIfNew({u"500"_s, u"9"_s, u"9"_s}), -1);
    EXPECT_EQ(list.Find(u"999"_s), 999);
    EXPECT_EQ(list.Find(u"1000"_s), -1);
    list.Clear();
    EXPECT_EQ(list.Find(u"5"_s), -1);
    EXPECT_EQ(list.AppendIfNew({u"5"_s, u"1"_s, u"2"_s}), 0);
}

}  // namespace
