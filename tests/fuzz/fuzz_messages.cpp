// libFuzzer target over everything that reads bytes from the network: the
// classifier and the settings reply parser, plus the dotted-address reader.
// A parsed reply must survive a trip through the settings write unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/messages.h"

using namespace tivaro;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const DatagramKind kind = ClassifyDatagram(data, size);
    const std::optional<ModuleSettings> parsed = ParseSettingsReply(data, size);
    check(!parsed || kind == DatagramKind::SettingsReply);

    if (parsed) {
        check(!parsed->DHCP_ON);
        std::size_t texts = 0;
        for (const auto* t : {&parsed->MYSQL_URL, &parsed->MYSQL_User, &parsed->MYSQL_Pass}) {
            check(t->size() <= kMaxTextLength);
            for (char16_t unit : *t) check(unit > 0x20 && unit <= 0xFF);
            texts += t->size();
        }
        check(kSettingsReplyMinSize + texts <= size);

        // Reply texts carry no blanks or controls, so writing trims nothing and
        // the write is the reply's own layout plus the flag.
        Bytes write = BuildSettingsWrite(*parsed);
        check(write.size() == 25 + texts);
        check(ClassifyDatagram(write) == DatagramKind::Unrecognised);
        check(write.back() == 0);
        write[0] = 'G';
        const std::optional<ModuleSettings> again = ParseSettingsReply(write);
        check(again.has_value() && *again == *parsed);
    }

    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto octets = ParseIpv4(text)) check(ParseIpv4(FormatIpv4(*octets)) == octets);
    check(HexDump(data, size).size() == (size ? size * 3 - 1 : 0));
    return 0;
}
