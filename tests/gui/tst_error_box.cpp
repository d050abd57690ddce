// The standard error box as the user sees it.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "core/command_boundary.h"
#include "widgets/error_box.h"

using namespace Qt::StringLiterals;

class TestErrorBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName(u"Tivaro-manager"_s);
        tivaro::SetStandardErrorDisplay(tivaro::ShowStandardErrorBox);
    }

    void boxShowsTheMessageWithTheFullStopRule_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("conversion") << QString::fromUtf8("''abc'' ist kein gültiger Integer-Wert")
                                    << QString::fromUtf8("''abc'' ist kein gültiger Integer-Wert.");
        QTest::newRow("bind")
            << "Socket konnte nicht gebunden werden. Adresse und Port werden bereits verwendet."
            << "Socket konnte nicht gebunden werden. Adresse und Port werden bereits verwendet.";
        QTest::newRow("socket error") << "Socket-Fehler # 10065\r\n"
                                      << "Socket-Fehler # 10065\r\n";
    }
    void boxShowsTheMessageWithTheFullStopRule() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QWidget window;
        window.setObjectName("Form1");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();

        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        Qt::WindowModality modality = Qt::NonModal;
        bool windowBlocked = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            modality = box->windowModality();
            windowBlocked = !window.isEnabled() || QApplication::activeModalWidget() != &window;
            box->button(QMessageBox::Ok)->click();
        });
        bool after = false;
        tivaro::RunCommand([&] {
            throw std::runtime_error(message.toStdString());
            after = true;
        });
        QVERIFY(!after);
        QCOMPARE(title, u"Tivaro-manager"_s);
        QCOMPARE(text, shown);
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(modality, Qt::ApplicationModal);
        QVERIFY(windowBlocked);
    }

    void silentAbortShowsNoBox() {
        bool boxSeen = false;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxSeen = true;
                box->accept();
            }
        });
        tivaro::RunCommand([] { throw tivaro::SilentAbort(); });
        QCoreApplication::processEvents();
        QVERIFY(!boxSeen);
    }
};

QTEST_MAIN(TestErrorBox)
#include "tst_error_box.moc"
