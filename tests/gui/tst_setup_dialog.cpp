#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <thread>
#include <vector>

#include "UnitModul/limited_line_edit.h"
#include "UnitModul/setup_dialog.h"
#include "core/command_boundary.h"
#include "core/qt_event_pump.h"
#include "manager_fakes.h"
#include "user_input.h"
#include "widgets/ipv4_field.h"
#include "widgets/numeric_field.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

using tivaro::Bytes;

using tivaro::test::PresetConfirmation;
using tivaro::test::RecordingHost;

Bytes ReplyBytes(const std::string& url, const std::string& user, const std::string& pass,
                 std::uint16_t tx = 22223, std::uint16_t rx = 22222, std::uint16_t mysql = 3306) {
    Bytes b{'G', 'E', 'T', 198, 18, 0, 50, 255, 255, 0, 0, 198, 18, 0, 1};
    for (std::uint16_t p : {tx, rx, mysql}) {
        b.push_back(static_cast<std::uint8_t>(p >> 8));
        b.push_back(static_cast<std::uint8_t>(p));
    }
    for (const std::string* t : {&url, &user, &pass}) {
        b.push_back(static_cast<std::uint8_t>(t->size()));
        b.insert(b.end(), t->begin(), t->end());
    }
    return b;
}

}  // namespace

class TestSetupDialog : public QObject {
    Q_OBJECT

private:
    RecordingHost host;
    PresetConfirmation confirmation;
    std::unique_ptr<TForm2> form;
    std::vector<std::string> errors;

    template <typename T>
    T* child(const char* name) {
        auto* w = form->findChild<T*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    void showActive() {
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }
    void click(const char* button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }

private slots:
    void init() {
        host = RecordingHost{};
        host.udpPort = 40001;
        confirmation = PresetConfirmation{};
        errors.clear();
        tivaro::SetErrorDisplay([this](const std::exception& e) { errors.emplace_back(e.what()); });
        form = std::make_unique<TForm2>(host, confirmation);
        form->SetTargetCaption(u"198.18.0.50"_s);
    }
    void cleanup() {
        form.reset();
        tivaro::SetErrorDisplay({});
    }

    void layout_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<bool>("shown");
        QTest::newRow("Cancel") << "JvXPButton1" << QRect(403, 8, 88, 26) << true;
        QTest::newRow("Save") << "JvXPButton3" << QRect(497, 8, 89, 26) << true;
        QTest::newRow("IP") << "IP" << QRect(25, 53, 257, 23) << true;
        QTest::newRow("IP_ADDRESS") << "IP_ADDRESS" << QRect(83, 124, 150, 21) << true;
        QTest::newRow("MASK_ADDRESS") << "MASK_ADDRESS" << QRect(83, 148, 150, 21) << true;
        QTest::newRow("GW_ADDRESS") << "GW_ADDRESS" << QRect(83, 172, 150, 21) << true;
        QTest::newRow("PORT_RX") << "PORT_RX" << QRect(83, 196, 65, 22) << false;
        QTest::newRow("PORT_TX") << "PORT_TX" << QRect(171, 196, 65, 22) << false;
        QTest::newRow("DHCP_ON") << "DHCP_ON" << QRect(25, 243, 97, 17) << false;
        QTest::newRow("MYSQL_URL") << "MYSQL_URL" << QRect(360, 123, 210, 21) << true;
        QTest::newRow("MYSQL_PORT") << "MYSQL_PORT" << QRect(360, 150, 65, 22) << true;
        QTest::newRow("MYSQL_User") << "MYSQL_User" << QRect(360, 178, 107, 21) << true;
        QTest::newRow("MYSQL_Pass") << "MYSQL_Pass" << QRect(360, 205, 107, 21) << true;
        QTest::newRow("MY1") << "JvXPButton12" << QRect(22, 323, 104, 30) << true;
        QTest::newRow("MY2") << "JvXPButton13" << QRect(148, 323, 104, 30) << true;
    }
    void layout() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(bool, shown);
        form->show();
        auto* w = form->findChild<QWidget*>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), geometry);
        QCOMPARE(w->isVisible(), shown);
    }

    void captionsAndWindow() {
        QCOMPARE(form->windowTitle(), u"Setup Modul"_s);
        QCOMPARE(form->objectName(), u"Form2"_s);
        QCOMPARE(form->size(), QSize(594, 375));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(form->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(form->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(form->windowFlags() & Qt::WindowMinMaxButtonsHint));
        QCOMPARE(form->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(form->font().family(), u"Tahoma"_s);
        QCOMPARE(form->font().pixelSize(), 11);
        auto* ip = child<QLabel>("IP");
        QCOMPARE(ip->text(), u"198.18.0.50"_s);
        QCOMPARE(ip->font().family(), u"Verdana"_s);
        QCOMPARE(ip->font().pixelSize(), 21);
        QVERIFY(ip->font().bold());
        QCOMPARE(ip->palette().color(QPalette::WindowText), QColor(Qt::blue));
        QCOMPARE(child<tivaro::Ipv4Field>("MASK_ADDRESS")->font().family(), u"MS Sans Serif"_s);
        QStringList captions;
        for (QLabel* l : form->findChildren<QLabel*>())
            if (l->isVisibleTo(form.get())) captions << l->text();
        for (const char* text : {"Einstellung Modul", "MYSQL Setup", "IP", "Mask", "GW", "Server", "Port",
                                 "[3306]", "User", "Pass"})
            QVERIFY2(captions.contains(QString::fromUtf8(text)), text);
        for (const char* text : {"Port RX", "TX", "[22222]", "[22223]"})
            QVERIFY2(!captions.contains(QString::fromUtf8(text)), text);
        QCOMPARE(child<QCheckBox>("DHCP_ON")->text(), u"DHCP"_s);
        QCOMPARE(child<QLineEdit>("MYSQL_Pass")->echoMode(), QLineEdit::Normal);
        for (QPushButton* b : form->findChildren<QPushButton*>())
            QVERIFY(!b->isDefault() && !b->autoDefault());
    }

    void designValues() {
        const SetupFieldValues v = form->Fields();
        QVERIFY(v == SetupFieldValues{});
        QCOMPARE(child<tivaro::Ipv4Field>("MASK_ADDRESS")->text(), u"255.255.255.0"_s);
        QCOMPARE(child<NumericField>("MYSQL_PORT")->Model().Text(), u"5000"_s);
        QCOMPARE(form->TargetCaption(), u"198.18.0.50"_s);
    }

    void tabOrder() {
        showActive();
        const QStringList expected{u"JvXPButton1"_s, u"IP_ADDRESS"_s,   u"MASK_ADDRESS"_s, u"GW_ADDRESS"_s,
                                   u"JvXPButton3"_s, u"JvXPButton12"_s, u"JvXPButton13"_s, u"MYSQL_User"_s,
                                   u"MYSQL_Pass"_s,  u"MYSQL_PORT"_s,   u"MYSQL_URL"_s,    u"JvXPButton1"_s};
        child<QPushButton>("JvXPButton1")->setFocus(Qt::TabFocusReason);
        QStringList visited;
        for (int i = 0; i < expected.size(); ++i) {
            QWidget* w = QApplication::focusWidget();
            QVERIFY(w);
            // Compound fields take the focus in an inner editor; name the field.
            while (w && w != form.get() && !expected.contains(w->objectName())) w = w->parentWidget();
            visited << (w ? w->objectName() : u"?"_s);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(visited, expected);
    }

    void fillFromReply() {
        form->HandleSettingsReply(
            ReplyBytes(std::string("d b\0x", 5), std::string(40, 'u'), "\tpw", 4000, 22222, 0));
        QCOMPARE(child<tivaro::Ipv4Field>("IP_ADDRESS")->text(), u"198.18.0.50"_s);
        QCOMPARE(child<tivaro::Ipv4Field>("MASK_ADDRESS")->text(), u"255.255.0.0"_s);
        QCOMPARE(child<tivaro::Ipv4Field>("GW_ADDRESS")->text(), u"198.18.0.1"_s);
        QCOMPARE(child<NumericField>("PORT_TX")->Model().Text(), u"5000"_s);
        QCOMPARE(child<NumericField>("PORT_RX")->Model().Text(), u"22222"_s);
        QCOMPARE(child<NumericField>("MYSQL_PORT")->Model().Text(), u"1000"_s);
        QCOMPARE(child<QLineEdit>("MYSQL_URL")->text(), u"dbx"_s);
        QCOMPARE(child<QLineEdit>("MYSQL_User")->text(), QString(40, u'u'));
        QCOMPARE(child<QLineEdit>("MYSQL_Pass")->text(), u"pw"_s);
        QCOMPARE(form->TargetCaption(), u"198.18.0.50"_s);  // the caption stays on the target
    }

    void malformedReplyLeavesFieldsAlone() {
        form->HandleSettingsReply(ReplyBytes("db", "u", "p"));
        const SetupFieldValues before = form->Fields();
        Bytes cut = ReplyBytes("server", "user", "pass");
        cut.resize(cut.size() - 2);  // the password is announced longer than what came
        form->HandleSettingsReply(cut);
        form->HandleSettingsReply(Bytes{'G', 'E', 'T', 1, 2, 3});
        QVERIFY(form->Fields() == before);
    }

    void saveAndCloseWritesTheFieldsToTheTarget() {
        form->HandleSettingsReply(ReplyBytes("db", std::string(40, 'u'), "", 4000, 22222, 3306));
        showActive();
        QTest::keyClicks(child<QLineEdit>("MYSQL_URL"), u" b "_s);  // typed spaces: only the ends go
        click("JvXPButton3");
        QVERIFY(errors.empty());
        QCOMPARE(host.sender.sent.size(), std::size_t(1));
        const auto& s = host.sender.sent[0];
        QCOMPARE(s.host, std::string("198.18.0.50"));
        QCOMPARE(s.port, std::uint16_t(40001));
        QCOMPARE(s.closesBefore, 1);  // closed first: the write leaves from a fresh socket
        Bytes expected{'S', 'E',  'T',  198,  18,   0,    50,   255, 255, 0,   0,   198, 18, 0,
                       1,   0x13, 0x88, 0x56, 0xCE, 0x0C, 0xEA, 4,   'd', 'b', ' ', 'b', 40};
        expected.insert(expected.end(), 40, 'u');
        expected.insert(expected.end(), {0, 0});
        QCOMPARE(s.bytes, expected);
        QCOMPARE(host.log, QStringList{u"198.18.0.50|40001|UPDATE DEVICE"_s});
        QVERIFY(!form->isVisible());
    }

    void failedSaveStaysOpenUnlogged() {
        host.sender.fail = true;
        showActive();
        QTest::keyClicks(child<QLineEdit>("MYSQL_User"), u"admin"_s);
        click("JvXPButton3");
        QCOMPARE(errors.size(), std::size_t(1));
        QVERIFY(QString::fromUtf8(errors[0].c_str()).startsWith(u"Socket-Fehler # 101"_s));
        QVERIFY(host.log.isEmpty());
        QVERIFY(form->isVisible());
        QCOMPARE(child<QLineEdit>("MYSQL_User")->text(), u"admin"_s);
    }

    void mysqlPortIsClampedWhenAButtonIsPressed_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("written");
        QTest::addColumn<QString>("shownAfter");
        QTest::newRow("too big") << "70000" << 65535 << "65535";
        QTest::newRow("too small") << "5" << 1000 << "1000";
        QTest::newRow("emptied") << "" << 1000 << "";
        QTest::newRow("in range") << "3306" << 3306 << "3306";
    }
    void mysqlPortIsClampedWhenAButtonIsPressed() {
        QFETCH(QString, typed);
        QFETCH(int, written);
        QFETCH(QString, shownAfter);
        showActive();
        auto* port = child<NumericField>("MYSQL_PORT");
        port->setFocus(Qt::TabFocusReason);
        port->findChild<QLineEdit*>()->selectAll();
        QTest::keyClick(port, Qt::Key_Delete);
        QTest::keyClicks(port, typed);
        click("JvXPButton3");
        QCOMPARE(host.sender.sent.size(), std::size_t(1));
        const Bytes& b = host.sender.sent[0].bytes;
        QCOMPARE(b[19] << 8 | b[20], written);
        QCOMPARE(port->Model().Text(), shownAfter);
        QCOMPARE(port->findChild<QLineEdit*>()->text(), shownAfter);
    }

    void addressWithBlankOctetsIsWrittenAsZero() {
        showActive();
        auto* ip = child<tivaro::Ipv4Field>("IP_ADDRESS");
        for (int i = 0; i < 4; ++i) ip->octetEdit(i)->clear();
        ip->octetEdit(0)->setFocus();
        for (const QChar c : u"192.168"_s) QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        click("JvXPButton3");
        QCOMPARE(host.sender.sent.size(), std::size_t(1));
        QCOMPARE(Bytes(host.sender.sent[0].bytes.begin() + 3, host.sender.sent[0].bytes.begin() + 7),
                 (Bytes{192, 168, 0, 0}));
    }

    void cancel_data() {
        QTest::addColumn<bool>("answer");
        QTest::newRow("Nein") << false;
        QTest::newRow("Ja") << true;
    }
    void cancel() {
        QFETCH(bool, answer);
        confirmation.answer = answer;
        showActive();
        QTest::keyClicks(child<QLineEdit>("MYSQL_URL"), u"edited"_s);
        click("JvXPButton1");
        QCOMPARE(confirmation.questions, QStringList{u"Close without storing changes?"_s});
        QCOMPARE(form->isVisible(), !answer);
        QVERIFY(host.sender.sent.empty());
        QCOMPARE(host.sender.Closes(), 0);
        QVERIFY(host.log.isEmpty());
        QCOMPARE(child<QLineEdit>("MYSQL_URL")->text(), u"edited"_s);  // edits stay either way
    }

    void databaseTests_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("MY1 SELECT") << "JvXPButton12" << QByteArray("MY1");
        QTest::newRow("MY2 INSERT") << "JvXPButton13" << QByteArray("MY2");
    }
    void databaseTests() {
        QFETCH(QString, button);
        QFETCH(QByteArray, request);
        showActive();
        QTest::keyClicks(child<QLineEdit>("MYSQL_URL"), u"edited"_s);
        click(button.toLatin1().constData());
        QCOMPARE(host.sender.sent.size(), std::size_t(1));
        QCOMPARE(host.sender.sent[0].bytes, Bytes(request.begin(), request.end()));
        QCOMPARE(host.sender.sent[0].host, std::string("198.18.0.50"));
        QCOMPARE(host.sender.sent[0].port, std::uint16_t(40001));
        QCOMPARE(host.sender.sent[0].closesBefore, 1);
        QVERIFY(host.log.isEmpty());
        QVERIFY(form->isVisible());
    }

    void keys() {
        // Escape presses nothing; Enter presses only the focused button, never one from a text field.
        confirmation.answer = true;
        showActive();
        auto* url = child<QLineEdit>("MYSQL_URL");
        url->setFocus();
        QTest::keyClick(url, Qt::Key_Escape);
        QTest::keyClick(url, Qt::Key_Return);
        QVERIFY(form->isVisible());
        QVERIFY(host.sender.sent.empty() && confirmation.questions.isEmpty());
        auto* my1 = child<QPushButton>("JvXPButton12");
        my1->setFocus();
        QTest::keyClick(my1, Qt::Key_Return);
        QCOMPARE(host.sender.sent.size(), std::size_t(1));
        QTest::keyClick(my1, Qt::Key_Escape);
        QVERIFY(form->isVisible());
        form->close();  // a window-manager close request does not close it either
        QVERIFY(form->isVisible());
    }

    void wheelChangesNoField() {
        // Steps come only from the up/down buttons and the arrow keys, focused or not.
        showActive();
        auto* port = child<NumericField>("MYSQL_PORT");
        auto* ip = child<tivaro::Ipv4Field>("IP_ADDRESS");
        ip->setText(u"198.18.0.50"_s);
        auto* url = child<QLineEdit>("MYSQL_URL");
        url->setFocus();
        for (QWidget* target : {static_cast<QWidget*>(port), static_cast<QWidget*>(ip)}) {
            for (Qt::KeyboardModifier mod : {Qt::NoModifier, Qt::ControlModifier}) {
                tivaro::test::WheelOver(target, 3, mod);
                tivaro::test::WheelOver(target, -1, mod);
            }
        }
        QCOMPARE(QApplication::focusWidget(), url);  // a scroll takes no focus
        ip->octetEdit(2)->setFocus();
        tivaro::test::WheelOver(ip->octetEdit(2), 2);
        port->setFocus();
        tivaro::test::WheelOver(port, 2);
        QCOMPARE(port->text(), u"5000"_s);
        QCOMPARE(ip->text(), u"198.18.0.50"_s);
        QTest::keyClick(port, Qt::Key_Up);  // the arrow keys still step
        QCOMPARE(port->text(), u"5001"_s);
    }

    void typingLimits_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("limit");
        QTest::newRow("server") << "MYSQL_URL" << 50;
        QTest::newRow("user") << "MYSQL_User" << 15;
        QTest::newRow("pass") << "MYSQL_Pass" << 15;
    }
    void typingLimits() {
        QFETCH(QString, field);
        QFETCH(int, limit);
        showActive();
        auto* edit = form->findChild<LimitedLineEdit*>(field);
        QVERIFY(edit);
        edit->setFocus();
        QTest::keyClicks(edit, QString(limit + 5, u'a'));
        QCOMPARE(edit->text(), QString(limit, u'a'));

        // A longer text from a reply is shown whole; typing cannot lengthen it,
        // but the user can shorten it.
        const QString longText(limit + 30, u'r');
        edit->setFullText(longText);
        QCOMPARE(edit->text(), longText);
        edit->end(false);
        QTest::keyClicks(edit, u"xy"_s);
        QCOMPARE(edit->text(), longText);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text().size(), longText.size() - 1);
        // Shortened to within the limit, typing works again up to the limit.
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, QString(limit + 1, u'b'));
        QCOMPARE(edit->text(), QString(limit, u'b'));
        // In the middle of a text, typing keeps the cursor where it is.
        edit->setFullText(u"ac"_s);
        edit->setCursorPosition(1);
        QTest::keyClicks(edit, u"b"_s);
        QCOMPARE(edit->text(), u"abc"_s);
    }

    void replyFromAnotherUnitWhileOpenIsWrittenToTheTarget() {
        showActive();
        QTest::keyClicks(child<QLineEdit>("MYSQL_User"), u"unsaved"_s);
        form->HandleSettingsReply(ReplyBytes("other", "o", "x"));
        QCOMPARE(child<QLineEdit>("MYSQL_User")->text(), u"o"_s);
        click("JvXPButton3");
        QCOMPARE(host.sender.sent.size(), std::size_t(1));
        QCOMPARE(host.sender.sent[0].host, std::string("198.18.0.50"));
        QCOMPARE(host.sender.sent[0].port, std::uint16_t(40001));
    }

    void presetsAndDhcp() {
        auto* ip = child<tivaro::Ipv4Field>("IP_ADDRESS");
        auto* gw = child<tivaro::Ipv4Field>("GW_ADDRESS");
        auto* mask = child<tivaro::Ipv4Field>("MASK_ADDRESS");
        form->HandleSettingsReply(ReplyBytes("db", "u", "p"));
        form->PresetAddresses();
        QCOMPARE(ip->text(), u"0.0.0.0"_s);
        QCOMPARE(mask->text(), u"255.255.255.0"_s);
        QCOMPARE(gw->text(), u"0.0.0.0"_s);
        QCOMPARE(child<QLineEdit>("MYSQL_URL")->text(), u"db"_s);  // nothing else is touched

        auto* dhcp = child<QCheckBox>("DHCP_ON");
        dhcp->setChecked(true);
        mask->setEnabled(false);
        form->DHCP_ONMouseUp();
        QVERIFY(!ip->isEnabled() && !gw->isEnabled() && !mask->isEnabled());
        dhcp->setChecked(false);
        form->DHCP_ONMouseUp();
        QVERIFY(ip->isEnabled() && gw->isEnabled() && !mask->isEnabled());
        QCOMPARE(form->CollectSettings().DHCP_ON, false);
    }

    void showModalPlacement() {
        // First showing: centred on the work area; later: where it was left.
        QPoint firstPos;
        QTimer::singleShot(0, form.get(), [&] {
            firstPos = form->frameGeometry().center();
            QVERIFY(form->isModal());
            form->move(form->pos() + QPoint(40, 30));
            confirmation.answer = true;
            form->JvXPButton1Click();
        });
        form->ShowModal();
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2((firstPos - work.center()).manhattanLength() <= 3,
                 qPrintable(u"centre %1,%2 work %3,%4 %5x%6"_s.arg(firstPos.x())
                                .arg(firstPos.y())
                                .arg(work.x())
                                .arg(work.y())
                                .arg(work.width())
                                .arg(work.height())));
        QPoint secondPos;
        QTimer::singleShot(0, form.get(), [&] {
            secondPos = form->frameGeometry().center();
            form->JvXPButton1Click();
        });
        form->ShowModal();
        QCOMPARE(secondPos, firstPos + QPoint(40, 30));
    }
};

// The wait's real pump: an event posted from another thread (as the listener
// posts datagrams) wakes it long before its deadline, and with nothing to do
// it returns once the deadline has passed.
class EventCatcher final : public QObject {
public:
    int seen = 0;
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        ++seen;
        return true;
    }
};

class TestEventPump : public QObject {
    Q_OBJECT
private slots:
    void postedEventEndsTheBlock() {
        EventCatcher catcher;
        std::thread poster([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            QCoreApplication::postEvent(&catcher, new QEvent(QEvent::User));
        });
        QtEventPump pump;
        QElapsedTimer t;
        t.start();
        while (catcher.seen == 0 && t.elapsed() < 60000) pump.Pump(60000);
        poster.join();
        QCOMPARE(catcher.seen, 1);
        QVERIFY(t.elapsed() < 60000);
    }
    void silentPumpReturnsAfterItsDeadline() {
        QtEventPump pump;
        SteadyClock clock;
        const std::int64_t start = clock.NowMs();
        for (int pass = 0; pass < 1000 && clock.NowMs() - start <= 50; ++pass)
            pump.Pump(51 - (clock.NowMs() - start));
        QVERIFY(clock.NowMs() - start > 50);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestSetupDialog dialog;
    TestEventPump pump;
    return QTest::qExec(&dialog, argc, argv) | QTest::qExec(&pump, argc, argv);
}
#include "tst_setup_dialog.moc"
