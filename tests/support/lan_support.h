#pragma once
// Helpers for tests that run on a virtual LAN (scripts/vlan run-test): where
// the LAN is, where tivaro-sim lives, and SimProcess, which starts tivaro-sim
// on the module side, waits for its "ready" line and stops it again. POSIX
// only, no Qt; a SimProcess is used from one thread.
//
//   auto lan = tivaro::lan::CurrentLan();
//   if (!lan) GTEST_SKIP() << tivaro::lan::kNotInLan;
//   tivaro::lan::SimProcess sim;
//   ASSERT_TRUE(sim.Start({"--count", "3"})) << sim.Error();
//   ... sim.WaitForLine("SET", 2000) ...

#include <fcntl.h>
#include <poll.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "protocol/unique_fd.h"

namespace tivaro::lan {

constexpr const char* kNotInLan =
    "not inside a virtual LAN: run through ctest or `scripts/vlan run-test <test>` (needs root)";

// Addresses scripts/vlan gives the two sides, and the first simulated module.
constexpr const char* kManagerIp = "198.18.0.1";
constexpr const char* kFirstModuleIp = "198.18.1.10";

struct LanInfo {
    std::string name;    // TIVARO_VLAN
    std::string modNs;   // TIVARO_VLAN_MOD_NS: where the simulated modules run
    std::string mgrIp;   // TIVARO_VLAN_MGR_IP: this (the manager) side's address
    std::string mod2Ns;  // TIVARO_VLAN_MOD2_NS: the second segment's modules; "" with one segment
};

inline std::string EnvOr(const char* name, const std::string& fallback = {}) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

// The LAN this process runs in, or nothing outside one.
inline std::optional<LanInfo> CurrentLan() {
    LanInfo info{EnvOr("TIVARO_VLAN"), EnvOr("TIVARO_VLAN_MOD_NS"), EnvOr("TIVARO_VLAN_MGR_IP", kManagerIp),
                 EnvOr("TIVARO_VLAN_MOD2_NS")};
    if (info.name.empty() || info.modNs.empty()) return std::nullopt;
    return info;
}

// $TIVARO_BUILD_DIR/sim/tivaro-sim, or "" when it is not there.
inline std::string SimBinary() {
    const std::string dir = EnvOr("TIVARO_BUILD_DIR");
    if (dir.empty()) return {};
    const std::string path = dir + "/sim/tivaro-sim";
    return access(path.c_str(), X_OK) == 0 ? path : std::string();
}

// One running tivaro-sim whose stdout and stderr are collected line by line.
class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess() { Stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts tivaro-sim with args: in namespace ns when given, else on the
    // module side of the current LAN when there is one, else right here
    // (loopback use). Waits for "ready".
    bool Start(const std::vector<std::string>& args, int readyTimeoutMs = 10000, const std::string& ns = {}) {
        const std::string sim = SimBinary();
        if (sim.empty()) return Fail("tivaro-sim not found: set TIVARO_BUILD_DIR to the build directory");
        std::vector<std::string> argv;
        if (!ns.empty())
            argv = {"ip", "netns", "exec", ns};
        else if (auto lan = CurrentLan())
            argv = {"ip", "netns", "exec", lan->modNs};
        argv.push_back(sim);
        argv.insert(argv.end(), args.begin(), args.end());
        if (!Spawn(argv)) return false;
        if (!WaitForLine("ready", readyTimeoutMs)) {
            Stop();
            return Fail("tivaro-sim did not get ready; its output:\n" + Output());
        }
        return true;
    }

    // Waits until a line containing needle arrives after the lines that
    // earlier waits matched; returns it in *line.
    bool WaitForLine(const std::string& needle, int timeoutMs, std::string* line = nullptr) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            for (; m_next < m_lines.size(); ++m_next) {
                if (m_lines[m_next].find(needle) != std::string::npos) {
                    if (line) *line = m_lines[m_next];
                    ++m_next;
                    return true;
                }
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0 || !Pump(static_cast<int>(left))) return false;
        }
    }

    // Every line so far (reads what is pending first).
    const std::vector<std::string>& Lines() {
        while (Pump(0)) {
        }
        return m_lines;
    }
    std::string Output() {
        std::string all;
        for (const auto& l : Lines()) all += l + "\n";
        return all;
    }

    // SIGTERM, then SIGKILL after timeoutMs; returns the exit code (128+signal
    // when killed, -1 when it was not running).
    int Stop(int timeoutMs = 3000) {
        if (m_pid <= 0) return -1;
        kill(m_pid, SIGTERM);
        int status = 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        pid_t r = 0;
        while ((r = waitpid(m_pid, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
            Pump(20);
        }
        if (r == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
        while (Pump(0)) {
        }
        m_fd.Reset();
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    bool Running() const { return m_pid > 0; }
    const std::string& Error() const { return m_error; }

private:
    using Clock = std::chrono::steady_clock;

    bool Fail(const std::string& message) {
        m_error = message;
        return false;
    }

    bool Spawn(const std::vector<std::string>& argv) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return Fail("pipe failed");
        UniqueFd readEnd(fds[0]);
        UniqueFd writeEnd(fds[1]);
        const pid_t pid = fork();
        if (pid < 0) return Fail("fork failed");
        if (pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            dup2(fds[1], STDERR_FILENO);
            std::vector<char*> cargv;
            cargv.reserve(argv.size() + 1);
            for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
            cargv.push_back(nullptr);
            execvp(cargv[0], cargv.data());
            _exit(127);
        }
        writeEnd.Reset();
        fcntl(readEnd.Get(), F_SETFL, O_NONBLOCK);
        m_fd = std::move(readEnd);
        m_pid = pid;
        return true;
    }

    // Reads what arrives within timeoutMs; false when nothing came.
    bool Pump(int timeoutMs) {
        if (!m_fd.Valid()) return false;
        pollfd p{m_fd.Get(), POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return false;
        char buf[4096];
        const ssize_t n = read(m_fd.Get(), buf, sizeof buf);
        if (n <= 0) {
            if (n == 0) {  // the writer ended: keep a last partial line
                if (!m_partial.empty()) m_lines.push_back(m_partial);
                m_partial.clear();
                m_fd.Reset();
            }
            return false;
        }
        m_partial.append(buf, static_cast<std::size_t>(n));
        std::size_t pos;
        while ((pos = m_partial.find('\n')) != std::string::npos) {
            m_lines.push_back(m_partial.substr(0, pos));
            m_partial.erase(0, pos + 1);
        }
        return true;
    }

    pid_t m_pid = -1;
    UniqueFd m_fd;
    std::string m_partial;
    std::vector<std::string> m_lines;
    std::size_t m_next = 0;
    std::string m_error;
};

}  // namespace tivaro::lan
