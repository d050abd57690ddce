#pragma once
// One simulated TIVARO module: its settings and how it answers each datagram.
// Pure logic, no sockets: the server feeds it datagrams and sends the replies
// it returns. Used by the server's single thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/messages.h"

namespace tivaro::sim {

// Misbehaviours a simulated module can be told to show.
struct Faults {
    bool silent = false;     // never answer
    int delayMs = 0;         // answer this late (the server holds the reply)
    bool malformed = false;  // settings reply without its last two bytes
    bool oversized = false;  // settings reply padded past 8192 bytes
    bool duplicate = false;  // every reply sent twice
    int burst = 1;           // replies to one discovery request
};

constexpr int kMaxBurst = 1000;
constexpr std::size_t kOversizedReplySize = 9000;

// What a module does with one datagram: the replies to send (each one datagram,
// already repeated for --duplicate and --burst) and a line for the console
// (empty for the quiet cases: discovery requests are summed up by the server).
struct Handling {
    std::vector<Bytes> replies;
    std::string note;
};

// Plausible factory settings for a module at address a.b.c.d: mask
// 255.255.255.0, gateway a.b.c.1, ports 22223/22222, MySQL at the gateway on
// 3306 as user "modul<d>" with password "tivaro<d>".
ModuleSettings DefaultSettingsFor(const Ipv4Octets& address);

// Reads a settings write: the settings reply layout with "SET", then the DHCP
// byte. Texts are kept byte for byte, as a module stores them. Nothing when it
// is shorter than its length bytes announce (bytes after the flag are ignored).
std::optional<ModuleSettings> ParseSettingsWrite(const std::uint8_t* data, std::size_t size);

// The settings reply a module sends: "GET", the fields, no DHCP byte.
Bytes EncodeSettingsReply(const ModuleSettings& settings);

// "ip=… mask=… gw=… tx=… rx=… mysql=user:pass@url:port dhcp=…" for the console.
std::string DescribeSettings(const ModuleSettings& settings);

class SimulatedModule {
public:
    explicit SimulatedModule(const Ipv4Octets& address);

    // The address the module's socket is bound to; a subnet switch changes
    // the settings, never the socket.
    const Ipv4Octets& Address() const { return m_address; }
    const ModuleSettings& Settings() const { return m_settings; }

    // Handles one datagram from `from` (text for the console).
    Handling Handle(const std::uint8_t* data, std::size_t size, const std::string& from,
                    const Faults& faults);

private:
    Ipv4Octets m_address;
    ModuleSettings m_settings;
};

}  // namespace tivaro::sim
