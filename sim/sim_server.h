#pragma once
// The simulator's network side: one socket per simulated module, bound to the
// module's own address on the command port, plus one wildcard socket that
// hears broadcasts. Runs on the calling thread (epoll loop) until a stop is
// requested by a signal or the --exit-after time is up.

#include <cstdio>
#include <memory>

#include "sim/sim_options.h"

namespace tivaro::sim {

class SimServer {
public:
    SimServer(const SimOptions& options, std::FILE* out);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Binds every socket, prints the "ready" line and serves. Returns the exit
    // code: 0 after a requested stop, 1 when a socket could not be set up.
    int Run();

    // Async-signal-safe: makes Run() return soon.
    static void RequestStop();
    // SIGINT and SIGTERM call RequestStop().
    static void InstallSignalHandlers();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace tivaro::sim
