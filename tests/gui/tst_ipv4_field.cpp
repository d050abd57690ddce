#include <QLineEdit>
#include <QTest>

#include "widgets/ipv4_field.h"

using namespace Qt::StringLiterals;

using tivaro::Ipv4Field;

class TestIpv4Field : public QObject {
    Q_OBJECT

private:
    // Types like a user: each key goes to whichever octet has the focus.
    static void type(Ipv4Field& field, const QString& keys) {
        for (const QChar c : keys) QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        Q_UNUSED(field);
    }
    static void showActive(Ipv4Field& field) {
        field.show();
        field.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&field));
    }

private slots:
    void assignText_data() {
        QTest::addColumn<QString>("assigned");
        QTest::addColumn<QString>("read");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("zeros") << "0.0.0.0"
                               << "0.0.0.0" << QStringList{u"0"_s, u"0"_s, u"0"_s, u"0"_s};
        QTest::newRow("mask") << "255.255.255.0"
                              << "255.255.255.0" << QStringList{u"255"_s, u"255"_s, u"255"_s, u"0"_s};
        QTest::newRow("address") << "198.18.0.50"
                                 << "198.18.0.50" << QStringList{u"198"_s, u"18"_s, u"0"_s, u"50"_s};
        QTest::newRow("over 255") << "300.1.2.3"
                                  << "255.1.2.3" << QStringList{u"255"_s, u"1"_s, u"2"_s, u"3"_s};
        QTest::newRow("short") << "10.1"
                               << "10.1.0.0" << QStringList{u"10"_s, u"1"_s, u""_s, u""_s};
        QTest::newRow("junk") << "a.-1.2.x"
                              << "0.0.2.0" << QStringList{u""_s, u""_s, u"2"_s, u""_s};
        QTest::newRow("empty") << ""
                               << "0.0.0.0" << QStringList{u""_s, u""_s, u""_s, u""_s};
    }
    void assignText() {
        QFETCH(QString, assigned);
        QFETCH(QString, read);
        QFETCH(QStringList, shown);
        Ipv4Field field;
        field.setText(assigned);
        QCOMPARE(field.text(), read);
        QStringList octets;
        for (int i = 0; i < 4; ++i) octets << field.octetEdit(i)->text();
        QCOMPARE(octets, shown);
    }

    void octetsAndBlanks() {
        Ipv4Field field;
        QCOMPARE(field.text(), u"0.0.0.0"_s);
        field.setOctets({192, 168, 1, 50});
        field.setOctet(3, 7);
        QCOMPARE(field.octetEdit(3)->text(), u"7"_s);
        field.octetEdit(2)->clear();
        QCOMPARE(field.octetOrBlank(2), std::nullopt);
        QCOMPARE(field.octet(2), std::uint8_t(0));
        QCOMPARE(field.octets(), (tivaro::Ipv4Octets{192, 168, 0, 7}));
        field.setEnabled(false);
        for (int i = 0; i < 4; ++i) QVERIFY(!field.octetEdit(i)->isEnabled());
    }

    void typing_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("read");
        // Typing starts in a cleared field at octet 0.
        QTest::newRow("dotted") << "192.168.1.20"
                                << "192.168.1.20";
        QTest::newRow("two octets") << "192.168"
                                    << "192.168.0.0";
        QTest::newRow("three digits move on") << "10020030"
                                              << "100.200.30.0";
        QTest::newRow("above 255 refused") << "256"
                                           << "25.0.0.0";
        QTest::newRow("999") << "999.1"
                             << "99.1.0.0";
        QTest::newRow("letters refused") << "1a2.b3"
                                         << "12.3.0.0";
        QTest::newRow("backspace back") << "1.2\b\b\b7"
                                        << "7.0.0.0";
    }
    void typing() {
        QFETCH(QString, keys);
        QFETCH(QString, read);
        Ipv4Field field;
        for (int i = 0; i < 4; ++i) field.octetEdit(i)->clear();
        showActive(field);
        field.octetEdit(0)->setFocus();
        for (const QChar c : keys) {
            if (c == u'\b')
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
            else
                QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        }
        QCOMPARE(field.text(), read);
        for (int i = 0; i < 4; ++i) QVERIFY(field.octetEdit(i)->text().toInt() <= 255);
    }
};

QTEST_MAIN(TestIpv4Field)
#include "tst_ipv4_field.moc"
