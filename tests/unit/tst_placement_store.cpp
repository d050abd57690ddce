// The placement store: the registry-export file and the save/restore rules,
// on a virtual screen layout.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>
#include <vector>

#include "core/command_boundary.h"
#include "shell/form_storage.h"
#include "shell/registry_file.h"

using namespace tivaro;
using namespace Qt::StringLiterals;

namespace {

// A window on a virtual desktop: what the store applies is recorded.
class FakeWindow final : public PlacementWindow {
public:
    QString Name() const override { return u"Form1"_s; }
    bool IsVisible() const override { return visible; }
    bool IsMainWindow() const override { return true; }
    bool ApplicationMinimized() const override { return appMinimized; }
    WindowPlacement Placement() const override { return placement; }
    void ApplyPlacement(const WindowPlacement& p) override {
        placement.flags = p.flags;
        placement.minPosition = p.minPosition;
        placement.maxPosition = p.maxPosition;
        placement.left = p.left;
        placement.top = p.top;
        placement.right = p.right;
        placement.bottom = p.bottom;
        appliedShowCmds.push_back(p.showCmd);
    }
    QSize Size() const override {
        return {placement.right - placement.left, placement.bottom - placement.top};
    }
    void SetPositionAsPlaced() override { centred = false; }
    void SetState(WindowState s) override { state = s; }
    void PostApplicationMinimize() override { ++minimizeRequests; }
    QSize DialogFrame() const override { return {3, 3}; }
    QSize DesktopSize() const override { return desktop; }
    int PixelsPerInch() const override { return ppi; }
    QList<QRect> Screens() const override { return screens; }

    void moveTo(int x, int y) {
        const QSize s = Size();
        placement.left = x;
        placement.top = y;
        placement.right = x + s.width();
        placement.bottom = y + s.height();
    }

    bool visible = false;
    bool appMinimized = false;
    bool centred = true;
    WindowPlacement placement{0, 1, {-1, -1}, {-1, -1}, 0, 0, 500, 400};
    WindowState state = WindowState::Normal;
    int minimizeRequests = 0;
    std::vector<int> appliedShowCmds;
    QSize desktop{1920, 1080};
    int ppi = 96;
    QList<QRect> screens = QList<QRect>() << QRect(0, 0, 1920, 1080);
};

// An in-memory store that keeps the order of writes.
class MemoryStore final : public PlacementValueStore {
public:
    int ReadInteger(const QString& p, int d) override {
        auto it = values.find(p);
        if (it == values.end()) return d;
        bool ok = false;
        const int n = it->second.toString().toInt(&ok);
        return ok ? n : d;
    }
    void WriteInteger(const QString& p, int v) override { write(p, v); }
    QString ReadString(const QString& p, const QString& d) override {
        auto it = values.find(p);
        return it == values.end() ? d : it->second.toString();
    }
    void WriteString(const QString& p, const QString& v) override { write(p, v); }
    bool ValueStored(const QString& p) override { return values.count(p) != 0; }

    void write(const QString& p, const QVariant& v) {
        if (failAt == int(order.size())) throw std::runtime_error("Unable to open key");
        values[p] = v;
        order.push_back(p);
    }
    std::map<QString, QVariant> values;
    std::vector<QString> order;
    int failAt = -1;
};

// One run of the program: restore at the first show, store at the close.
void runOnce(FakeWindow& w, PlacementValueStore& store, int moveX = -1, int moveY = -1) {
    FormStorage fs(w, &store);
    fs.FormShowStep();
    w.visible = true;
    if (moveX >= 0) w.moveTo(moveX, moveY);
    fs.CloseQueryStep();
    fs.DestroyStep();
    w.visible = false;
}

TEST(PlacementStore, StoreThenRestoreAt100x50) {
    MemoryStore store;
    FakeWindow first;
    runOnce(first, store, 100, 50);
    const std::vector<QString> expectedOrder = {u"Form1\\FormVersion"_s,
                                                u"Form1\\ShowCmd"_s,
                                                u"Form1\\Flags"_s,
                                                u"Form1\\PixelsPerInch"_s,
                                                u"Form1\\MinMaxPos(1920x1080)"_s,
                                                u"Form1\\MinMaxPos"_s,
                                                u"Form1\\NormPos(1920x1080)"_s,
                                                u"Form1\\NormPos"_s};
    EXPECT_EQ(store.order, expectedOrder);  // stored once: the destroy step adds nothing
    EXPECT_EQ(store.values[u"Form1\\FormVersion"_s], 0);
    EXPECT_EQ(store.values[u"Form1\\ShowCmd"_s], 1);
    EXPECT_EQ(store.values[u"Form1\\PixelsPerInch"_s], 96);
    EXPECT_EQ(store.values[u"Form1\\NormPos"_s].toString(), u"100,50,600,450"_s);
    EXPECT_EQ(store.values[u"Form1\\NormPos(1920x1080)"_s].toString(), u"100,50,600,450"_s);
    EXPECT_EQ(store.values[u"Form1\\MinMaxPos"_s].toString(), u"-1,-1,-3,-3"_s);

    FakeWindow second;
    FormStorage fs(second, &store);
    fs.FormShowStep();
    EXPECT_FALSE(second.centred);
    EXPECT_EQ(second.placement.left, 100);
    EXPECT_EQ(second.placement.top, 50);
    EXPECT_EQ(second.Size(), QSize(500, 400));
    EXPECT_EQ(second.state, WindowState::Normal);
    // Applying never shows the still hidden window.
    for (int cmd : second.appliedShowCmds) EXPECT_EQ(cmd, 0);
}

TEST(PlacementStore, MinimisedApplicationStoresShowCmd2AndMinimisesAfterStart) {
    MemoryStore store;
    {
        FakeWindow w;
        FormStorage fs(w, &store);
        fs.FormShowStep();
        w.visible = true;
        w.appMinimized = true;
        fs.CloseQueryStep();
    }
    EXPECT_EQ(store.values[u"Form1\\ShowCmd"_s], 2);
    FakeWindow next;
    FormStorage fs(next, &store);
    fs.FormShowStep();
    EXPECT_EQ(next.state, WindowState::Normal);
    EXPECT_EQ(next.minimizeRequests, 1);
}

TEST(PlacementStore, ShowCmdValues) {
    const struct {
        int showCmd;
        WindowState state;
        int minimizeRequests;
    } cases[] = {{1, WindowState::Normal, 0},    {5, WindowState::Normal, 0}, {9, WindowState::Normal, 0},
                 {2, WindowState::Normal, 1},    {6, WindowState::Normal, 1}, {7, WindowState::Normal, 1},
                 {3, WindowState::Maximized, 0}, {0, WindowState::Normal, 0}, {4, WindowState::Normal, 0},
                 {-1, WindowState::Normal, 0}};
    for (const auto& c : cases) {
        MemoryStore store;
        store.values[u"Form1\\ShowCmd"_s] = c.showCmd;
        FakeWindow w;
        w.state = WindowState::Minimized;  // shows that the store always sets a state
        FormStorage fs(w, &store);
        fs.FormShowStep();
        EXPECT_EQ(w.state, c.state) << c.showCmd;
        EXPECT_EQ(w.minimizeRequests, c.minimizeRequests) << c.showCmd;
        EXPECT_TRUE(w.centred) << "no position stored, so the window is centred";
    }
}

TEST(PlacementStore, SuffixedValuePreferredOnItsDesktopSize) {
    MemoryStore store;
    store.values[u"Form1\\NormPos(1920x1080)"_s] = u"10,10,20,20"_s;
    store.values[u"Form1\\NormPos"_s] = u"500,500,510,510"_s;
    store.values[u"Form1\\PixelsPerInch"_s] = 96;
    const struct {
        QSize desktop;
        QList<QRect> screens;
        QPoint expected;
    } cases[] = {
        {{1920, 1080}, {QRect(0, 0, 1920, 1080)}, {10, 10}},
        {{3840, 1080}, {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1920, 1080)}, {500, 500}},
        {{1280, 1024}, {QRect(0, 0, 1280, 1024)}, {500, 500}},
    };
    for (const auto& c : cases) {
        FakeWindow w;
        w.placement = {0, 1, {-1, -1}, {-1, -1}, 0, 0, 300, 200};
        w.desktop = c.desktop;
        w.screens = c.screens;
        FormStorage fs(w, &store);
        fs.FormShowStep();
        EXPECT_EQ(QPoint(w.placement.left, w.placement.top), c.expected) << c.desktop.width();
        // Right and bottom are not taken: the window keeps its own size.
        EXPECT_EQ(w.Size(), QSize(300, 200));
    }
}

TEST(PlacementStore, PositionNotAppliedWhenOffScreenOrOtherResolution) {
    const struct {
        const char* normPos;
        int storedPpi;
        bool applied;
    } cases[] = {
        {"1400,600,0,0", 96, true},   // bottom-right corner 1899,999 is on the screen
        {"1500,600,0,0", 96, false},  // reaches beyond the right edge
        {"100,700,0,0", 96, false},   // beyond the bottom edge
        {"-10,10,0,0", 96, false},    // left of the desktop
        // At the ends of the 32-bit range (the first one's far corner lies beyond it).
        {"2147483000,2147483000,0,0", 96, false},
        {"-2147483648,0,0,0", 96, false},
        {"100,50,0,0", 120, false},   // another resolution
        {"100", 96, true},            // missing top keeps the current one
        {"abc,50", 96, true},         // non-numeric left keeps the current one
        {"  100 ,, 50  ", 96, true},  // blanks and commas in any mix
    };
    for (const auto& c : cases) {
        MemoryStore store;
        store.values[u"Form1\\NormPos"_s] = QString::fromUtf8(c.normPos);
        store.values[u"Form1\\PixelsPerInch"_s] = c.storedPpi;
        store.values[u"Form1\\ShowCmd"_s] = 3;
        FakeWindow w;
        w.placement = {0, 1, {-1, -1}, {-1, -1}, 7, 8, 507, 408};
        FormStorage fs(w, &store);
        fs.FormShowStep();
        EXPECT_EQ(!w.centred, c.applied) << c.normPos;
        EXPECT_EQ(w.state, WindowState::Maximized) << "the show state is restored in any case: " << c.normPos;
    }
    // The words that are missing or not numbers fall back to the current values.
    MemoryStore store;
    store.values[u"Form1\\NormPos"_s] = u"abc,50"_s;
    FakeWindow w;
    w.placement = {0, 1, {-1, -1}, {-1, -1}, 7, 8, 507, 408};
    FormStorage fs(w, &store);
    fs.FormShowStep();
    EXPECT_EQ(QPoint(w.placement.left, w.placement.top), QPoint(7, 50));
}

TEST(PlacementStore, NegativeFormVersionRestoresNothingAndIsRewritten) {
    MemoryStore store;
    store.values[u"Form1\\FormVersion"_s] = -1;
    store.values[u"Form1\\NormPos"_s] = u"100,50,0,0"_s;
    store.values[u"Form1\\ShowCmd"_s] = 3;
    FakeWindow w;
    runOnce(w, store);
    EXPECT_TRUE(w.centred);
    EXPECT_EQ(w.state, WindowState::Normal);
    EXPECT_EQ(store.values[u"Form1\\FormVersion"_s], 0);
    EXPECT_EQ(store.order.size(), 8u) << "the placement is still stored, since a restore was attempted";
}

TEST(PlacementStore, DestroyStoresOnlyWhenTheCloseDidNot) {
    // Destroyed without a close query: the destroy step stores.
    MemoryStore store;
    FakeWindow w;
    FormStorage fs(w, &store);
    fs.FormShowStep();
    fs.DestroyStep();
    EXPECT_EQ(store.order.size(), 8u);
    // Never shown: only the version, since no restore was attempted.
    MemoryStore unshown;
    FakeWindow w2;
    FormStorage fs2(w2, &unshown);
    fs2.DestroyStep();
    EXPECT_EQ(unshown.order, std::vector<QString>{u"Form1\\FormVersion"_s});
}

TEST(PlacementStore, WriteErrorEndsTheStoreAndGoesToTheErrorDisplay) {
    QStringList shown;
    SetErrorDisplay([&](const std::exception& e) { shown << QString::fromUtf8(e.what()); });
    MemoryStore store;
    store.failAt = 2;
    FakeWindow w;
    FormStorage fs(w, &store);
    fs.FormShowStep();
    fs.CloseQueryStep();
    EXPECT_EQ(store.order.size(), 2u);
    EXPECT_EQ(shown.size(), 1);
    EXPECT_FALSE(fs.Saved());
    SetErrorDisplay({});
}

TEST(PlacementStore, StoragePathJoining) {
    EXPECT_EQ(JoinStoragePath(u"Form1\\"_s, u"NormPos"_s), u"Form1\\NormPos"_s);
    EXPECT_EQ(JoinStoragePath(u"\\\\Form1\\\\"_s, u"\\\\"_s), u""_s);
    EXPECT_EQ(JoinStoragePath(u"Form1\\"_s, u"\\Other\\X"_s), u"Other\\X"_s);
    EXPECT_EQ(JoinStoragePath(u""_s, u""_s), u""_s);
    FakeWindow w;
    MemoryStore store;
    FormStorage fs(w, &store);
    fs.SetAppStoragePath(u"Pre_%form_name%_Post"_s);
    fs.SaveFormPlacement();
    EXPECT_EQ(store.order.front(), u"Pre_Form1_Post\\FormVersion"_s);
}

// ---- the file ----

TEST(RegistryFile, RoundTripKeepsNamesTypesAndTexts) {
    QSettings::SettingsMap map;
    map[u"Form1/FormVersion"_s] = 0;
    map[u"Form1/Flags"_s] = -2;
    map[u"Form1/NormPos(1920x1080)"_s] = u"100,50,600,450"_s;
    map[u"Form1/Text"_s] = QString::fromUtf8("a \"quoted\" \\ Wörd");
    const QByteArray text = WriteRegistryExport(map);
    EXPECT_TRUE(text.startsWith("Windows Registry Editor Version 5.00\n"));
    EXPECT_TRUE(text.contains("[HKEY_CURRENT_USER\\Software\\dornik\\KOVELA\\Form1]\n"));
    EXPECT_TRUE(text.contains("\"FormVersion\"=dword:00000000\n"));
    EXPECT_TRUE(text.contains("\"Flags\"=dword:fffffffe\n"));
    EXPECT_TRUE(text.contains("\"NormPos(1920x1080)\"=\"100,50,600,450\"\n"));
    const QSettings::SettingsMap back = ParseRegistryExport(text);
    EXPECT_EQ(back, map);
    EXPECT_EQ(back[u"Form1/Flags"_s].typeId(), QMetaType::Int);
    EXPECT_EQ(back[u"Form1/NormPos(1920x1080)"_s].typeId(), QMetaType::QString);
}

TEST(RegistryFile, DamagedOrForeignFilesReadAsEmpty) {
    const char* texts[] = {
        "garbage\x01\x02",
        "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\Software\\x]\n\"a\"=dword:00000001\n",
        "Windows Registry Editor Version 5.00\n\"a\"=dword:00000001\n",
        "Windows Registry Editor Version "
        "5.00\n[HKEY_CURRENT_USER\\Software\\dornik\\KOVELA\\Form1]\n\"a\"=dword:1\n",
        "Windows Registry Editor Version "
        "5.00\n[HKEY_CURRENT_USER\\Software\\dornik\\KOVELA\\Form1]\n\"a\"=\"open\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\dornik\\KOVELA\\Form1\n",
        "\xff\xfe\x00\x00",
    };
    for (const char* t : texts) EXPECT_TRUE(ParseRegistryExport(QByteArray(t)).isEmpty()) << t;
}

TEST(RegistryFile, StorageOnDiskSurvivesDamageAndReplacesIt) {
    QTemporaryDir dir;
    const QString file = dir.filePath(u"KOVELA.reg"_s);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\x89PNG not a registry file at all\n");
    }
    {
        RegistryFileStorage store(file);
        EXPECT_EQ(store.ReadInteger(u"Form1\\FormVersion"_s, 42), 42);
        EXPECT_FALSE(store.ValueStored(u"Form1\\NormPos"_s));
        store.WriteInteger(u"Form1\\ShowCmd"_s, 1);
        store.WriteString(u"Form1\\NormPos"_s, u"100,50,600,450"_s);
    }
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_EQ(text, QByteArray("Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_CURRENT_USER\\Software\\dornik\\KOVELA\\Form1]\n"
                               "\"NormPos\"=\"100,50,600,450\"\n"
                               "\"ShowCmd\"=dword:00000001\n"));
    RegistryFileStorage again(file);
    EXPECT_EQ(again.ReadInteger(u"Form1\\ShowCmd"_s, 0), 1);
    EXPECT_EQ(again.ReadInteger(u"Form1\\NormPos"_s, -5), -5)
        << "a text that is no number reads as the default";
    EXPECT_EQ(again.ReadString(u"Form1\\ShowCmd"_s, u"d"_s), u"d"_s);
    EXPECT_TRUE(again.ValueStored(u"Form1\\ShowCmd"_s));
}

TEST(RegistryFile, AGroupOfWritesIsSavedOnceAtItsEnd) {
    QTemporaryDir dir;
    const QString file = dir.filePath(u"KOVELA.reg"_s);
    RegistryFileStorage store(file);
    FakeWindow w;
    w.visible = true;
    FormStorage fs(w, &store);
    fs.FormShowStep();
    store.BeginUpdate();  // the store's own group encloses the placement's
    fs.SaveFormPlacement();
    EXPECT_FALSE(QFile::exists(file)) << "nothing is saved inside a group";
    store.EndUpdate();
    RegistryFileStorage reread(file);
    EXPECT_EQ(reread.ReadString(u"Form1\\NormPos"_s, u""_s), u"0,0,500,400"_s);
    EXPECT_EQ(reread.ReadInteger(u"Form1\\ShowCmd"_s, 0), 1);
}

TEST(RegistryFile, FirstSaveRemovesTemporaryFilesOfInterruptedSaves) {
    QTemporaryDir dir;
    const QString file = dir.filePath(u"KOVELA.reg"_s);
    const QStringList leftovers{u"KOVELA.reg.AbC123"_s, u"KOVELA.reg.x0Y9zz"_s};
    const QStringList others{u"KOVELA.reg.lock2"_s, u"KOVELA.reg.A1"_s, u"KOVELA.reg.bak-01"_s,
                             u"OTHER.reg.AbC123"_s};
    for (const QString& name : leftovers + others) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    RegistryFileStorage store(file);
    store.WriteInteger(u"Form1\\FormVersion"_s, 0);
    QStringList remaining = QDir(dir.path()).entryList(QDir::Files);
    remaining.sort();
    QStringList expected = others + QStringList{u"KOVELA.reg"_s};
    expected.sort();
    EXPECT_EQ(remaining, expected);
}

TEST(RegistryFile, UnwritableLocationRaisesTheKeyError) {
    QTemporaryDir dir;
    // A plain file where the directory should be: nothing can be created below it.
    const QString sub = dir.filePath(u"blocker"_s);
    QFile blocker(sub);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RegistryFileStorage store(sub + u"/KOVELA.reg"_s);
    try {
        store.WriteInteger(u"Form1\\FormVersion"_s, 0);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(),
                     "Unable to open key \"HKEY_CURRENT_USER\\Software\\dornik\\KOVELA\\Form1\" for write");
    }
}

}  // namespace
