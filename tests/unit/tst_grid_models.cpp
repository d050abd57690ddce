// The grids' models without any view: the rows they show (header, entries,
// blank row), the signals views get (one rowsInserted per turn of the event
// loop, dataChanged when the oldest log entry gives way, a reset on clear),
// each checked by Qt's model tester, and the window's grid rules as tables.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>

#include "core/event_log_model.h"
#include "core/grid_rules.h"
#include "core/unit_list_model.h"

using namespace Qt::StringLiterals;

namespace {

using tivaro::GridRows;
using tivaro::TGridRect;

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "tst_grid_models";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// Everything the model tester reports, as failures of the running test.
void failOnModelTesterMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg)
        ADD_FAILURE() << (context.category ? context.category : "") << ": " << text.toStdString();
}

struct ModelFixture : ::testing::Test {
    QtMessageHandler previous = nullptr;
    ModelFixture() {
        app();
        previous = qInstallMessageHandler(failOnModelTesterMessages);
    }
    ~ModelFixture() override { qInstallMessageHandler(previous); }
    static void turn() { QCoreApplication::processEvents(); }
};

QStringList column(const QAbstractItemModel& model, int col) {
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r) out << model.index(r, col).data().toString();
    return out;
}

void addLog(tivaro::EventLogModel& log, const QString& message) {
    log.Append(QTime(12, 0, 0), QStringLiteral(":"), QStringLiteral("198.18.0.1"), QStringLiteral("22223"),
               message);
}

TEST_F(ModelFixture, LogAnnouncesTheEntriesOfOneTurnWithOneInsert) {
    tivaro::EventLogModel log;
    QAbstractItemModelTester tester(&log, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
    QSignalSpy viewState(&log, &tivaro::GridListModel::viewStateChanged);

    // As created: the grey header row and one blank row.
    EXPECT_EQ(log.rowCount(), 2);
    EXPECT_TRUE(log.index(0, 0).data(tivaro::GridListModel::kHeaderRowRole).toBool());
    EXPECT_EQ(log.flags(log.index(0, 0)), Qt::NoItemFlags);
    EXPECT_EQ(log.flags(log.index(1, 0)), Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    log.ResetRows();
    turn();
    EXPECT_EQ(log.rowCount(), 1);
    EXPECT_FALSE(log.index(0, 0).data(tivaro::GridListModel::kHeaderRowRole).toBool());

    viewState.clear();
    for (int i = 0; i < 1000; ++i) addLog(log, QString::number(i));
    EXPECT_EQ(log.rowCount(), 1);  // the views hear of them at the turn's end
    EXPECT_EQ(log.Rows().Count(), 1001);
    EXPECT_EQ(log.CellText(3, 999), u"999"_s);
    turn();
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 999);
    EXPECT_EQ(log.rowCount(), 1001);
    EXPECT_EQ(log.index(999, 0).data().toString(), u"12:00:00"_s);
    EXPECT_EQ(log.index(999, 3).data().toString(), u"999"_s);
    EXPECT_EQ(log.index(1000, 3).data().toString(), u""_s);  // the blank row
    ASSERT_EQ(viewState.size(), 1);
    EXPECT_TRUE(viewState[0][0].toBool());

    addLog(log, u"next"_s);
    turn();
    ASSERT_EQ(inserted.size(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 1000);

    QSignalSpy reset(&log, &QAbstractItemModel::modelReset);
    log.Clear();
    EXPECT_EQ(reset.size(), 1);  // at once: the entries are gone now
    EXPECT_EQ(log.rowCount(), 1);
    EXPECT_EQ(log.index(0, 3).data().toString(), u""_s);
    turn();
}

TEST_F(ModelFixture, PastTheCeilingTheRowsStayAndEveryEntryMovesUp) {
    tivaro::EventLogModel log(3);
    QAbstractItemModelTester tester(&log, QAbstractItemModelTester::FailureReportingMode::Warning);
    log.ResetRows();
    for (int i = 0; i < 3; ++i) addLog(log, QStringLiteral("E%1").arg(i));
    turn();
    QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&log, &QAbstractItemModel::dataChanged);
    addLog(log, u"E3"_s);
    addLog(log, u"E4"_s);
    turn();
    EXPECT_EQ(inserted.size(), 0);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 2);
    EXPECT_EQ(changed[0][1].toModelIndex().column(), 3);
    EXPECT_EQ(column(log, 3), (QStringList{u"E2"_s, u"E3"_s, u"E4"_s, u""_s}));
    // Filling up past the ceiling within one turn: only the rows new to the view are inserted.
    log.Clear(5);
    addLog(log, u"A"_s);
    turn();
    for (int i = 0; i < 7; ++i) addLog(log, QStringLiteral("B%1").arg(i));
    turn();
    EXPECT_EQ(column(log, 3), (QStringList{u"B2"_s, u"B3"_s, u"B4"_s, u"B5"_s, u"B6"_s, u""_s}));
}

TEST_F(ModelFixture, UnitListKeepsOneRowPerAddressBelowTheHeader) {
    tivaro::UnitListModel units;
    QAbstractItemModelTester tester(&units, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy inserted(&units, &QAbstractItemModel::rowsInserted);
    EXPECT_EQ(units.AppendIfNew({u"198.18.0.2"_s, u"1"_s, u"22223"_s}), 0);
    EXPECT_EQ(units.AppendIfNew({u"198.18.0.3"_s, u"2"_s, u"22223"_s}), 1);
    EXPECT_EQ(units.AppendIfNew({u"198.18.0.2"_s, u"9"_s, u"9"_s}), -1);
    turn();
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 1);  // below the header row
    EXPECT_EQ(inserted[0][2].toInt(), 2);
    EXPECT_EQ(column(units, 0), (QStringList{u""_s, u"198.18.0.2"_s, u"198.18.0.3"_s, u""_s}));
    EXPECT_EQ(column(units, 1), (QStringList{u""_s, u"1"_s, u"2"_s, u""_s}));
    EXPECT_EQ(units.Find(u"198.18.0.3"_s), 1);
    units.Clear();
    EXPECT_EQ(column(units, 0), (QStringList{u""_s}));
    EXPECT_EQ(units.Find(u"198.18.0.3"_s), -1);
    EXPECT_EQ(units.AppendIfNew({u"198.18.0.3"_s, u"2"_s, u"22223"_s}), 0);
    turn();
    EXPECT_EQ(column(units, 0), (QStringList{u"198.18.0.3"_s, u""_s}));
}

TEST_F(ModelFixture, TopRowAndSelectionReachTheViewAtTheTurnsEnd) {
    tivaro::UnitListModel units;
    units.ResetRows();
    turn();
    QSignalSpy viewState(&units, &tivaro::GridListModel::viewStateChanged);
    units.AppendIfNew({u"198.18.0.2"_s, u"1"_s, u"22223"_s});
    units.SetSelection(TGridRect{0, 0, 2, 0});
    units.SetTopRow(0);  // unchanged: not announced
    turn();
    ASSERT_EQ(viewState.size(), 1);
    EXPECT_EQ(viewState[0], (QList<QVariant>{true, false, true}));
    EXPECT_TRUE(units.IsSelected(2, 0));
    units.ScrolledByUser(7);
    EXPECT_EQ(units.TopRow(), 1);  // clamped to the last row
}

TEST(GridRules, RowsOfAGrid) {
    struct Case {
        GridRows rows;
        int count;
        std::vector<int> entryOfRow;  // from row -1 to count
    };
    const Case cases[] = {
        {{0, true}, 2, {-1, -1, -1, -1}},
        {{0, false}, 1, {-1, -1, -1}},
        {{2, true}, 4, {-1, -1, 0, 1, -1, -1}},
        {{2, false}, 3, {-1, 0, 1, -1, -1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.rows.Count(), c.count);
        for (int row = -1; row <= c.count; ++row)
            EXPECT_EQ(c.rows.EntryAt(row), c.entryOfRow[static_cast<std::size_t>(row + 1)])
                << c.rows.entries << " entries, header " << c.rows.header << ", row " << row;
    }
}

TEST(GridRules, TheLastRowSitsAtTheBottomOnceTheRowsNoLongerFit) {
    struct Case {
        int entries;
        bool header;
        int topBefore;
        int topAfter;
    };
    const Case cases[] = {
        {1, false, 0, 0},    {16, false, 0, 0},   {17, false, 0, 1},
        {20, false, 0, 4},   {100, false, 0, 84}, {16, false, 5, 5},  // still fits: where it was
        {100, false, 3, 84},  // scrolled up by the user: back to the bottom
        {15, true, 1, 1},    {16, true, 1, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tivaro::TopRowAfterAppend(c.topBefore, GridRows{c.entries, c.header}, 17), c.topAfter)
            << c.entries << " entries from top row " << c.topBefore;
    EXPECT_EQ(tivaro::ClampTopRow(0, GridRows{3, true}), 1);  // never onto the header row
    EXPECT_EQ(tivaro::ClampTopRow(9, GridRows{3, false}), 3);
}

TEST(GridRules, ASelectionShowsOnlyWithAllCornersInsideBelowTheHeader) {
    struct Case {
        TGridRect rect;
        GridRows rows;
        bool visible;
    };
    const Case cases[] = {
        {{0, 0, 2, 0}, {1, false}, true},      {{0, 0, 2, 0}, {1, true}, false},   // row 0 is the header
        {{0, 1, 2, 1}, {0, false}, false},                                         // past the blank row
        {{0, 1, 2, 1}, {1, false}, true},                                          // the blank row itself
        {{-1, -1, -1, -1}, {5, false}, false}, {{0, 0, 4, 0}, {5, false}, false},  // past the last column
        {{2, 3, 0, 1}, {5, false}, true},  // anchor below and right of the current cell
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tivaro::SelectionVisible(c.rect, 4, c.rows), c.visible)
            << c.rect.Left << "," << c.rect.Top << "," << c.rect.Right << "," << c.rect.Bottom;
    }
    const TGridRect reversed{2, 3, 0, 1};
    const GridRows rows{5, false};
    EXPECT_TRUE(tivaro::CellSelected(reversed, 0, 1, 4, rows));
    EXPECT_TRUE(tivaro::CellSelected(reversed, 2, 3, 4, rows));
    EXPECT_FALSE(tivaro::CellSelected(reversed, 3, 2, 4, rows));
    EXPECT_FALSE(tivaro::CellSelected(reversed, 1, 4, 4, rows));
}

}  // namespace
