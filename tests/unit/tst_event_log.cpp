// The event log: row model, scrolling and selection rules of ADD_LOG, clear,
// the time stamp, the compact entries (every cell reads back exactly), the
// ceiling, and running out of memory while an entry is added.
#include <gtest/gtest.h>

#include <QLocale>
#include <atomic>
#include <cstdlib>
#include <new>

#include "UnitMain/manager_window_state.h"
#include "manager_fakes.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

// The allocation seam: while armed, every operator new of this program fails.
namespace {
std::atomic<bool> g_failAllocations{false};
}  // namespace

void* operator new(std::size_t size) {
    if (g_failAllocations.load(std::memory_order_relaxed)) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using FixedClock = tivaro::test::FixedWallClock;
using tivaro::TGridRect;

struct LogFixture : ::testing::Test {
    FixedClock clock;
    ManagerWindowState state{clock};
    LogFixture() {
        clock.time = QTime(9, 5, 7);
        state.ResetGridsOnShow();
    }
    void addEntries(int n) {
        for (int i = 0; i < n; ++i) state.ADD_LOG(u"10.0.0.1"_s, u"22223"_s, QStringLiteral("E%1").arg(i));
    }
};

TEST_F(LogFixture, EntriesFillRowsFromTheTopWithOneBlankRowAfterThem) {
    EXPECT_EQ(state.Log.Rows().Count(), 1);
    EXPECT_EQ(state.Log.Rows().FixedRows(), 0);
    state.ADD_LOG(u""_s, u""_s, u"first"_s);
    EXPECT_EQ(state.Log.Rows().Count(), 2);
    EXPECT_EQ(state.LogCell(0, 0), u"09:05:07"_s);
    EXPECT_EQ(state.LogCell(1, 0), u""_s);  // empty L_IP and L_Port stay blank
    EXPECT_EQ(state.LogCell(2, 0), u""_s);
    EXPECT_EQ(state.LogCell(3, 0), u"first"_s);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(state.LogCell(c, 1), u""_s) << "blank last row, col " << c;
}

TEST_F(LogFixture, ScrollsSoThatTheBlankLastRowSitsAtTheBottom) {
    struct Case {
        int entries;
        int topRow;
    };
    const Case cases[] = {{1, 0}, {16, 0}, {17, 1}, {20, 4}, {100, 84}};
    for (const Case& c : cases) {
        state.ClearLog();
        state.Log.SetTopRow(0);
        addEntries(c.entries);
        EXPECT_EQ(state.Log.Rows().Count(), c.entries + 1);
        EXPECT_EQ(state.Log.TopRow(), c.topRow) << "after " << c.entries << " entries";
    }
}

TEST_F(LogFixture, ClearLeavesOneBlankRowAndNoOldTextComesBack) {
    addEntries(25);
    state.grdRec = TGridRect{0, 3, 2, 3};
    state.ADD_LOG(u"a"_s, u"b"_s, u"c"_s);
    const int topBefore = state.Log.TopRow();
    state.ClearLog();
    EXPECT_EQ(state.Log.Rows().Count(), 1);
    EXPECT_EQ(state.Log.Count(), 0);
    EXPECT_EQ(state.grdRec, (TGridRect{0, 3, 2, 3}));  // left alone
    EXPECT_EQ(state.Log.Selection(), (TGridRect{0, 3, 2, 3}));
    EXPECT_LE(state.Log.TopRow(), topBefore);
    state.ADD_LOG(u"x"_s, u"1"_s, u"new"_s);
    EXPECT_EQ(state.LogCell(3, 0), u"new"_s);
    for (int r = 1; r < 30; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(state.LogCell(c, r), u""_s) << "cell " << c << "," << r;
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
        state.ADD_LOG(u"u"_s, u"1"_s, u"m"_s);
        EXPECT_EQ(state.Log.Selection(), c.rec);
        for (int r = 0; r < state.Log.Rows().Count(); ++r)
            for (int col = 0; col < 4; ++col)
                EXPECT_EQ(state.Log.IsSelected(col, r), r == c.selectedRow && col <= 2)
                    << "entries " << c.entriesBefore << " cell " << col << "," << r;
    }
}

TEST(LogTime, TwentyFourHourClockWithTheLocaleSeparator) {
    EXPECT_EQ(FormatLogTime(QTime(15, 15, 0), u":"_s), u"15:15:00"_s);
    EXPECT_EQ(FormatLogTime(QTime(0, 7, 9), u"."_s), u"00.07.09"_s);
    EXPECT_EQ(FormatLogTime(QTime(23, 59, 59), u":"_s), u"23:59:59"_s);
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
    EXPECT_EQ(FormatLogTime(QTime(15, 15, 0), LocaleTimeSeparator(QLocale(u"fr_CA"_s))), u"15:15:00"_s);
}

TEST(LogEntries, EveryCellReadsBackExactlyAsGiven) {
    struct Case {
        QString ip, port, message;
    };
    const QString longText = QString(300, u'x') + QStringLiteral("\u00e9nde");
    const Case cases[] = {
        {u"198.18.1.10"_s, u"22223"_s, u"ONLINE"_s},
        {u""_s, u""_s, u""_s},
        {u"localhost"_s, u"22222"_s, u"SET ALL TO 192.168.1.XXX"_s},
        {u"0.0.0.0"_s, u"0"_s, u"SWITCH TO 255.0.7.XXX"_s},
        {u"10.0.0.1"_s, u"65535"_s, u"SWITCH TO -1.300.0.XXX"_s},  // fields outside an octet stay text
        {u"010.0.0.1"_s, u"022223"_s, u"GET SETINGS"_s},  // leading zeros are not the formatted number
        {u"1.2.3"_s, u"65536"_s, u"UPDATE DEVICE"_s},
        {u"1.2.3.4.5"_s, u"+1"_s, u"NO IPV4 ADDRESS"_s},
        {u"256.1.1.1"_s, u"22223 "_s, u"ONLINE "_s},
        {u"FE80:0:0:0:20C:29FF:FE12:3456"_s, u"22223"_s, u"ONLINE"_s},
        {u"fe80::1"_s, u"1"_s, u"ONLINE"_s},
        {u"0:0:0:0:0:0:0:1"_s, u"2"_s, u"SWITCH TO 1.2.3.XX"_s},
        {u"FE80:0:0:0:0:0:0:01"_s, u"3"_s, u"SET ALL TO 1.2.3.XXX."_s},
        {u"198.18.1.11"_s, u"4002"_s, u"NO RESPONSE FROM 198.18.1.11"_s},
        {u"198.18.1.11"_s, u"4002"_s, u"NO RESPONSE FROM 198.18.1.12"_s},
        {u""_s, u""_s, u"NO RESPONSE FROM "_s},
        {u"Grüße"_s, u"\u2713"_s, QStringLiteral("\u65e5\u672c \u2713")},
        {longText, longText, longText},
    };
    EventLog log;
    const QString separators[] = {u":"_s, u"."_s, u":"_s, u" h "_s};
    int n = 0;
    for (const Case& c : cases) {
        const QString& sep = separators[n % 4];
        log.Append(QTime(n % 24, 7, 59), sep, c.ip, c.port, c.message);
        ++n;
    }
    ASSERT_EQ(log.Count(), n);
    for (int i = 0; i < n; ++i) {
        const Case& c = cases[i];
        const LogEntry e = log.At(i);
        EXPECT_EQ(e.Time, FormatLogTime(QTime(i % 24, 7, 59), separators[i % 4])) << i;
        EXPECT_EQ(e.UnitIP, c.ip) << i;
        EXPECT_EQ(e.Port, c.port) << i;
        EXPECT_EQ(e.Message, c.message) << i;
        for (int col = 0; col < EventLog::kColumns; ++col) EXPECT_EQ(log.Cell(i, col), e.Column(col));
    }
}

TEST_F(LogFixture, PastTheCeilingTheOldestEntriesGiveWay) {
    state.Log.Clear(5);
    state.grdRec = TGridRect{0, 3, 2, 3};
    for (int i = 0; i < 8; ++i)  // foreign texts too: their storage must shift with the entries
        state.ADD_LOG(i % 2 ? u"10.0.0.1"_s : QStringLiteral("host%1").arg(i), u"22223"_s,
                      QStringLiteral("E%1").arg(i));
    EXPECT_EQ(state.Log.Count(), 5);
    EXPECT_EQ(state.Log.Rows().Count(), 6);  // still one blank row after the entries
    for (int row = 0; row < 5; ++row) {
        const int i = row + 3;
        EXPECT_EQ(state.LogCell(1, row), i % 2 ? u"10.0.0.1"_s : QStringLiteral("host%1").arg(i));
        EXPECT_EQ(state.LogCell(3, row), QStringLiteral("E%1").arg(i));
    }
    EXPECT_EQ(state.LogCell(3, 5), u""_s);
    EXPECT_EQ(state.Log.Selection(), (TGridRect{0, 3, 2, 3}));
    EXPECT_TRUE(state.Log.IsSelected(0, 3));

    // The scrolling rule still counts the rows shown: with the ceiling above
    // the view's 17 rows the newest entry stays at the bottom.
    state.Log.Clear(20);
    state.ClearLog();
    state.Log.SetTopRow(0);
    addEntries(30);
    EXPECT_EQ(state.Log.Rows().Count(), 21);
    EXPECT_EQ(state.Log.TopRow(), 21 - kGridVisibleRows);
    EXPECT_EQ(state.LogCell(3, 19), u"E29"_s);
    state.ClearLog();
    EXPECT_EQ(state.Log.Rows().Count(), 1);
    state.ADD_LOG(u"a"_s, u"b"_s, u"c"_s);
    EXPECT_EQ(state.LogCell(3, 0), u"c"_s);
}

TEST_F(LogFixture, AnEntryThatFindsNoMemoryIsDroppedAndTheLogStaysWhole) {
    state.Log.Clear(40);  // the oldest give way meanwhile, too
    const QString text = QString(200, u'\u00e4');
    std::vector<int> kept;
    for (int i = 0; i < 120; ++i) {
        const bool fail = i % 3 == 0;
        g_failAllocations = fail;
        state.ADD_LOG(QStringLiteral("host%1").arg(i), u"22223"_s, text + QString::number(i));
        g_failAllocations = false;
        const int count = state.Log.Count();
        ASSERT_EQ(state.Log.Rows().Count(), count + 1) << "entry " << i;
        if (count > 0 && state.LogCell(3, count - 1) == text + QString::number(i)) kept.push_back(i);
        if (!fail) {
            ASSERT_EQ(kept.empty() ? -1 : kept.back(), i) << "an entry with memory is kept";
        }
    }
    EXPECT_LT(kept.size(), 120u);  // some entries did find no memory
    const int count = state.Log.Count();
    for (int row = 0; row < count; ++row) {
        const int i = kept[kept.size() - static_cast<std::size_t>(count - row)];
        EXPECT_EQ(state.LogCell(1, row), QStringLiteral("host%1").arg(i));
        EXPECT_EQ(state.LogCell(3, row), text + QString::number(i));
    }
}

TEST(LogBeforeShow, AsCreatedTheGridHasAGreyHeaderRowAndGrdRecIsZero) {
    // Without a running listener FormShow stops before resetting the grids.
    FixedClock clock;
    ManagerWindowState state{clock};
    EXPECT_EQ(state.Log.Rows().Count(), 2);
    EXPECT_EQ(state.Log.Rows().FixedRows(), 1);
    EXPECT_EQ(state.grdRec, (TGridRect{0, 0, 0, 0}));
    state.ADD_LOG(u"localhost"_s, u"22222"_s, u"SET ALL TO 192.168.1.XXX"_s);
    EXPECT_EQ(state.Log.Rows().Count(), 3);
    EXPECT_EQ(state.LogCell(3, 1), u"SET ALL TO 192.168.1.XXX"_s);
    EXPECT_FALSE(state.Log.HasVisibleSelection());  // (0,0) lies in the header row
    state.ClearLog();
    EXPECT_EQ(state.Log.Rows().Count(), 1);
    EXPECT_EQ(state.Log.Rows().FixedRows(), 0);
    state.ADD_LOG(u"a"_s, u"b"_s, u"c"_s);
    EXPECT_EQ(state.LogCell(3, 0), u"c"_s);
}

}  // namespace
