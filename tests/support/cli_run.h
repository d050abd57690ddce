#pragma once
// Runs the real `tivaro` program of the build ($TIVARO_BUILD_DIR/cli/tivaro)
// with a pipe, not a terminal, on stdin, and collects its exit code and
// output. QtCore only; one call at a time per thread.

#include <QProcess>
#include <QStringList>
#include <string>

namespace tivaro::test {

struct CliRun {
    int code = -1;  // -1: it crashed or did not end within 20 s
    std::string out, err;

    std::string Describe() const {
        return "exit " + std::to_string(code) + "\nstdout:\n" + out + "stderr:\n" + err;
    }
};

inline CliRun Tivaro(const QStringList& args) {
    using namespace Qt::StringLiterals;
    QProcess p;
    p.start(qEnvironmentVariable("TIVARO_BUILD_DIR") + u"/cli/tivaro"_s, args);
    p.closeWriteChannel();
    CliRun r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        r.err = "tivaro did not end";
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

}  // namespace tivaro::test
