#include "sim/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

namespace tivaro::sim {

namespace {

bool ReadInt(const std::string& text, long min, long max, long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

std::uint32_t ToNumber(const Ipv4Octets& a) {
    return std::uint32_t{a[0]} << 24 | std::uint32_t{a[1]} << 16 | std::uint32_t{a[2]} << 8 | a[3];
}

}  // namespace

Ipv4Octets ModuleAddress(const Ipv4Octets& first, int index) {
    const std::uint32_t n = ToNumber(first) + static_cast<std::uint32_t>(index);
    return {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
            static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
}

ParsedOptions ParseSimOptions(const std::vector<std::string>& args) {
    ParsedOptions r;
    SimOptions& o = r.options;
    auto fail = [&r](const std::string& message) {
        r.error = message;
        return r;
    };
    auto intSetter = [](long min, long max, auto apply) {
        return std::function<bool(const std::string&)>([=](const std::string& v) {
            long n = 0;
            if (!ReadInt(v, min, max, n)) return false;
            apply(n);
            return true;
        });
    };
    const std::map<std::string, std::function<bool(const std::string&)>> valued = {
        {"--count", intSetter(1, kMaxModules, [&o](long n) { o.count = static_cast<int>(n); })},
        {"--first-address",
         [&o](const std::string& v) {
             auto a = ParseIpv4(v);
             if (!a) return false;
             o.firstAddress = *a;
             return true;
         }},
        {"--port", intSetter(1, 65535, [&o](long n) { o.commandPort = static_cast<std::uint16_t>(n); })},
        {"--reply-port", intSetter(1, 65535, [&o](long n) { o.replyPort = static_cast<std::uint16_t>(n); })},
        {"--delay", intSetter(0, 60000, [&o](long n) { o.faults.delayMs = static_cast<int>(n); })},
        {"--burst", intSetter(1, kMaxBurst, [&o](long n) { o.faults.burst = static_cast<int>(n); })},
        {"--exit-after", intSetter(1, 86400000, [&o](long n) { o.exitAfterMs = static_cast<int>(n); })},
        {"--probe-wait", intSetter(1, 60000, [&o](long n) { o.probeWaitMs = static_cast<int>(n); })},
        {"--probe-to",
         [&o](const std::string& v) {
             if (!ParseIpv4(v)) return false;
             o.probeTarget = v;
             return true;
         }},
    };
    const std::map<std::string, bool*> flags = {
        {"--verbose", &o.verbose},
        {"--silent", &o.faults.silent},
        {"--malformed", &o.faults.malformed},
        {"--oversized", &o.faults.oversized},
        {"--duplicate", &o.faults.duplicate},
        {"--probe", &o.probe},
        {"--help", &o.help},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        if (name == "-h") name = "--help";
        if (auto f = flags.find(name); f != flags.end()) {
            if (hasValue) return fail("option " + name + " takes no value");
            *f->second = true;
            continue;
        }
        auto v = valued.find(name);
        if (v == valued.end()) return fail("unknown option: " + args[i]);
        if (!hasValue) {
            if (i + 1 >= args.size()) return fail("option " + name + " needs a value");
            value = args[++i];
        }
        if (!v->second(value)) return fail(("bad value for " + name + ": '").append(value).append("'"));
    }

    if (o.replyPort == o.commandPort)
        return fail("--reply-port must differ from --port (modules would answer each other)");
    if (std::uint64_t{ToNumber(o.firstAddress)} + static_cast<std::uint64_t>(o.count) - 1 > 0xFFFFFFFFu)
        return fail("--count runs past 255.255.255.255");
    return r;
}

std::string SimUsage(const std::string& program) {
    return "usage: " + program +
           " [options]\n"
           "Simulates TIVARO modules: each answers discovery (BRCA), subnet switch (BRCX),\n"
           "settings request (GET), settings write (SET) and database tests (MY1/MY2).\n"
           "  --count N            modules to simulate (1.." +
           std::to_string(kMaxModules) +
           ", default 8)\n"
           "  --first-address A    address of the first module, the others follow (default 198.18.1.10)\n"
           "  --port P             command port the modules listen on (default 22222)\n"
           "  --reply-port P       port every reply goes to, on the sender's address (default 22223)\n"
           "  --verbose            hex trace of every datagram in and out\n"
           "  --exit-after MS      stop by itself after MS milliseconds\n"
           "faults:\n"
           "  --silent             never answer\n"
           "  --delay MS           answer MS milliseconds late (0..60000)\n"
           "  --malformed          settings reply cut short\n"
           "  --oversized          settings reply longer than 8192 bytes\n"
           "  --duplicate          every reply twice\n"
           "  --burst K            K replies to one discovery request (1.." +
           std::to_string(kMaxBurst) +
           ")\n"
           "probe (manager side of a virtual LAN):\n"
           "  --probe              send one BRCA to --probe-to (default 255.255.255.255) on --port,\n"
           "                       print every reply arriving on --reply-port, then exit\n"
           "  --probe-wait MS      how long to collect replies (default 1000)\n"
           "  --probe-to A         destination of the probe\n"
           "Prints a line with \"ready\" once every socket is bound. Stops on SIGINT/SIGTERM.\n";
}

}  // namespace tivaro::sim
