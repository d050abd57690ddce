// Start-up driver: time from starting tivaro-manager to its window shown with
// the listener bound on UDP 22223, and the resident memory of the idle manager.
// Runs itself inside a fresh network namespace (loopback only), so the port is
// private; every copy gets fresh runtime and config directories.
//   usage: bench_startup [runs=10] [path/to/tivaro-manager]     (root, for unshare)
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/fresh_namespace.h"
#include "shell/instance_guard.h"

using namespace tivaro;
using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

namespace {

bool port22223Bound() {
    // /proc/net/udp lists this namespace's sockets; 22223 is 56CF in hex.
    QFile f(u"/proc/net/udp"_s);
    if (!f.open(QIODevice::ReadOnly)) return false;
    return f.readAll().contains(":56CF ");
}

bool windowShown(const QString& name) {
    GuardRecord q;
    q.kind = static_cast<std::uint32_t>(GuardMessage::StateQuery);
    q.senderPid = ::getpid();
    const auto reply = InstanceGuard::SendSync(name, q, 200);
    return reply && (reply->value & 1);
}

long rssKiB(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (!tivaro::bench::InFreshNetworkNamespace(argc, argv)) return 1;
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const QString manager =
        argc > 2 ? QString::fromLocal8Bit(argv[2])
                 : QDir(QCoreApplication::applicationDirPath()).filePath(u"../shell/tivaro-manager"_s);
    const QString program = QDir::cleanPath(QDir::current().absoluteFilePath(manager));

    std::vector<double> startMs;
    std::vector<long> rss;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath(u"run"_s));
        QFile::setPermissions(dir.filePath(u"run"_s),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        InstanceGuard::Options o;
        o.programPath = program;
        o.nameSpaceDir = dir.filePath(u"run"_s);
        const QByteArray runDir = dir.filePath(u"run"_s).toLocal8Bit(),
                         cfgDir = dir.filePath(u"cfg"_s).toLocal8Bit();
        const QByteArray path = program.toLocal8Bit();

        const auto t0 = Clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("XDG_RUNTIME_DIR", runDir.constData(), 1);
            ::setenv("XDG_CONFIG_HOME", cfgDir.constData(), 1);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::execl(path.constData(), path.constData(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const QString window = InstanceGuard(o).MessageWindowName(pid);
        bool ready = false;
        while (!ready && Clock::now() - t0 < std::chrono::seconds(20)) {
            ready = port22223Bound() && windowShown(window);
            if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (ready) startMs.push_back(ms);
        std::this_thread::sleep_for(std::chrono::seconds(2));  // idle
        rss.push_back(rssKiB(pid));
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        std::printf("run %d: %s %.1f ms, idle RSS %ld KiB, exit %d\n", run + 1,
                    ready ? "ready after" : "NOT READY", ms, rss.back(),
                    WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    if (startMs.empty()) return 1;
    std::sort(startMs.begin(), startMs.end());
    std::sort(rss.begin(), rss.end());
    std::printf("start to window shown + listener bound: median %.1f ms, min %.1f, max %.1f (%zu runs)\n",
                startMs[startMs.size() / 2], startMs.front(), startMs.back(), startMs.size());
    std::printf("idle resident memory: median %ld KiB, min %ld, max %ld\n", rss[rss.size() / 2], rss.front(),
                rss.back());
    return 0;
}
