// tivaro-sim: simulated TIVARO modules for tests, benchmarks and the demo.
#include <cstdio>
#include <string>
#include <vector>

#include "sim/probe.h"
#include "sim/sim_options.h"
#include "sim/sim_server.h"

int main(int argc, char** argv) {
    using namespace tivaro::sim;
    const std::string program = argc > 0 ? argv[0] : "tivaro-sim";
    const ParsedOptions parsed = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "tivaro-sim: %s\n%s", parsed.error.c_str(), SimUsage(program).c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(SimUsage(program).c_str(), stdout);
        return 0;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (parsed.options.probe) return RunProbe(parsed.options, stdout);
    SimServer::InstallSignalHandlers();
    SimServer server(parsed.options, stdout);
    return server.Run();
}
