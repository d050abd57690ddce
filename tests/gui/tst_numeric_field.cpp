// The numeric field widget: typing filter with its beep, paste, steps and
// leaving the field, against the model it is bound to.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QLocale>
#include <QTest>

#include "widgets/numeric_field.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

class TestNumericField : public QObject {
    Q_OBJECT
private slots:
    void typedKeys_data();
    void typedKeys();
    void pasteIsNotFiltered();
    void stepsAndLeavingClampIntoTheBounds();
    void boundModelAndWidgetShowTheSameText();
};

void TestNumericField::typedKeys_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    const QString sep = QLocale::system().decimalPoint();
    QTest::newRow("digits") << "1234"
                            << "1234";
    QTest::newRow("signs") << "-+12"
                           << "-+12";
    QTest::newRow("letters refused") << "1a2B$x"
                                     << "12";
    QTest::newRow("blank refused") << "1 2"
                                   << "12";
    QTest::newRow("decimal separator") << (u"1"_s + sep + u"5"_s) << (u"1"_s + sep + u"5"_s);
}

void TestNumericField::typedKeys() {
    QFETCH(QString, keys);
    QFETCH(QString, text);
    NumericField field;
    field.Model().SetText({});
    field.show();
    QTest::keyClicks(&field, keys);
    QCOMPARE(field.Model().Text(), text);
    QCOMPARE(field.text(), text);
}

void TestNumericField::pasteIsNotFiltered() {
    NumericField field;
    field.show();
    QApplication::clipboard()->setText(QStringLiteral("$1F"));
    field.selectAll();
    QTest::keyClick(&field, Qt::Key_V, Qt::ControlModifier);
    if (field.text() != QStringLiteral("$1F")) QSKIP("no clipboard on this platform");
    QCOMPARE(field.Value(), 31);
    // Enter is refused and changes nothing.
    QTest::keyClick(&field, Qt::Key_Return);
    QCOMPARE(field.text(), QStringLiteral("$1F"));
}

void TestNumericField::stepsAndLeavingClampIntoTheBounds() {
    tivaro::NumericFieldModel port{65534, 0, 65535};
    QWidget window;
    auto* field_ = new NumericField(&window);
    auto* other_ = new QLineEdit(&window);
    other_->move(0, 40);
    NumericField& field = *field_;
    QLineEdit& other = *other_;
    field.Bind(port);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&field, Qt::Key_Up);
    QTest::keyClick(&field, Qt::Key_Up);
    QCOMPARE(port.Text(), QStringLiteral("65535"));
    // Typing may leave the range; leaving the field clamps.
    field.setFocus();
    QTest::keyClick(&field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(&field, u"99999"_s);
    QCOMPARE(port.Value(), 99999);
    other.setFocus();
    QApplication::processEvents();
    if (field.hasFocus()) QSKIP("focus does not move on this platform");
    QCOMPARE(port.Text(), QStringLiteral("65535"));
    field.setFocus();
    QTest::keyClick(&field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(&field, u"--"_s);
    other.setFocus();
    QApplication::processEvents();
    QCOMPARE(field.text(), QStringLiteral("--"));  // unreadable text stays
    QCOMPARE(port.Value(), 0);
    QTest::keyClick(&field, Qt::Key_Down);
    QCOMPARE(port.Text(), QStringLiteral("0"));
    QTest::keyClick(&field, Qt::Key_PageUp);  // only the arrows step
    QCOMPARE(port.Text(), QStringLiteral("0"));
}

void TestNumericField::boundModelAndWidgetShowTheSameText() {
    tivaro::NumericFieldModel model{192};
    {
        NumericField field;
        field.Bind(model);
        QCOMPARE(field.text(), QStringLiteral("192"));
        model.SetValue(-7);
        QCOMPARE(field.text(), QStringLiteral("-7"));
        field.Unbind();
        model.SetValue(5);
        QCOMPARE(field.text(), QStringLiteral("-7"));
    }
    model.SetValue(6);  // the field is gone: no call into it
    QCOMPARE(model.Text(), QStringLiteral("6"));
}

QTEST_MAIN(TestNumericField)
#include "tst_numeric_field.moc"
