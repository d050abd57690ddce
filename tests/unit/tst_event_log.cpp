// The event log: row model, scrolling and selection rules of ADD_LOG, clear,
// and the time stamp.
#include <gtest/gtest.h>

#include <QLocale>

#include "UnitMain/manager_window_state.h"
#include "manager_fakes.h"

namespace {

using FixedClock = tivaro::test::FixedWallClock;

struct LogFixture : ::testing::Test {
    FixedClock clock;
    ManagerWindowState state{clock};
    LogFixture() {
        clock.time = QTime(9, 5, 7);
        state.ResetGridsOnShow();
    }
    void addEntries(int n) {
        for (int i = 0; i < n; ++i) state.ADD_LOG("10.0.0.1", "22223", QStringLiteral("E%1").arg(i));
    }
};

TEST_F(LogFixture, EntriesFillRowsFromTheTopWithOneBlankRowAfterThem) {
    EXPECT_EQ(state.LogGrid.RowCount(), 1);
    EXPECT_EQ(state.LogGrid.FixedRows(), 0);
    state.ADD_LOG("", "", "first");
    EXPECT_EQ(state.LogGrid.RowCount(), 2);
    EXPECT_EQ(state.LogCell(0, 0), "09:05:07");
    EXPECT_EQ(state.LogCell(1, 0), "");  // empty L_IP and L_Port stay blank
    EXPECT_EQ(state.LogCell(2, 0), "");
    EXPECT_EQ(state.LogCell(3, 0), "first");
    for (int c = 0; c < 4; ++c) EXPECT_EQ(state.LogCell(c, 1), "") << "blank last row, col " << c;
}

TEST_F(LogFixture, ScrollsSoThatTheBlankLastRowSitsAtTheBottom) {
    struct Case {
        int entries;
        int topRow;
    };
    const Case cases[] = {{1, 0}, {16, 0}, {17, 1}, {20, 4}, {100, 84}};
    for (const Case& c : cases) {
        state.ClearLog();
        state.LogGrid.SetTopRow(0);
        addEntries(c.entries);
        EXPECT_EQ(state.LogGrid.RowCount(), c.entries + 1);
        EXPECT_EQ(state.LogGrid.TopRow(), c.topRow) << "after " << c.entries << " entries";
    }
}

TEST_F(LogFixture, ClearLeavesOneBlankRowAndNoOldTextComesBack) {
    addEntries(25);
    state.grdRec = TGridRect{0, 3, 2, 3};
    state.ADD_LOG("a", "b", "c");
    const int topBefore = state.LogGrid.TopRow();
    state.ClearLog();
    EXPECT_EQ(state.LogGrid.RowCount(), 1);
    EXPECT_EQ(state.Log.Count(), 0);
    EXPECT_EQ(state.grdRec, (TGridRect{0, 3, 2, 3}));  // left alone
    EXPECT_EQ(state.LogGrid.Selection(), (TGridRect{0, 3, 2, 3}));
    EXPECT_LE(state.LogGrid.TopRow(), topBefore);
    state.ADD_LOG("x", "1", "new");
    EXPECT_EQ(state.LogCell(3, 0), "new");
    for (int r = 1; r < 30; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(state.LogCell(c, r), "") << "cell " << c << "," << r;
}

TEST_F(LogFixture, EveryAppendAppliesGrdRecUnchanged) {
    struct Case {
        int entriesBefore;
        TGridRect rec;
        int selectedRow;
    };  // -1: nothing selected
    const Case cases[] = {
        {10, {0, 3, 2, 3}, 3},     {0, {0, 3, 2, 3}, -1},  // only rows 0 and 1 exist after the append
        {2, {0, 3, 2, 3}, 3},                              // the blank last row is highlighted
        {5, {-1, -1, -1, -1}, -1}, {5, {0, 0, 2, 0}, 0},
    };
    for (const Case& c : cases) {
        state.ClearLog();
        state.grdRec = TGridRect{-1, -1, -1, -1};
        addEntries(c.entriesBefore);
        state.grdRec = c.rec;
        state.ADD_LOG("u", "1", "m");
        EXPECT_EQ(state.LogGrid.Selection(), c.rec);
        for (int r = 0; r < state.LogGrid.RowCount(); ++r)
            for (int col = 0; col < 4; ++col)
                EXPECT_EQ(state.LogGrid.IsSelected(col, r), r == c.selectedRow && col <= 2)
                    << "entries " << c.entriesBefore << " cell " << col << "," << r;
    }
}

TEST(LogTime, TwentyFourHourClockWithTheLocaleSeparator) {
    EXPECT_EQ(FormatLogTime(QTime(15, 15, 0), ":"), "15:15:00");
    EXPECT_EQ(FormatLogTime(QTime(0, 7, 9), "."), "00.07.09");
    EXPECT_EQ(FormatLogTime(QTime(23, 59, 59), ":"), "23:59:59");
    EXPECT_FALSE(LocaleTimeSeparator().isEmpty());
}

TEST(LogTime, LocaleSeparatorOnlyWhenItIsPunctuation) {
    const struct {
        const char* locale;
        const char* separator;
    } cases[] = {
        {"fr_CA", ":"},  // "HH 'h' mm": a letter would read "15h15h00"
        {"de_DE", ":"}, {"en_US", ":"}, {"ko_KR", ":"}, {"fi_FI", "."}, {"da_DK", "."}, {"bg_BG", ":"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LocaleTimeSeparator(QLocale(QString::fromLatin1(c.locale))),
                  QString::fromLatin1(c.separator))
            << c.locale;
    EXPECT_EQ(FormatLogTime(QTime(15, 15, 0), LocaleTimeSeparator(QLocale("fr_CA"))), "15:15:00");
}

TEST(LogBeforeShow, AsCreatedTheGridHasAGreyHeaderRowAndGrdRecIsZero) {
    // Without a running listener FormShow stops before resetting the grids.
    FixedClock clock;
    ManagerWindowState state{clock};
    EXPECT_EQ(state.LogGrid.RowCount(), 2);
    EXPECT_EQ(state.LogGrid.FixedRows(), 1);
    EXPECT_EQ(state.grdRec, (TGridRect{0, 0, 0, 0}));
    state.ADD_LOG("localhost", "22222", "SET ALL TO 192.168.1.XXX");
    EXPECT_EQ(state.LogGrid.RowCount(), 3);
    EXPECT_EQ(state.LogCell(3, 1), "SET ALL TO 192.168.1.XXX");
    EXPECT_FALSE(state.LogGrid.HasVisibleSelection());  // (0,0) lies in the header row
    state.ClearLog();
    EXPECT_EQ(state.LogGrid.RowCount(), 1);
    EXPECT_EQ(state.LogGrid.FixedRows(), 0);
    state.ADD_LOG("a", "b", "c");
    EXPECT_EQ(state.LogCell(3, 0), "c");
}

}  // namespace
