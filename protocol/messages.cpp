#include "protocol/messages.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace tivaro {

namespace {

constexpr std::uint8_t kTagGet[] = {0x47, 0x45, 0x54};
constexpr std::uint8_t kTagSet[] = {0x53, 0x45, 0x54};
constexpr std::uint8_t kTagBrca[] = {0x42, 0x52, 0x43, 0x41};
constexpr std::uint8_t kTagBrcx[] = {0x42, 0x52, 0x43, 0x58};

template <std::size_t N>
bool startsWith(const std::uint8_t* data, std::size_t size, const std::uint8_t (&tag)[N]) {
    return size >= N && std::memcmp(data, tag, N) == 0;
}

template <std::size_t N>
void append(Bytes& out, const std::uint8_t (&bytes)[N]) {
    out.insert(out.end(), bytes, bytes + N);
}

void appendPort(Bytes& out, std::uint16_t port) {
    out.push_back(static_cast<std::uint8_t>(port >> 8));
    out.push_back(static_cast<std::uint8_t>(port & 0xFF));
}

std::uint16_t readPort(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] * 256 + p[1]); }

Ipv4Octets readAddress(const std::uint8_t* p) { return {p[0], p[1], p[2], p[3]}; }

}  // namespace

bool ModuleSettings::operator==(const ModuleSettings& o) const {
    return IP_ADDRESS == o.IP_ADDRESS && MASK_ADDRESS == o.MASK_ADDRESS && GW_ADDRESS == o.GW_ADDRESS &&
           PORT_TX == o.PORT_TX && PORT_RX == o.PORT_RX && MYSQL_PORT == o.MYSQL_PORT &&
           MYSQL_URL == o.MYSQL_URL && MYSQL_User == o.MYSQL_User && MYSQL_Pass == o.MYSQL_Pass &&
           DHCP_ON == o.DHCP_ON;
}

Bytes BuildDiscoveryRequest() { return Bytes(std::begin(kTagBrca), std::end(kTagBrca)); }

Bytes BuildSubnetSwitchRequest(std::int32_t a, std::int32_t b, std::int32_t c) {
    Bytes out(std::begin(kTagBrcx), std::end(kTagBrcx));
    for (std::int32_t v : {a, b, c})
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) & 0xFF));
    return out;
}

Bytes BuildSettingsRequest() { return Bytes(std::begin(kTagGet), std::end(kTagGet)); }

Bytes BuildDatabaseTestRequest(int n) {
    if (n != 1 && n != 2) throw std::invalid_argument("database test request must be 1 or 2");
    return Bytes{0x4D, 0x59, static_cast<std::uint8_t>('0' + n)};
}

std::u16string TrimControls(const std::u16string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] <= 0x20) ++first;
    while (last > first && text[last - 1] <= 0x20) --last;
    return text.substr(first, last - first);
}

std::u16string DecodeReplyText(const std::uint8_t* data, std::size_t size) {
    std::u16string out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] > 0x20) out.push_back(static_cast<char16_t>(data[i]));
    return out;
}

Bytes BuildSettingsWrite(const ModuleSettings& s) {
    const std::u16string texts[] = {TrimControls(s.MYSQL_URL), TrimControls(s.MYSQL_User),
                                    TrimControls(s.MYSQL_Pass)};
    std::size_t size = 25;
    for (const auto& t : texts) {
        if (t.size() > kMaxTextLength)
            throw std::length_error("A text of the settings write is longer than 255 characters.");
        size += t.size();
    }
    Bytes out;
    out.reserve(size);
    append(out, kTagSet);
    for (const auto& addr : {s.IP_ADDRESS, s.MASK_ADDRESS, s.GW_ADDRESS})
        out.insert(out.end(), addr.begin(), addr.end());
    appendPort(out, s.PORT_TX);
    appendPort(out, s.PORT_RX);
    appendPort(out, s.MYSQL_PORT);
    for (const auto& t : texts) {
        out.push_back(static_cast<std::uint8_t>(t.size()));
        for (char16_t unit : t) out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    }
    out.push_back(s.DHCP_ON ? 1 : 0);
    return out;
}

DatagramKind ClassifyDatagram(const std::uint8_t* data, std::size_t size) {
    if (startsWith(data, size, kTagGet)) return DatagramKind::SettingsReply;
    if (startsWith(data, size, kTagBrca)) return DatagramKind::DiscoveryReply;
    if (startsWith(data, size, kTagBrcx)) return DatagramKind::SubnetSwitchReply;
    return DatagramKind::Unrecognised;
}

std::optional<ModuleSettings> ParseSettingsReply(const std::uint8_t* data, std::size_t size) {
    if (size < kSettingsReplyMinSize || !startsWith(data, size, kTagGet)) return std::nullopt;
    ModuleSettings s;
    s.IP_ADDRESS = readAddress(data + 3);
    s.MASK_ADDRESS = readAddress(data + 7);
    s.GW_ADDRESS = readAddress(data + 11);
    s.PORT_TX = readPort(data + 15);
    s.PORT_RX = readPort(data + 17);
    s.MYSQL_PORT = readPort(data + 19);
    std::size_t pos = 21;
    std::u16string* texts[] = {&s.MYSQL_URL, &s.MYSQL_User, &s.MYSQL_Pass};
    for (std::u16string* text : texts) {
        if (pos >= size) return std::nullopt;  // no length byte
        const std::size_t n = data[pos];
        if (size - pos - 1 < n) return std::nullopt;  // fewer bytes than announced
        *text = DecodeReplyText(data + pos + 1, n);
        pos += 1 + n;
    }
    return s;
}

std::string FormatIpv4(const Ipv4Octets& o) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", o[0], o[1], o[2], o[3]);
    return buf;
}

std::optional<Ipv4Octets> ParseIpv4(const std::string& dotted) {
    Ipv4Octets out{};
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= dotted.size() || dotted[pos] != '.') return std::nullopt;
            ++pos;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (pos < dotted.size() && dotted[pos] >= '0' && dotted[pos] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(dotted[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
    }
    if (pos != dotted.size()) return std::nullopt;
    return out;
}

std::string HexDump(const std::uint8_t* data, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(size * 3);
    for (std::size_t i = 0; i < size; ++i) {
        if (i) out.push_back(' ');
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 0xF]);
    }
    return out;
}

}  // namespace tivaro
