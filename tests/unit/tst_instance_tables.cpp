// The guard's shared tables, its records, and registration on real files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <thread>

#include "shell/instance_guard.h"
#include "shell/instance_table.h"

using namespace tivaro;

namespace {

// A table with guard bytes on both sides, to see any write outside it.
struct GuardedTable {
    std::array<unsigned char, kInstanceTableBytes + 32> bytes{};
    GuardedTable() {
        bytes.fill(0xA5);
        std::fill(bytes.begin() + 16, bytes.begin() + 16 + kInstanceTableBytes, 0);
    }
    InstanceTableView view() { return InstanceTableView(bytes.data() + 16); }
    bool guardsIntact() const {
        for (int i = 0; i < 16; ++i)
            if (bytes[i] != 0xA5 || bytes[16 + kInstanceTableBytes + i] != 0xA5) return false;
        return true;
    }
};

TEST(InstanceTable, LayoutIsLittleEndianLimitCountIds) {
    GuardedTable t;
    InstanceTableView v = t.view();
    v.SetLimit(65535);
    ASSERT_TRUE(v.Append(0x01020304));
    ASSERT_TRUE(v.Append(7));
    const unsigned char* d = t.bytes.data() + 16;
    EXPECT_EQ(d[0], 0xFF);
    EXPECT_EQ(d[1], 0xFF);
    EXPECT_EQ(d[2], 2);
    EXPECT_EQ(d[3], 0);
    EXPECT_EQ(d[4], 0x04);
    EXPECT_EQ(d[7], 0x01);
    EXPECT_EQ(d[8], 7);
}

TEST(InstanceTable, AppendRemovePruneKeepOrder) {
    GuardedTable t;
    InstanceTableView v = t.view();
    for (std::uint32_t pid : {10u, 20u, 30u, 20u, 40u}) v.Append(pid);
    EXPECT_TRUE(v.Remove(20));  // the first match only
    EXPECT_EQ(v.Count(), 4);
    EXPECT_EQ(v.Id(0), 10u);
    EXPECT_EQ(v.Id(1), 30u);
    EXPECT_EQ(v.Id(2), 20u);
    EXPECT_FALSE(v.Remove(99));
    EXPECT_EQ(v.Prune([](std::uint32_t p) { return p != 30 && p != 40; }), 2);
    EXPECT_EQ(v.Count(), 2);
    EXPECT_EQ(v.Id(0), 10u);
    EXPECT_EQ(v.Id(1), 20u);
    EXPECT_EQ(v.IndexOf(20), 1);
    EXPECT_TRUE(t.guardsIntact());
}

TEST(InstanceTable, FullOrDamagedTableIsNeverWrittenPast) {
    GuardedTable t;
    InstanceTableView v = t.view();
    for (int i = 0; i < kInstanceTableCapacity; ++i) ASSERT_TRUE(v.Append(1000 + i));
    EXPECT_FALSE(v.Append(5));
    EXPECT_EQ(v.Count(), 257);
    EXPECT_EQ(v.IndexOf(5), -1);
    EXPECT_TRUE(v.Remove(1000));
    EXPECT_EQ(v.Id(255), 1256u);
    EXPECT_TRUE(v.Append(5));
    EXPECT_EQ(v.Id(256), 5u);
    EXPECT_TRUE(t.guardsIntact());

    // A count field beyond the capacity reads as full and heals on pruning.
    GuardedTable damaged;
    InstanceTableView d = damaged.view();
    damaged.bytes[16 + 2] = 0xFF;
    damaged.bytes[16 + 3] = 0xFF;
    EXPECT_EQ(d.Count(), 257);
    EXPECT_FALSE(d.Append(1));
    EXPECT_EQ(d.IndexOf(123456), -1);
    EXPECT_FALSE(d.Remove(0) && false);
    d.Prune([](std::uint32_t p) { return p != 0; });
    EXPECT_EQ(d.Count(), 0);
    EXPECT_TRUE(damaged.guardsIntact());
}

TEST(GuardRecord, RoundTripAndDamage) {
    GuardRecord r;
    r.type = GuardRecord::Type::Data;
    r.kind = kCmdLineDataKind;
    r.value = -5;
    r.senderPid = 4242;
    r.data = QByteArray("a\0b", 3);
    QByteArray buffer = r.Encode() + r.Encode();
    for (int i = 0; i < 2; ++i) {
        auto back = GuardRecord::Decode(buffer);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->type, r.type);
        EXPECT_EQ(back->kind, r.kind);
        EXPECT_EQ(back->value, r.value);
        EXPECT_EQ(back->senderPid, r.senderPid);
        EXPECT_EQ(back->data, r.data);
    }
    EXPECT_TRUE(buffer.isEmpty());
    QByteArray partial = r.Encode().left(10);
    EXPECT_FALSE(GuardRecord::Decode(partial));
    QByteArray huge = QByteArray::fromHex("7fffffff") + QByteArray(8, 'x');
    EXPECT_THROW(GuardRecord::Decode(huge), std::exception);
}

TEST(InstanceGuardIdentity, UniqueAppIdIgnoresCase) {
    EXPECT_EQ(InstanceGuard::UniqueAppId("/opt/Tivaro/tivaro-manager"), "JCL/OPT/TIVARO/TIVARO-MANAGER");
    EXPECT_EQ(InstanceGuard::UniqueAppId("/opt/tivaro/TIVARO-MANAGER"),
              InstanceGuard::UniqueAppId("/opt/Tivaro/tivaro-manager"));
    EXPECT_NE(InstanceGuard::UniqueAppId("/opt/a/tivaro-manager"),
              InstanceGuard::UniqueAppId("/opt/b/tivaro-manager"));
    EXPECT_EQ(InstanceGuard::UniqueAppId("C:\\Tools\\x.exe"), "JCLC:_TOOLS_X.EXE");
}

// A process id that surely no longer runs: a child that has been reaped.
std::uint32_t deadPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<std::uint32_t>(child);
}

TEST(InstanceGuardFiles, RegistrationPrunesStaleIdsAndLeavesCleanly) {
    int argc = 1;
    char name[] = "tst";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    InstanceGuard::Options options;
    options.programPath = "/opt/tivaro/tivaro-manager";
    options.nameSpaceDir = dir.path();

    // A crashed copy and a recycled id left their entries behind.
    const QString allFile = dir.filePath("JCL_OPT_TIVARO_TIVARO-MANAGER_All");
    {
        QByteArray table(kInstanceTableBytes, '\0');
        InstanceTableView v(reinterpret_cast<unsigned char*>(table.data()));
        v.SetLimit(65535);
        v.Append(deadPid());
        v.Append(1);  // init: alive, but not the same program
        QFile f(allFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(table);
    }
    const auto self = static_cast<std::uint32_t>(::getpid());
    {
        InstanceGuard guard(options);
        guard.Register();
        EXPECT_EQ(guard.RegisteredIds(), QList<std::uint32_t>{self});
        EXPECT_TRUE(guard.Check({"--x"}));
        EXPECT_TRUE(QFile::exists(guard.MessageWindowName(self)));
        // The message window answers the questions of other copies.
        GuardRecord query;
        query.kind = static_cast<std::uint32_t>(GuardMessage::QueryActive);
        query.senderPid = 1;
        std::optional<GuardRecord> reply;
        std::thread asker(
            [&] { reply = InstanceGuard::SendSync(guard.MessageWindowName(self), query, 3000); });
        QDeadlineTimer until(3000);
        while (!reply && !until.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        asker.join();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->kind, static_cast<std::uint32_t>(GuardMessage::ReplyActive));
        EXPECT_EQ(reply->value, 1);
        guard.Deregister();
        EXPECT_FALSE(QFile::exists(guard.MessageWindowName(self)));
    }
    QFile f(allFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray table = f.readAll();
    ASSERT_EQ(table.size(), qsizetype(kInstanceTableBytes));
    InstanceTableView v(reinterpret_cast<unsigned char*>(table.data()));
    EXPECT_EQ(v.Count(), 0);
    EXPECT_EQ(v.Limit(), 65535);
}

TEST(InstanceGuardFiles, PrivateDirectoryIsCheckedForOwnerAndMode) {
    // The fallback under /tmp is used when the runtime directory is not set.
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString dir = InstanceGuard::DefaultNameSpaceDir();
    EXPECT_TRUE(dir.startsWith("/tmp/tivaro-manager-"));
    QFile::Permissions before = QFile::permissions(dir);
    QFile::setPermissions(dir, before | QFileDevice::ReadOther | QFileDevice::ExeOther);
    EXPECT_THROW(InstanceGuard::DefaultNameSpaceDir(), SystemError);
    QFile::setPermissions(dir, before);
    EXPECT_EQ(InstanceGuard::DefaultNameSpaceDir(), dir);
    if (!saved.isEmpty()) qputenv("XDG_RUNTIME_DIR", saved);
}

}  // namespace
