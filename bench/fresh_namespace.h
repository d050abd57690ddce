#pragma once
// For benchmark drivers that must run in a network namespace of their own
// (loopback only, brought up): the first call re-executes the program under
// `unshare -n` and does not return unless that fails; inside the namespace it
// returns true at once. Needs root.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tivaro::bench {

inline bool InFreshNetworkNamespace(int argc, char** argv) {
    if (std::getenv("TIVARO_BENCH_IN_NS")) return true;
    std::vector<const char*> a{"unshare", "-n", "sh", "-c",
                               R"(ip link set lo up; TIVARO_BENCH_IN_NS=1 exec "$0" "$@")"};
    for (int i = 0; i < argc; ++i) a.push_back(argv[i]);
    a.push_back(nullptr);
    ::execvp("unshare", const_cast<char* const*>(a.data()));
    std::perror("unshare");
    return false;
}

}  // namespace tivaro::bench
