#include "sim/simulated_module.h"

#include <algorithm>
#include <cstring>

namespace tivaro::sim {

namespace {

bool HasTag(const std::uint8_t* data, std::size_t size, const char* tag) {
    const std::size_t n = std::strlen(tag);
    return size >= n && std::memcmp(data, tag, n) == 0;
}

Bytes Tagged(const char* tag, const Ipv4Octets& address) {
    Bytes out(tag, tag + std::strlen(tag));
    out.insert(out.end(), address.begin(), address.end());
    return out;
}

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string Narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out.push_back(static_cast<char>(c & 0xFF));
    return out;
}

}  // namespace

ModuleSettings DefaultSettingsFor(const Ipv4Octets& address) {
    ModuleSettings s;
    s.IP_ADDRESS = address;
    s.MASK_ADDRESS = {255, 255, 255, 0};
    s.GW_ADDRESS = {address[0], address[1], address[2], 1};
    s.PORT_TX = 22223;
    s.PORT_RX = 22222;
    s.MYSQL_PORT = 3306;
    s.MYSQL_URL = Widen(FormatIpv4(s.GW_ADDRESS));
    s.MYSQL_User = Widen("modul" + std::to_string(address[3]));
    s.MYSQL_Pass = Widen("tivaro" + std::to_string(address[3]));
    return s;
}

std::optional<ModuleSettings> ParseSettingsWrite(const std::uint8_t* data, std::size_t size) {
    if (size < kSettingsReplyMinSize + 1 || !HasTag(data, size, "SET")) return std::nullopt;
    ModuleSettings s;
    std::copy(data + 3, data + 7, s.IP_ADDRESS.begin());
    std::copy(data + 7, data + 11, s.MASK_ADDRESS.begin());
    std::copy(data + 11, data + 15, s.GW_ADDRESS.begin());
    s.PORT_TX = static_cast<std::uint16_t>(data[15] << 8 | data[16]);
    s.PORT_RX = static_cast<std::uint16_t>(data[17] << 8 | data[18]);
    s.MYSQL_PORT = static_cast<std::uint16_t>(data[19] << 8 | data[20]);
    std::size_t pos = 21;
    for (std::u16string* text : {&s.MYSQL_URL, &s.MYSQL_User, &s.MYSQL_Pass}) {
        if (pos >= size) return std::nullopt;
        const std::size_t n = data[pos++];
        if (size - pos < n) return std::nullopt;
        text->assign(data + pos, data + pos + n);  // each byte is one character
        pos += n;
    }
    if (pos >= size) return std::nullopt;  // the DHCP byte is part of every write
    s.DHCP_ON = data[pos] != 0;
    return s;
}

Bytes EncodeSettingsReply(const ModuleSettings& settings) {
    Bytes out = {'G', 'E', 'T'};
    for (const auto* a : {&settings.IP_ADDRESS, &settings.MASK_ADDRESS, &settings.GW_ADDRESS})
        out.insert(out.end(), a->begin(), a->end());
    for (std::uint16_t p : {settings.PORT_TX, settings.PORT_RX, settings.MYSQL_PORT}) {
        out.push_back(static_cast<std::uint8_t>(p >> 8));
        out.push_back(static_cast<std::uint8_t>(p & 0xFF));
    }
    for (const auto* t : {&settings.MYSQL_URL, &settings.MYSQL_User, &settings.MYSQL_Pass}) {
        const std::size_t n = std::min<std::size_t>(t->size(), kMaxTextLength);
        out.push_back(static_cast<std::uint8_t>(n));
        for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>((*t)[i] & 0xFF));
    }
    return out;
}

std::string DescribeSettings(const ModuleSettings& s) {
    return "ip=" + FormatIpv4(s.IP_ADDRESS) + " mask=" + FormatIpv4(s.MASK_ADDRESS) +
           " gw=" + FormatIpv4(s.GW_ADDRESS) + " tx=" + std::to_string(s.PORT_TX) +
           " rx=" + std::to_string(s.PORT_RX) + " mysql=" + Narrow(s.MYSQL_User) + ":" +
           Narrow(s.MYSQL_Pass) + "@" + Narrow(s.MYSQL_URL) + ":" + std::to_string(s.MYSQL_PORT) +
           " dhcp=" + (s.DHCP_ON ? "1" : "0");
}

SimulatedModule::SimulatedModule(const Ipv4Octets& address)
    : m_address(address), m_settings(DefaultSettingsFor(address)) {}

Handling SimulatedModule::Handle(const std::uint8_t* data, std::size_t size, const std::string& from,
                                 const Faults& faults) {
    Handling h;
    const std::string me = FormatIpv4(m_address);
    if (HasTag(data, size, "BRCA")) {
        const int copies = std::clamp(faults.burst, 1, kMaxBurst);
        h.replies.assign(static_cast<std::size_t>(copies), Tagged("BRCA", m_address));
    } else if (HasTag(data, size, "BRCX")) {
        if (size < 7) {
            h.note = me + " BRCX from " + from + ": " + std::to_string(size) + " bytes, too short, ignored";
            return h;
        }
        // Like a module: move into the new /24, keep the host part. The socket
        // keeps its address; only what the settings reply reports changes.
        for (int i = 0; i < 3; ++i) {
            m_settings.IP_ADDRESS[static_cast<std::size_t>(i)] = data[4 + i];
            m_settings.GW_ADDRESS[static_cast<std::size_t>(i)] = data[4 + i];
        }
        h.replies.push_back(Tagged("BRCX", m_settings.IP_ADDRESS));
        h.note = me + " BRCX from " + from + ": segment " + std::to_string(data[4]) + "." +
                 std::to_string(data[5]) + "." + std::to_string(data[6]) + ", ip now " +
                 FormatIpv4(m_settings.IP_ADDRESS);
    } else if (HasTag(data, size, "GET")) {
        Bytes reply = EncodeSettingsReply(m_settings);
        if (faults.malformed) reply.resize(reply.size() - 2);
        if (faults.oversized) reply.resize(kOversizedReplySize, 0);
        h.replies.push_back(std::move(reply));
        h.note = me + " GET from " + from;
    } else if (HasTag(data, size, "SET")) {
        // No answer: the manager expects none to a settings write.
        auto written = ParseSettingsWrite(data, size);
        if (!written) {
            h.note = me + " SET from " + from + ": malformed (" + std::to_string(size) + " bytes), ignored";
            return h;
        }
        const std::string before = DescribeSettings(m_settings);
        m_settings = *written;
        h.note = me + " SET from " + from + ": before " + before + " after " + DescribeSettings(m_settings);
        return h;
    } else if (HasTag(data, size, "MY1") || HasTag(data, size, "MY2")) {
        const bool select = data[2] == '1';
        const std::string tag(reinterpret_cast<const char*>(data), 3);
        h.replies.push_back(Bytes{data[0], data[1], data[2], ' ', 'O', 'K'});
        h.note = me + " " + tag + (select ? " SELECT" : " INSERT") + " from " + from;
    } else {
        h.note = me + " unknown datagram from " + from + " (" + std::to_string(size) + " bytes), ignored";
        return h;
    }
    if (faults.silent) {
        h.replies.clear();
        if (!h.note.empty()) h.note += " (silent)";
    } else if (faults.duplicate) {
        std::vector<Bytes> twice;
        twice.reserve(h.replies.size() * 2);
        for (auto& r : h.replies) {
            twice.push_back(r);
            twice.push_back(std::move(r));
        }
        h.replies = std::move(twice);
    }
    return h;
}

}  // namespace tivaro::sim
