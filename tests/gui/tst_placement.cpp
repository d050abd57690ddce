// The placement store hooked into a real top-level widget on a virtual
// 1920 x 1080 screen (offscreen platform with a screen layout file).
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "core/command_boundary.h"
#include "shell/registry_file.h"
#include "shell/widget_placement.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

// A main window that notes where it stood when its own show handler ran.
class Form : public QWidget {
public:
    Form() {
        setObjectName("Form1");
        setFixedSize(400, 300);
    }
    QPoint posAtShow{-999, -999};
    int shows = 0;
    bool refuseClose = false;
    bool failShow = false;

protected:
    void showEvent(QShowEvent*) override {
        ++shows;
        posAtShow = frameGeometry().topLeft();
        if (failShow) throw std::runtime_error("Socket konnte nicht gebunden werden.");
    }
    void closeEvent(QCloseEvent* e) override {
        if (refuseClose) e->ignore();
    }
};

QByteArray fileText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestPlacement : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file() const { return m_dir.filePath(u"KOVELA.reg"_s); }

    void writeFile(const QByteArray& values) {
        QFile f(file());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\dornik\\KOVELA\\Form1]\n" +
            values);
    }

private slots:
    void init() { QFile::remove(file()); }

    void firstRunCentresOnTheWorkAreaThenReopensWhereLeft() {
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(QGuiApplication::primaryScreen()->virtualSize(), QSize(1920, 1080));
        {
            RegistryFileStorage store(file());
            Form form;
            FormPlacementHook hook(form, &store);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            const QSize outer = form.frameGeometry().size();
            QCOMPARE(form.frameGeometry().topLeft(),
                     QPoint((work.width() - outer.width()) / 2, (work.height() - outer.height()) / 2));
            form.move(100, 50);
            QTRY_COMPARE(form.frameGeometry().topLeft(), QPoint(100, 50));
            QVERIFY(form.close());
            hook.DestroyStep();
            QVERIFY(hook.Storage().Saved());
        }
        const QByteArray text = fileText(file());
        for (const char* expected :
             {R"x("FormVersion"=dword:00000000)x", R"x("ShowCmd"=dword:00000001)x",
              R"x("PixelsPerInch"=dword:00000060)x", R"x("NormPos"="100,50,)x",
              R"x("NormPos(1920x1080)"="100,50,)x", R"x("MinMaxPos"=")x", R"x("MinMaxPos(1920x1080)"=")x"})
            QVERIFY2(text.contains(expected), expected);

        RegistryFileStorage store(file());
        Form again;
        FormPlacementHook hook(again, &store);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.posAtShow, QPoint(100, 50));  // restored before the window's own show handler
        QCOMPARE(again.frameGeometry().topLeft(), QPoint(100, 50));
        QCOMPARE(again.size(), QSize(400, 300));
        again.hide();
        again.show();
        QCOMPARE(again.shows, 2);
        QCOMPARE(again.frameGeometry().topLeft(), QPoint(100, 50));
    }

    void storedMinimisedStateMinimisesRightAfterStart() {
        writeFile(
            "\"ShowCmd\"=dword:00000002\n\"NormPos\"=\"200,100,0,0\"\n\"PixelsPerInch\"=dword:00000060\n");
        RegistryFileStorage store(file());
        Form form;
        FormPlacementHook hook(form, &store);
        form.show();
        QVERIFY(form.isVisible());
        QTRY_VERIFY(form.isMinimized());
        form.showNormal();
        QCOMPARE(form.frameGeometry().topLeft(), QPoint(200, 100));
    }

    void positionBeyondTheScreenIsCentred() {
        writeFile("\"NormPos\"=\"1700,900,0,0\"\n\"PixelsPerInch\"=dword:00000060\n");
        RegistryFileStorage store(file());
        Form form;
        FormPlacementHook hook(form, &store);
        form.show();
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(form.frameGeometry().left(), (work.width() - form.frameGeometry().width()) / 2);
    }

    void refusedCloseStoresNothing() {
        RegistryFileStorage store(file());
        Form form;
        FormPlacementHook hook(form, &store);
        int closed = 0;
        hook.SetClosedHandler([&] { ++closed; });
        form.show();
        form.refuseClose = true;
        QVERIFY(!form.close());
        QVERIFY(form.isVisible());
        QCOMPARE(closed, 0);
        QVERIFY(!QFile::exists(file()));
        form.refuseClose = false;
        QVERIFY(form.close());
        QCOMPARE(closed, 1);
        QVERIFY(QFile::exists(file()));
    }

    void errorInTheShowHandlerIsShownAndTheWindowStillOpens() {
        QStringList shown;
        SetErrorDisplay([&](const std::exception& e) { shown << QString::fromUtf8(e.what()); });
        RegistryFileStorage store(file());
        Form form;
        form.failShow = true;
        FormPlacementHook hook(form, &store);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(shown, QStringList{u"Socket konnte nicht gebunden werden."_s});
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(form.frameGeometry().left(), (work.width() - form.frameGeometry().width()) / 2);
        SetErrorDisplay({});
    }

    void storeErrorAtCloseIsShownAndTheCloseGoesOn() {
        QStringList shown;
        SetErrorDisplay([&](const std::exception& e) { shown << QString::fromUtf8(e.what()); });
        QFile blocker(m_dir.filePath(u"blocker"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        RegistryFileStorage store(m_dir.filePath(u"blocker/KOVELA.reg"_s));
        Form form;
        FormPlacementHook hook(form, &store);
        form.show();
        QVERIFY(form.close());
        QVERIFY(!form.isVisible());
        QCOMPARE(
            shown,
            QStringList{
                u"Unable to open key \"HKEY_CURRENT_USER\\Software\\dornik\\KOVELA\\Form1\" for write"_s});
        SetErrorDisplay({});
    }
};

int main(int argc, char** argv) {
    // One 1920 x 1080 screen at 96 dpi, unless the run asks for another platform.
    QTemporaryDir layoutDir;
    if (qEnvironmentVariable("QT_QPA_PLATFORM", u"offscreen"_s) == u"offscreen"_s) {
        const QString layout = layoutDir.filePath(u"screens.json"_s);
        QFile f(layout);
        if (f.open(QIODevice::WriteOnly))
            f.write(
                R"({"screens":[{"name":"A","x":0,"y":0,"width":1920,"height":1080,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})");
        f.close();
        qputenv("QT_QPA_PLATFORM", (u"offscreen:configfile="_s + layout).toLocal8Bit());
    }
    QApplication app(argc, argv);
    TestPlacement test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_placement.moc"
