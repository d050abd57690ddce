// The platform the manager starts on: the decision from the environment, and
// the real program started where no X server answers (one line, exit 1,
// instead of Qt's abort).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include "shell/display_platform.h"

using namespace Qt::StringLiterals;

using tivaro::ChoosePlatform;
using tivaro::PlatformChoice;
using Kind = PlatformChoice::Kind;

namespace {

std::optional<std::string> opt(const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; }

// A display number with no X server on this machine.
QString deadDisplay() {
    for (int n = 93; n < 200; ++n)
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) &&
            !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            return QStringLiteral(":%1").arg(n);
    return {};
}

}  // namespace

class TestDisplayPlatform : public QObject {
    Q_OBJECT
private slots:
    void choice_data();
    void choice();
    void noDisplayEndsWithOneLine_data();
    void noDisplayEndsWithOneLine();
};

void TestDisplayPlatform::choice_data() {
    QTest::addColumn<QString>("qpa");  // "-" for unset
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("wayland");
    QTest::addColumn<bool>("xAnswers");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");
    const int leave = int(Kind::LeaveToQt), xcb = int(Kind::UseXcb), none = int(Kind::NoDisplay);
    QTest::newRow("X11 session") << "-"
                                 << ":0"
                                 << "-" << true << xcb << "";
    QTest::newRow("Wayland with XWayland") << "-"
                                           << ":0"
                                           << "wayland-0" << true << xcb << "";
    QTest::newRow("Wayland without X") << "-"
                                       << "-"
                                       << "wayland-0" << false << leave << "";
    QTest::newRow("Wayland, X silent") << "-"
                                       << ":0"
                                       << "wayland-0" << false << leave << "";
    QTest::newRow("empty choice counts as none") << ""
                                                 << ":0"
                                                 << "wayland-0" << true << xcb << "";
    QTest::newRow("no DISPLAY") << "-"
                                << "-"
                                << "-" << false << none << "cannot open a display: DISPLAY is not set";
    QTest::newRow("empty DISPLAY") << "-"
                                   << ""
                                   << "-" << false << none << "cannot open a display: DISPLAY is not set";
    QTest::newRow("silent display") << "-"
                                    << ":7"
                                    << "-" << false << none
                                    << "cannot open display \":7\": no X server answers there";
    QTest::newRow("user's xcb, silent")
        << "xcb"
        << ":7"
        << "-" << false << none << "cannot open display \":7\": no X server answers there";
    QTest::newRow("user's xcb") << "xcb"
                                << ":7"
                                << "-" << true << leave << "";
    QTest::newRow("user's offscreen") << "offscreen"
                                      << "-"
                                      << "-" << false << leave << "";
    QTest::newRow("user's wayland") << "wayland"
                                    << ":0"
                                    << "wayland-0" << true << leave << "";
}

void TestDisplayPlatform::choice() {
    QFETCH(QString, qpa);
    QFETCH(QString, display);
    QFETCH(QString, wayland);
    QFETCH(bool, xAnswers);
    QFETCH(int, kind);
    QFETCH(QString, message);
    const auto env = [](const QString& v) { return v == u"-"_s ? std::nullopt : opt(qPrintable(v)); };
    QStringList asked;
    const PlatformChoice c = ChoosePlatform(env(qpa), env(display), env(wayland), [&](const std::string& d) {
        asked << QString::fromStdString(d);
        return xAnswers;
    });
    QCOMPARE(int(c.kind), kind);
    QCOMPARE(QString::fromStdString(c.message), message);
    // The X server is asked only about the display named, and never for another platform.
    for (const QString& d : asked) QCOMPARE(d, display);
    if (qpa != u"-"_s && !qpa.isEmpty() && qpa != u"xcb"_s) QVERIFY(asked.isEmpty());
}

void TestDisplayPlatform::noDisplayEndsWithOneLine_data() {
    QTest::addColumn<QString>("qpa");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("named");
    const QString dead = deadDisplay();
    QTest::newRow("no DISPLAY") << QString() << QString() << "DISPLAY";
    QTest::newRow("silent display") << QString() << dead << u"\""_s + dead + u"\""_s;
    QTest::newRow("xcb chosen, silent display") << "xcb" << dead << u"\""_s + dead + u"\""_s;
}

void TestDisplayPlatform::noDisplayEndsWithOneLine() {
    QFETCH(QString, qpa);
    QFETCH(QString, display);
    QFETCH(QString, named);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromUtf8(name));
    if (!qpa.isEmpty()) env.insert(u"QT_QPA_PLATFORM"_s, qpa);
    if (!display.isEmpty()) env.insert(u"DISPLAY"_s, display);
    QProcess manager;
    manager.setProcessEnvironment(env);
    manager.start(qEnvironmentVariable("TIVARO_BUILD_DIR") + u"/shell/tivaro-manager"_s, {});
    QVERIFY(manager.waitForFinished(30000));
    QCOMPARE(manager.exitStatus(), QProcess::NormalExit);
    QCOMPARE(manager.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(manager.readAllStandardError());
    QCOMPARE(err.count(u'\n'), 1);
    QVERIFY2(err.startsWith(u"tivaro-manager: "_s) && err.contains(named), qPrintable(err));
    QVERIFY(manager.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestDisplayPlatform)
#include "tst_display_platform.moc"
