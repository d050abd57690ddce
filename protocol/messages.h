#pragma once
// The datagrams exchanged with TIVARO modules: builders, the classifier and the
// settings-reply parser. Pure functions on byte sequences, no state, no I/O;
// callable from any thread.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tivaro {

using Bytes = std::vector<std::uint8_t>;
using Ipv4Octets = std::array<std::uint8_t, 4>;  // octet 0 is the leftmost in dotted form

// The settings of one module, in wire order. Texts are UTF-16 code units, as
// the setup dialog holds them; on the wire each unit travels as its low byte.
struct ModuleSettings {
    Ipv4Octets IP_ADDRESS{};
    Ipv4Octets MASK_ADDRESS{};
    Ipv4Octets GW_ADDRESS{};
    std::uint16_t PORT_TX = 0;
    std::uint16_t PORT_RX = 0;
    std::uint16_t MYSQL_PORT = 0;
    std::u16string MYSQL_URL;
    std::u16string MYSQL_User;
    std::u16string MYSQL_Pass;
    bool DHCP_ON = false;  // carried by the settings write only

    bool operator==(const ModuleSettings& o) const;
    bool operator!=(const ModuleSettings& o) const { return !(*this == o); }
};

enum class DatagramKind { SettingsReply, DiscoveryReply, SubnetSwitchReply, Unrecognised };

// The longest text a length byte can announce.
constexpr std::size_t kMaxTextLength = 255;
// Fixed part of a settings reply: tag, three addresses, three ports, three length bytes.
constexpr std::size_t kSettingsReplyMinSize = 24;

Bytes BuildDiscoveryRequest();                                                   // "BRCA"
Bytes BuildSubnetSwitchRequest(std::int32_t a, std::int32_t b, std::int32_t c);  // "BRCX" + low bytes
Bytes BuildSettingsRequest();                                                    // "GET"
// "SET", exactly 25 + N1 + N2 + N3 bytes. Texts are trimmed first; a trimmed
// text longer than 255 units cannot be announced in its length byte and is
// refused with std::length_error rather than cut.
Bytes BuildSettingsWrite(const ModuleSettings& settings);
Bytes BuildDatabaseTestRequest(int n);  // "MY1" or "MY2"; n must be 1 or 2

// The kind of a received datagram by its leading tag: "GET", then "BRCA", then
// "BRCX". A tag matches only when all of its bytes are present.
DatagramKind ClassifyDatagram(const std::uint8_t* data, std::size_t size);
inline DatagramKind ClassifyDatagram(const Bytes& bytes) {
    return ClassifyDatagram(bytes.data(), bytes.size());
}

// Decodes a settings reply. A reply shorter than 24 bytes, or shorter than its
// own length bytes announce, is malformed and yields nothing at all: a half
// decoded reply would put a mix of old and new values into the dialog. Never
// reads past size. DHCP_ON is always false in the result.
std::optional<ModuleSettings> ParseSettingsReply(const std::uint8_t* data, std::size_t size);
inline std::optional<ModuleSettings> ParseSettingsReply(const Bytes& bytes) {
    return ParseSettingsReply(bytes.data(), bytes.size());
}

// Text rules shared with the setup dialog.
std::u16string TrimControls(const std::u16string& text);  // drops units <= 0x20 at both ends
std::u16string DecodeReplyText(const std::uint8_t* data, std::size_t size);  // drops bytes <= 0x20 anywhere

// Helpers for tools and logs: "192.168.1.50", and "47 45 54" style hex.
std::string FormatIpv4(const Ipv4Octets& octets);
std::optional<Ipv4Octets> ParseIpv4(const std::string& dotted);  // exactly four decimal 0..255
std::string HexDump(const std::uint8_t* data, std::size_t size);
inline std::string HexDump(const Bytes& bytes) { return HexDump(bytes.data(), bytes.size()); }

}  // namespace tivaro
