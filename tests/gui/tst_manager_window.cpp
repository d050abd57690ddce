// The manager window as a user meets it: layout, fonts and tab order from the
// .ui file, the state after the first show, the grids' views following the
// models, the commands through the real buttons (with a recording sender and
// a preset answer), and a listener that cannot start.
#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "UnitMain/manager_window.h"
#include "UnitMain/string_grid.h"
#include "core/command_boundary.h"
#include "manager_fakes.h"
#include "user_input.h"
#include "widgets/fonts.h"
#include "widgets/numeric_field.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

using tivaro::test::PresetConfirmation;
using tivaro::test::RecordingSender;

namespace {

// A port no test on this host uses: the listener binds port 0 ("any free").
constexpr std::uint16_t kAnyPort = 0;

tivaro::DatagramEvent datagram(const tivaro::Bytes& bytes, const char* ip, std::uint16_t peerPort = 22222) {
    return tivaro::DatagramEvent{bytes, ip, peerPort, 22223};
}

const tivaro::Bytes kBrca{'B', 'R', 'C', 'A'};

}  // namespace

class TestManagerWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { tivaro::InstallFonts(); }

    void layout_data();
    void layout();
    void windowFontsAndTabOrder();
    void tabAndShiftTabMoveThroughTheWindow();
    void wheelOverAnOctetFieldChangesNothing();
    void longCellTextIsClippedNotElided();
    void ctrlCCopiesTheSelectedRows();
    void firstShowResetsGridsAndSizes();
    void discoveryFillsTheUnitViewWithoutScrolling();
    void logViewScrollsAndHighlightsGrdRec();
    void buttonsRunTheirCommands();
    void mouseReleaseOverAUnitStartsTheFetch();
    void failingSendShowsTheErrorAndEndsTheCommand();
    void listenerThatCannotStartLeavesTheGridsAsCreated();
};

void TestManagerWindow::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("visible");
    const struct {
        const char* name;
        QRect g;
        const char* text;
        bool visible;
    } rows[] = {
        {"Image1", {8, 1, 247, 161}, "", true},
        {"Label8", {147, 184, 49, 14}, "SRC-Port", true},
        {"Label9", {208, 184, 47, 14}, "DST-Port", true},
        {"Label10", {304, 184, 28, 14}, "Time", true},
        {"Label11", {371, 184, 34, 14}, "Unit IP", true},
        {"Label12", {488, 184, 51, 14}, "Message", true},
        {"Label14", {448, 184, 23, 14}, "Port", true},
        {"Label4", {376, 129, 6, 24}, ".", true},
        {"Label13", {456, 129, 6, 24}, ".", true},
        {"Label16", {536, 128, 57, 24}, ".XXX", true},
        {"Label26", {149, 112, 70, 13}, "Broadcast Port", true},
        {"Log_Grid", {288, 200, 449, 274}, "", true},
        {"Unit_Grid", {9, 201, 273, 274}, "", true},  // laid out 273 high, FormCreate makes it 274
        {"JvXPButton1", {304, 30, 121, 27}, "Broadcast TIVARO", true},
        {"JvXPButton2", {657, 173, 80, 21}, "clear Log", true},
        {"JvXPButton8", {304, 88, 281, 27}, "Set all TIVARO Units in same Network Segment", true},
        {"SpinEdit3", {304, 121, 73, 28}, "192", true},
        {"SpinEdit4", {384, 121, 73, 28}, "168", true},
        {"SpinEdit5", {464, 121, 73, 28}, "1", true},
        {"JvXPButton3", {632, 8, 105, 33}, "Close", true},
        {"UDP_PORT", {268, 156, 121, 22}, "0", false},
        {"Broadcast_Port", {442, 30, 73, 22}, "22222", false},
    };
    for (const auto& r : rows) QTest::newRow(r.name) << r.name << r.g << r.text << r.visible;
}

void TestManagerWindow::layout() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, visible);
    TForm1 form(nullptr, {kAnyPort});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* w = form.findChild<QWidget*>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->geometry(), geometry);
    QCOMPARE(w->isVisible(), visible);
    if (auto* label = qobject_cast<QLabel*>(w); label && !text.isEmpty()) QCOMPARE(label->text(), text);
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        QCOMPARE(button->text(), text);
        QVERIFY(!button->isDefault() && !button->autoDefault());
    }
    if (auto* field = qobject_cast<NumericField*>(w)) QCOMPARE(field->text(), text);
    form.Shutdown();
}

void TestManagerWindow::windowFontsAndTabOrder() {
    TForm1 form(nullptr, {kAnyPort});
    QCOMPARE(form.windowTitle(), QStringLiteral("TIVARO MODUL MANAGER"));
    QCOMPARE(form.size(), QSize(745, 481));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(!(form.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                    Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint)));
    QCOMPARE(form.palette().color(QPalette::Window), QColor(Qt::white));
    QVERIFY(!form.findChild<QLabel*>(u"Image1"_s)->pixmap().isNull());
    QCOMPARE(form.findChild<QLabel*>(u"Image1"_s)->pixmap().size(), QSize(244, 161));

    const auto font = [&](const char* name) {
        return form.findChild<QWidget*>(QString::fromUtf8(name))->font();
    };
    QCOMPARE(font("JvXPButton1").family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(font("Label26").pointSize(), 8);
    for (const char* caption : {"Label8", "Label9", "Label10", "Label11", "Label12", "Label14"}) {
        QCOMPARE(font(caption).family(), QStringLiteral("Arial"));
        QVERIFY(font(caption).bold());
        QCOMPARE(font(caption).pointSize(), 8);
    }
    for (const char* dot : {"Label4", "Label13", "Label16"}) {
        QVERIFY(font(dot).bold() && font(dot).italic());
        QCOMPARE(font(dot).pointSize(), 16);
    }
    QCOMPARE(font("SpinEdit3").family(), QStringLiteral("Verdana"));
    QCOMPARE(font("SpinEdit3").pointSize(), 12);
    QCOMPARE(font("Log_Grid").family(), QStringLiteral("Verdana"));
    QCOMPARE(font("Unit_Grid").pointSize(), 8);
    // What the named families resolve to once the fonts are installed.
    if (QFile::exists(u"/usr/share/wine/fonts/tahoma.ttf"_s))
        QCOMPARE(QFontInfo(font("JvXPButton1")).family(), QStringLiteral("Tahoma"));
    QCOMPARE(QFontInfo(font("Log_Grid")).family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(QFontInfo(font("Label8")).family(), QStringLiteral("Liberation Sans"));

    // Tab order among the visible controls; the hidden fields are skipped.
    const QStringList expected{u"Unit_Grid"_s, u"JvXPButton1"_s, u"JvXPButton2"_s,
                               u"Log_Grid"_s,  u"JvXPButton8"_s, u"SpinEdit3"_s,
                               u"SpinEdit4"_s, u"SpinEdit5"_s,   u"JvXPButton3"_s};
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList order;
    QWidget* w = &form;
    do {
        QWidget* named = w;
        while (named && named->parentWidget() != &form) named = named->parentWidget();  // spin box line edits
        if (named && named->isVisible() && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus &&
            !order.contains(named->objectName()))
            order << named->objectName();
        w = w->nextInFocusChain();
    } while (w != &form);
    const qsizetype first = order.indexOf(u"Unit_Grid"_s);
    order = order.mid(first) + order.mid(0, first);
    QCOMPARE(order, expected);
    form.Shutdown();
}

namespace {

// The control that has the keyboard focus, named by its child of the window
// (a spin box's line edit names its field).
QString focusedControl(QWidget* form) {
    QWidget* w = QApplication::focusWidget();
    while (w && w->parentWidget() != form) w = w->parentWidget();
    return w ? w->objectName() : QStringLiteral("?");
}

}  // namespace

void TestManagerWindow::tabAndShiftTabMoveThroughTheWindow() {
    TForm1 form(nullptr, {kAnyPort});
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    for (int i = 0; i < 3; ++i) form.ADD_LOG(u"198.18.0.1"_s, u"22223"_s, u"ONLINE"_s);
    form.IdUDPServer1UDPRead(datagram(kBrca, "198.18.1.10"));  // the grids hold rows and a selection
    QCoreApplication::processEvents();

    const QStringList forward{u"Unit_Grid"_s,   u"JvXPButton1"_s, u"JvXPButton2"_s, u"Log_Grid"_s,
                              u"JvXPButton8"_s, u"SpinEdit3"_s,   u"SpinEdit4"_s,   u"SpinEdit5"_s,
                              u"JvXPButton3"_s, u"Unit_Grid"_s};
    form.findChild<QWidget*>(u"Unit_Grid"_s)->setFocus(Qt::OtherFocusReason);
    QStringList visited;
    for (int i = 0; i < forward.size(); ++i) {
        visited << focusedControl(&form);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, forward);
    visited.clear();
    form.findChild<QWidget*>(u"Unit_Grid"_s)->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < forward.size(); ++i) {
        visited.prepend(focusedControl(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    }
    QCOMPARE(visited, forward);

    // From the third octet four Tabs reach "clear Log", and Space presses it.
    form.findChild<QWidget*>(u"SpinEdit5"_s)->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < 4; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(focusedControl(&form), QStringLiteral("JvXPButton2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCoreApplication::processEvents();
    QCOMPARE(form.State().Log.Rows().Count(), 1);
    QCOMPARE(form.findChild<StringGrid*>(u"Log_Grid"_s)->model()->rowCount(), 1);
    // Only the log was cleared.
    QCOMPARE(form.findChild<StringGrid*>(u"Unit_Grid"_s)->model()->rowCount(), 2);
    form.Shutdown();
}

void TestManagerWindow::wheelOverAnOctetFieldChangesNothing() {
    TForm1 form(nullptr, {kAnyPort});
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    auto* octet = form.findChild<NumericField*>(u"SpinEdit5"_s);
    auto* grid = form.findChild<QWidget*>(u"Unit_Grid"_s);
    grid->setFocus(Qt::OtherFocusReason);
    for (int turn = 0; turn < 3; ++turn) tivaro::test::WheelOver(octet, 1);
    tivaro::test::WheelOver(octet, 3, Qt::ControlModifier);
    tivaro::test::WheelOver(octet, -2);
    QCOMPARE(octet->text(), QStringLiteral("1"));
    QCOMPARE(form.State().SpinEdit5.Value(), 1);
    QCOMPARE(QApplication::focusWidget(), grid);  // the scroll took no focus
    octet->setFocus(Qt::OtherFocusReason);
    tivaro::test::WheelOver(octet, 3);
    QCOMPARE(octet->text(), QStringLiteral("1"));
    QTest::keyClick(octet, Qt::Key_Up);  // the arrow keys step by one
    QTest::keyClick(octet, Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(form.State().SpinEdit5.Value(), 3);
    form.Shutdown();
}

void TestManagerWindow::longCellTextIsClippedNotElided() {
    TForm1 form(nullptr, {kAnyPort});
    auto* log = form.findChild<StringGrid*>(u"Log_Grid"_s);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.ADD_LOG(u"198.18.0.1"_s, u"22223"_s,
                 u"NO RESPONSE FROM 198.18.123.234 NO RESPONSE FROM 198.18.123.234"_s);
    form.ADD_LOG(u"198.18.0.1"_s, u"222232222322223222232222322223"_s, u""_s);  // runs past its column
    QCoreApplication::processEvents();
    const QRect message(log->columnViewportPosition(3), 0, log->columnWidth(3), 16);
    const QImage clipped = log->viewport()->grab(message).toImage();
    // The same pixels as when the column is wide enough for the whole text: nothing
    // was replaced by "...", the text is only cut at the edge.
    log->setColumnWidth(3, 2000);
    QCoreApplication::processEvents();
    QCOMPARE(log->viewport()->grab(message).toImage(), clipped);
    // The long port stops at its cell's edge: the empty message cell beside it
    // looks like the one in the blank last row.
    QCOMPARE(log->viewport()->grab(message.translated(0, 16)).toImage(),
             log->viewport()->grab(message.translated(0, 32)).toImage());
    form.Shutdown();
}

void TestManagerWindow::ctrlCCopiesTheSelectedRows() {
    TForm1 form(nullptr, {kAnyPort});
    auto* units = form.findChild<StringGrid*>(u"Unit_Grid"_s);
    auto* log = form.findChild<StringGrid*>(u"Log_Grid"_s);
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    for (const char* ip : {"198.18.1.10", "198.18.1.11", "198.18.1.12"})
        form.IdUDPServer1UDPRead(datagram(kBrca, ip));
    QCoreApplication::processEvents();
    QClipboard* clipboard = QGuiApplication::clipboard();

    // Unit list: whole rows 0..1 selected with the keyboard, the blank row never copied.
    units->setFocus(Qt::OtherFocusReason);
    units->selectionModel()->clear();
    units->setCurrentIndex(units->model()->index(0, 0));
    QTest::keyClick(units, Qt::Key_Down, Qt::ShiftModifier);
    clipboard->setText(u"before"_s);
    QTest::keyClick(units, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QStringLiteral("198.18.1.10\t22222\t22223\n198.18.1.11\t22222\t22223\n"));
    QCOMPARE(form.grdRec(), (tivaro::TGridRect{0, 2, 2, 2}));  // nothing else changes
    QCOMPARE(units->model()->rowCount(), 4);
    units->selectAll();
    QTest::keyClick(units, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text().count(u'\n'), 3);

    // Log: a range of cells copies the rows it touches, all four columns.
    log->setFocus(Qt::OtherFocusReason);
    log->selectionModel()->select(QItemSelection(log->model()->index(1, 2), log->model()->index(2, 3)),
                                  QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
    const QStringList rows = clipboard->text().split(u'\n');
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].section(u'\t', 1), QStringLiteral("198.18.1.11\t22223\tONLINE"));
    QCOMPARE(rows[0].section(u'\t', 0, 0), log->model()->index(1, 0).data().toString());
    QCOMPARE(rows[1].section(u'\t', 1), QStringLiteral("198.18.1.12\t22223\tONLINE"));
    QCOMPARE(rows[2], QString());
    QCOMPARE(log->model()->rowCount(), 4);

    // Nothing selected: the clipboard keeps what it had.
    log->selectionModel()->clear();
    clipboard->setText(u"kept"_s);
    QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QStringLiteral("kept"));
    form.Shutdown();
}

void TestManagerWindow::firstShowResetsGridsAndSizes() {
    TForm1 form(nullptr, {kAnyPort});
    auto* log = form.findChild<StringGrid*>(u"Log_Grid"_s);
    auto* units = form.findChild<StringGrid*>(u"Unit_Grid"_s);
    QCOMPARE(units->height(), 274);
    QCOMPARE(log->columnWidth(0), 67);
    QCOMPARE(log->columnWidth(1), 113);
    QCOMPARE(log->columnWidth(2), 53);
    QCOMPARE(log->columnWidth(3), 196);
    QCOMPARE(units->columnWidth(0), 132);
    QCOMPARE(units->columnWidth(1), 58);
    QCOMPARE(log->rowHeight(0), 16);
    // As created: two rows, the first a header row, grdRec all 0.
    QCOMPARE(log->model()->rowCount(), 2);
    QCOMPARE(form.grdRec(), (tivaro::TGridRect{0, 0, 0, 0}));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(form.ListenerActive());
    QCOMPARE(log->model()->rowCount(), 1);
    QCOMPARE(units->model()->rowCount(), 1);
    QCOMPARE(form.grdRec(), (tivaro::TGridRect{-1, -1, -1, -1}));
    QVERIFY(!log->selectionModel()->hasSelection());
    QVERIFY(!units->selectionModel()->hasSelection());
    form.Shutdown();
    QVERIFY(!form.ListenerActive());
}

void TestManagerWindow::discoveryFillsTheUnitViewWithoutScrolling() {
    TForm1 form(nullptr, {kAnyPort});
    auto* units = form.findChild<StringGrid*>(u"Unit_Grid"_s);
    QAbstractItemModelTester tester(units->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (int i = 0; i < 25; ++i)
        form.IdUDPServer1UDPRead(datagram(kBrca, qPrintable(QStringLiteral("198.18.1.%1").arg(10 + i))));
    form.IdUDPServer1UDPRead(datagram(kBrca, "198.18.1.10", 4000));  // listed: no new row
    QCoreApplication::processEvents();  // the views follow once per turn of the event loop
    QCOMPARE(units->model()->rowCount(), 26);
    QCOMPARE(units->model()->index(0, 0).data().toString(), QStringLiteral("198.18.1.10"));
    QCOMPARE(units->model()->index(0, 1).data().toString(), QStringLiteral("22222"));
    QCOMPARE(units->model()->index(24, 2).data().toString(), QStringLiteral("22223"));
    QCOMPARE(units->model()->index(25, 0).data().toString(), QString());
    // The last new unit's whole row is selected, out of sight: the list never scrolls by itself.
    const QModelIndexList rows = units->selectionModel()->selectedRows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().row(), 24);
    QCOMPARE(units->verticalScrollBar()->value(), 0);
    QCOMPARE(units->rowAt(0), 0);
    // Where the user scrolls to, the list stays when more units come.
    units->verticalScrollBar()->setValue(5);
    form.IdUDPServer1UDPRead(datagram(kBrca, "198.18.2.1"));
    QCoreApplication::processEvents();
    QCOMPARE(units->model()->rowCount(), 27);
    QCOMPARE(units->rowAt(0), 5);
    // A release over a cell and below the last row.
    QCOMPARE(units->CellAt(QPoint(140, 20)), QPoint(1, 6));  // second visible row of the scrolled view
    units->setColumnWidth(2, 58);
    QCOMPARE(units->CellAt(QPoint(260, 5)), QPoint(-1, -1));  // right of the last column
    form.Shutdown();
}

void TestManagerWindow::logViewScrollsAndHighlightsGrdRec() {
    TForm1 form(nullptr, {kAnyPort});
    auto* log = form.findChild<StringGrid*>(u"Log_Grid"_s);
    QAbstractItemModelTester tester(log->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (int i = 0; i < 16; ++i) form.ADD_LOG(u"198.18.0.1"_s, u"22223"_s, QStringLiteral("E%1").arg(i));
    QCoreApplication::processEvents();
    QCOMPARE(log->rowAt(1), 0);  // row count 17: still at the top
    form.ADD_LOG(u"198.18.0.1"_s, u"22223"_s, u"E16"_s);
    QCoreApplication::processEvents();
    QCOMPARE(log->verticalScrollBar()->value(), 1);
    for (int i = 17; i < 20; ++i) form.ADD_LOG(u"198.18.0.1"_s, u"22223"_s, QStringLiteral("E%1").arg(i));
    QCoreApplication::processEvents();
    QCOMPARE(log->verticalScrollBar()->value(), 4);
    QCOMPARE(log->rowAt(1), 4);
    QCOMPARE(log->model()->index(19, 3).data().toString(), QStringLiteral("E19"));
    // A new unit sets grdRec to its row 0: the next entry highlights log row 0, columns 0..2.
    form.IdUDPServer1UDPRead(datagram(kBrca, "198.18.1.10"));
    QCoreApplication::processEvents();
    const QModelIndexList cells = log->selectionModel()->selectedIndexes();
    QCOMPARE(cells.size(), 3);
    for (const QModelIndex& cell : cells) QCOMPARE(cell.row(), 0);
    QCOMPARE(log->verticalScrollBar()->value(), 5);  // selecting does not scroll back
    form.findChild<QPushButton*>(u"JvXPButton2"_s)->click();
    QCoreApplication::processEvents();
    QCOMPARE(log->model()->rowCount(), 1);
    QCOMPARE(log->model()->index(0, 3).data().toString(), QString());
    form.Shutdown();
}

void TestManagerWindow::buttonsRunTheirCommands() {
    RecordingSender sender;
    PresetConfirmation confirmation;
    TForm1 form(nullptr, {kAnyPort, &sender, &confirmation});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.IdUDPServer1UDPRead(datagram(kBrca, "198.18.1.10"));

    form.findChild<QPushButton*>(u"JvXPButton1"_s)->click();
    QCoreApplication::processEvents();
    QCOMPARE(form.findChild<StringGrid*>(u"Unit_Grid"_s)->model()->rowCount(), 1);
    QCOMPARE(sender.calls, (std::vector<std::string>{"Close", "Send"}));
    QCOMPARE(sender.sent.back().host, std::string("255.255.255.255"));
    QCOMPARE(sender.sent.back().bytes, kBrca);

    // Typed octets reach the switch request through the fields.
    auto* a = form.findChild<NumericField*>(u"SpinEdit3"_s);
    QTest::keyClick(a, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(a, u"300"_s);
    confirmation.answer = false;
    form.findChild<QPushButton*>(u"JvXPButton8"_s)->click();
    QCOMPARE(confirmation.questions.last(), QStringLiteral("All Units in same Subnet 300.168.1.XXX ?"));
    QCOMPARE(sender.sent.size(), std::size_t(1));
    confirmation.answer = true;
    form.findChild<QPushButton*>(u"JvXPButton8"_s)->click();
    QCOMPARE(sender.sent.size(), std::size_t(2));
    QCOMPARE(sender.sent.back().bytes, (tivaro::Bytes{'B', 'R', 'C', 'X', 0x2C, 0xA8, 0x01}));
    auto* log = form.findChild<StringGrid*>(u"Log_Grid"_s);
    QCoreApplication::processEvents();
    QCOMPARE(log->model()->index(1, 3).data().toString(), QStringLiteral("SET ALL TO 300.168.1.XXX"));

    form.findChild<QPushButton*>(u"JvXPButton3"_s)->click();
    QVERIFY(!form.isVisible());
    form.Shutdown();
}

void TestManagerWindow::mouseReleaseOverAUnitStartsTheFetch() {
    RecordingSender sender;
    tivaro::test::RecordingDialog dialog;
    TForm1 form(nullptr, {kAnyPort, &sender});
    form.SetSetupDialog(&dialog);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.IdUDPServer1UDPRead(datagram(kBrca, "198.18.1.10", 4001));
    form.IdUDPServer1UDPRead(datagram(kBrca, "198.18.1.11", 4002));
    QCoreApplication::processEvents();
    auto* units = form.findChild<StringGrid*>(u"Unit_Grid"_s);
    // Below the last row: outside every cell, nothing is sent.
    QTest::mouseClick(units->viewport(), Qt::LeftButton, {}, QPoint(20, 5 * 16 + 8));
    QVERIFY(sender.sent.empty());
    // Any button over row 1 asks that unit; nobody answers, so the wait ends
    // after about a second with "NO RESPONSE FROM".
    QTest::mouseClick(units->viewport(), Qt::RightButton, {}, QPoint(150, 16 + 8));
    QCOMPARE(sender.sent.size(), std::size_t(1));
    QCOMPARE(sender.sent[0].host, std::string("198.18.1.11"));
    QCOMPARE(sender.sent[0].port, std::uint16_t(4002));
    QCOMPARE(sender.sent[0].bytes, (tivaro::Bytes{'G', 'E', 'T'}));
    QCOMPARE(form.UdpPortValue(), 4002);
    QCOMPARE(dialog.TargetCaption(), QStringLiteral("198.18.1.11"));
    const int last = form.State().Log.Count() - 1;
    QCOMPARE(form.State().Log.At(last).Message, QStringLiteral("NO RESPONSE FROM 198.18.1.11"));
    QCOMPARE(form.State().Log.At(last).Port, QStringLiteral("4002"));
    form.Shutdown();
}

void TestManagerWindow::failingSendShowsTheErrorAndEndsTheCommand() {
    QStringList shown;
    tivaro::SetErrorDisplay([&](const std::exception& e) { shown << QString::fromUtf8(e.what()); });
    RecordingSender sender;
    PresetConfirmation confirmation;
    sender.fail = true;
    TForm1 form(nullptr, {kAnyPort, &sender, &confirmation});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.IdUDPServer1UDPRead(datagram(kBrca, "198.18.1.10"));
    form.findChild<QPushButton*>(u"JvXPButton8"_s)->click();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().startsWith(u"Socket-Fehler # 101"_s));
    QCOMPARE(form.State().Units.Count(), 0);
    QCOMPARE(form.State().Log.Count(), 1);  // only the ONLINE entry: no SET ALL TO
    form.Shutdown();
    tivaro::SetErrorDisplay({});
}

void TestManagerWindow::listenerThatCannotStartLeavesTheGridsAsCreated() {
    QStringList shown;
    tivaro::SetErrorDisplay([&](const std::exception& e) { shown << QString::fromUtf8(e.what()); });
    // Another listener holds the port the window wants.
    std::uint16_t port = 0;
    {
        for (std::uint16_t candidate = 41000; candidate < 41100 && !port; ++candidate) {
            try {
                tivaro::UdpListener l([](tivaro::DatagramEvent&&) {}, candidate);
                l.Start();
                l.Stop();
                port = candidate;
            } catch (const tivaro::NetworkError&) {
            }
        }
    }
    QVERIFY(port != 0);
    tivaro::UdpListener busy([](tivaro::DatagramEvent&&) {}, port);
    busy.Start();
    TForm1 form(nullptr, {port});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(shown.size(), 1);
    QVERIFY(!form.ListenerActive());
    auto* log = form.findChild<StringGrid*>(u"Log_Grid"_s);
    QCOMPARE(log->model()->rowCount(), 2);
    QCOMPARE(log->model()->flags(log->model()->index(0, 0)), Qt::NoItemFlags);  // grey header row
    QCOMPARE(form.grdRec(), (tivaro::TGridRect{0, 0, 0, 0}));
    busy.Stop();
    form.Shutdown();
    tivaro::SetErrorDisplay({});
}

QTEST_MAIN(TestManagerWindow)
#include "tst_manager_window.moc"
