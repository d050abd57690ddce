// The confirmation dialog: title, icon, buttons, default button, and which
// answers confirm.
#include <QDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>

#include "widgets/confirm_dialog.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

// Runs action on the dialog once it is open, then returns the answer.
bool answer(const std::function<void(QMessageBox*)>& action) {
    QMessageBox* seen = nullptr;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || seen) return;
        seen = box;
        action(box);
    });
    poll.start();
    QTimer::singleShot(5000, [] {  // never hang: decline whatever is open
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
    DialogConfirmation confirmation;
    return confirmation.Confirm(QStringLiteral("All Units in same Subnet 192.168.1.XXX ?"));
}

}  // namespace

class TestConfirmDialog : public QObject {
    Q_OBJECT
private slots:
    void looksAsAQuestion();
    void answers_data();
    void answers();
    void belongsToTheModalDialogInFront();
};

void TestConfirmDialog::looksAsAQuestion() {
    const bool result = answer([](QMessageBox* box) {
        QCOMPARE(box->windowTitle(), QStringLiteral("Bestätigen"));
        QCOMPARE(box->text(), QStringLiteral("All Units in same Subnet 192.168.1.XXX ?"));
        QCOMPARE(box->icon(), QMessageBox::Question);
        QCOMPARE(box->buttons().size(), 2);
        QCOMPARE(box->defaultButton()->text(), QStringLiteral("&Ja"));
        QCOMPARE(box->escapeButton()->objectName(), QStringLiteral("Nein"));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QVERIFY((box->frameGeometry().center() - screen.center()).manhattanLength() <= 2);
        box->findChild<QPushButton*>(u"Nein"_s)->click();
    });
    QVERIFY(!result);
}

void TestConfirmDialog::answers_data() {
    QTest::addColumn<int>("how");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("Ja") << 0 << true;
    QTest::newRow("Enter takes the default") << 1 << true;
    QTest::newRow("Nein") << 2 << false;
    QTest::newRow("Escape") << 3 << false;
    QTest::newRow("closed") << 4 << false;
}

void TestConfirmDialog::answers() {
    QFETCH(int, how);
    QFETCH(bool, confirmed);
    const bool result = answer([how](QMessageBox* box) {
        switch (how) {
            case 0:
                box->findChild<QPushButton*>(u"Ja"_s)->click();
                break;
            case 1:
                QTest::keyClick(box, Qt::Key_Return);
                break;
            case 2:
                box->findChild<QPushButton*>(u"Nein"_s)->click();
                break;
            case 3:
                QTest::keyClick(box, Qt::Key_Escape);
                break;
            default:
                box->close();
                break;
        }
    });
    QCOMPARE(result, confirmed);
}

void TestConfirmDialog::belongsToTheModalDialogInFront() {
    // The setup dialog stays on top: a question without an owner, or one not on
    // top itself, would open behind it.
    QDialog dialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
    dialog.resize(300, 200);
    QWidget* owner = nullptr;
    bool onTop = false;
    QRect frame;
    QTimer::singleShot(0, &dialog, [&] {
        answer([&](QMessageBox* box) {
            owner = box->parentWidget();
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            frame = box->frameGeometry();
            box->findChild<QPushButton*>(u"Nein"_s)->click();
        });
        dialog.reject();
    });
    dialog.exec();
    QCOMPARE(owner, static_cast<QWidget*>(&dialog));
    QVERIFY(onTop);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY2((frame.center() - screen.center()).manhattanLength() <= 2,
             "centred on the screen, not on its owner");
}

QTEST_MAIN(TestConfirmDialog)
#include "tst_confirm_dialog.moc"
