// Byte layouts of the module datagrams: builders, classifier, settings reply parser.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "example_settings.h"
#include "protocol/messages.h"

using namespace tivaro;
using tivaro::test::WorkedExampleSettings;

namespace {

Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    for (std::string pair; in >> pair;)
        out.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    return out;
}

const char* const kExampleWrite =
    "53 45 54 C0 A8 01 32 FF FF FF 00 C0 A8 01 01 56 CF 56 CE 0C EA 02 64 62 01 75 00 00";
const char* const kExampleReply =
    "47 45 54 C0 A8 01 32 FF FF FF 00 C0 A8 01 01 56 CF 56 CE 0C EA 02 64 62 01 75 00";

}  // namespace

TEST(Builders, FixedRequestsAreByteExact) {
    EXPECT_EQ(HexDump(BuildDiscoveryRequest()), "42 52 43 41");
    EXPECT_EQ(HexDump(BuildSettingsRequest()), "47 45 54");
    EXPECT_EQ(HexDump(BuildDatabaseTestRequest(1)), "4D 59 31");
    EXPECT_EQ(HexDump(BuildDatabaseTestRequest(2)), "4D 59 32");
    for (int n : {0, 3, -1}) EXPECT_THROW(BuildDatabaseTestRequest(n), std::invalid_argument) << n;
}

TEST(Builders, SubnetSwitchTakesTheLowByteOfEachNumber) {
    struct Case {
        std::int32_t a, b, c;
        const char* bytes;
    };
    const Case cases[] = {
        {192, 168, 1, "42 52 43 58 C0 A8 01"},
        {300, 256, -1, "42 52 43 58 2C 00 FF"},
        {0, 255, -256, "42 52 43 58 00 FF 00"},
        {INT32_MIN, INT32_MAX, 511, "42 52 43 58 00 FF FF"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HexDump(BuildSubnetSwitchRequest(c.a, c.b, c.c)), c.bytes)
            << c.a << " " << c.b << " " << c.c;
}

TEST(Builders, SettingsWriteOfTheWorkedExampleIs28Bytes) {
    const Bytes out = BuildSettingsWrite(WorkedExampleSettings());
    EXPECT_EQ(out.size(), 28u);
    EXPECT_EQ(HexDump(out), kExampleWrite);

    ModuleSettings withPassword = WorkedExampleSettings();
    withPassword.MYSQL_Pass = u"p";
    withPassword.DHCP_ON = true;
    EXPECT_EQ(HexDump(BuildSettingsWrite(withPassword)),
              "53 45 54 C0 A8 01 32 FF FF FF 00 C0 A8 01 01 56 CF 56 CE 0C EA 02 64 62 01 75 01 70 01");
}

// Only the text section (offset 21 up to the flag) changes between these cases.
TEST(Builders, SettingsWriteTextRules) {
    struct Case {
        const char* what;
        std::u16string url, user, pass;
        const char* texts;
    };
    const Case cases[] = {
        {"three empty texts", u"", u"", u"", "00 00 00"},
        {"blanks around are trimmed", u"  db  ", u"", u"", "02 64 62 00 00"},
        {"controls around are trimmed", u"\t\r\ndb\x01", u"", u"", "02 64 62 00 00"},
        {"inner blank stays", u"", u"a b", u"", "00 03 61 20 62 00"},
        {"only blanks becomes empty", u"   ", u"\x20\x1F", std::u16string(1, u'\0'), "00 00 00"},
        {"U+0101 keeps its low byte", u"\u0101", u"", u"", "01 01 00 00"},
        {"U+00E9 is E9", u"", u"", u"\u00E9", "00 00 01 E9"},
        {"non-blank U+0120 at the edge is kept", u"\u0120", u"", u"", "01 20 00 00"},
    };
    for (const Case& c : cases) {
        ModuleSettings s = WorkedExampleSettings();
        s.MYSQL_URL = c.url;
        s.MYSQL_User = c.user;
        s.MYSQL_Pass = c.pass;
        const Bytes out = BuildSettingsWrite(s);
        const Bytes texts(out.begin() + 21, out.end() - 1);
        EXPECT_EQ(HexDump(texts), c.texts) << c.what;
        EXPECT_EQ(out.back(), 0) << c.what;
        EXPECT_EQ(out.size(), 22 + texts.size()) << c.what;
    }
}

TEST(Builders, SettingsWriteFieldsAndBoundaries) {
    ModuleSettings s;
    s.IP_ADDRESS = {10, 0, 0, 1};
    s.PORT_TX = 0;
    s.PORT_RX = 22222;
    s.MYSQL_PORT = 65535;
    const Bytes out = BuildSettingsWrite(s);
    ASSERT_EQ(out.size(), 25u);
    EXPECT_EQ(HexDump(out), "53 45 54 0A 00 00 01 00 00 00 00 00 00 00 00 00 00 56 CE FF FF 00 00 00 00");

    // 255 units is the most a length byte announces: the largest write is 790 bytes.
    s.MYSQL_URL = s.MYSQL_User = s.MYSQL_Pass = std::u16string(255, u'x');
    EXPECT_EQ(BuildSettingsWrite(s).size(), 790u);
    // 256 units after trimming are refused, not cut; blanks that trim away do not count.
    s.MYSQL_Pass = std::u16string(256, u'x');
    EXPECT_THROW(BuildSettingsWrite(s), std::length_error);
    s.MYSQL_Pass = u"  " + std::u16string(255, u'x') + u"  ";
    EXPECT_EQ(BuildSettingsWrite(s).size(), 790u);
}

TEST(Classifier, TagsMatchOnlyWhenCompleteAndInOrder) {
    struct Case {
        const char* bytes;
        DatagramKind kind;
    };
    const Case cases[] = {
        {"", DatagramKind::Unrecognised},
        {"47", DatagramKind::Unrecognised},
        {"47 45", DatagramKind::Unrecognised},
        {"47 45 54", DatagramKind::SettingsReply},
        {"47 45 54 42 52 43 41", DatagramKind::SettingsReply},
        {"42 52 43", DatagramKind::Unrecognised},
        {"42 52 43 41", DatagramKind::DiscoveryReply},
        {"42 52 43 41 00 FF 47 45 54", DatagramKind::DiscoveryReply},
        {"42 52 43 58", DatagramKind::SubnetSwitchReply},
        {"42 52 43 58 C0 A8 01", DatagramKind::SubnetSwitchReply},
        {"62 72 63 61", DatagramKind::Unrecognised},
        {"67 65 74", DatagramKind::Unrecognised},
        {"53 45 54", DatagramKind::Unrecognised},
        {"4D 59 31", DatagramKind::Unrecognised},
        {"42 52 43 42", DatagramKind::Unrecognised},
        {"00 47 45 54", DatagramKind::Unrecognised},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyDatagram(Hex(c.bytes)), c.kind) << "[" << c.bytes << "]";
}

TEST(Parser, WorkedExampleReplyReadsBack) {
    const auto parsed = ParseSettingsReply(Hex(kExampleReply));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, WorkedExampleSettings());
    EXPECT_FALSE(parsed->DHCP_ON);

    // What follows the password is not read.
    Bytes longer = Hex(kExampleReply);
    longer.insert(longer.end(), {0x01, 0xFF, 0x00});
    EXPECT_EQ(ParseSettingsReply(longer), WorkedExampleSettings());
}

TEST(Parser, PortsAreBigEndianAndAddressesInWrittenOrder) {
    const auto s =
        ParseSettingsReply(Hex("47 45 54 0A 00 00 01 FF FF FF 00 0A 00 00 FE 56 CE 00 00 FF FF 00 00 00"));
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(FormatIpv4(s->IP_ADDRESS), "10.0.0.1");
    EXPECT_EQ(FormatIpv4(s->MASK_ADDRESS), "255.255.255.0");
    EXPECT_EQ(FormatIpv4(s->GW_ADDRESS), "10.0.0.254");
    EXPECT_EQ(s->PORT_TX, 22222);
    EXPECT_EQ(s->PORT_RX, 0);
    EXPECT_EQ(s->MYSQL_PORT, 65535);
    EXPECT_TRUE(s->MYSQL_URL.empty() && s->MYSQL_User.empty() && s->MYSQL_Pass.empty());
}

TEST(Parser, ReplyTextsDropEveryByteUpToBlank) {
    struct Case {
        const char* text;  // length byte and bytes of MYSQL_User
        std::u16string expected;
    };
    const Case cases[] = {
        {"03 61 20 62", u"ab"},        {"04 61 00 09 62", u"ab"}, {"03 20 20 20", u""},
        {"02 E9 FF", u"\u00E9\u00FF"}, {"02 21 7F", u"!\x7F"},
    };
    for (const Case& c : cases) {
        const Bytes reply =
            Hex(std::string("47 45 54 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ") + c.text +
                " 00");
        const auto s = ParseSettingsReply(reply);
        ASSERT_TRUE(s.has_value()) << c.text;
        EXPECT_EQ(s->MYSQL_User, c.expected) << c.text;
    }
}

// Every cut of a valid reply short of its announced end is malformed, and the
// parser must not read the missing bytes (the sanitizer build catches a read).
TEST(Parser, ShortRepliesAreMalformed) {
    ModuleSettings s = WorkedExampleSettings();
    s.MYSQL_Pass = u"pw";
    Bytes reply = BuildSettingsWrite(s);
    reply.pop_back();  // drop the flag
    reply[0] = 0x47;   // "SET" -> "GET"
    ASSERT_TRUE(ParseSettingsReply(reply).has_value());
    for (std::size_t len = 0; len < reply.size(); ++len) {
        const Bytes cut(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(len));
        EXPECT_FALSE(ParseSettingsReply(cut).has_value()) << "length " << len;
    }
    // A reply as long as its fixed part, with three empty texts, is complete.
    Bytes fixedOnly(reply.begin(), reply.begin() + 21);
    fixedOnly.insert(fixedOnly.end(), {0, 0, 0});
    EXPECT_TRUE(ParseSettingsReply(fixedOnly).has_value());
    // A length byte announcing more than is there.
    Bytes lying = Hex(kExampleReply);
    lying[21] = 0xFF;
    EXPECT_FALSE(ParseSettingsReply(lying).has_value());
    EXPECT_FALSE(ParseSettingsReply(nullptr, 0).has_value());
}

TEST(Parser, RoundTripsThroughTheSettingsWrite) {
    ModuleSettings s = WorkedExampleSettings();
    s.MYSQL_URL = u"mysql.example";
    s.MYSQL_User = u"admin";
    s.MYSQL_Pass = u"\u00E9t\u00E9";
    Bytes wire = BuildSettingsWrite(s);
    wire[0] = 0x47;
    EXPECT_EQ(ParseSettingsReply(wire), s);
}

TEST(TextHelpers, Ipv4TextFormsAndTheirLimits) {
    EXPECT_EQ(FormatIpv4({192, 168, 1, 50}), "192.168.1.50");
    EXPECT_EQ(FormatIpv4({0, 0, 0, 0}), "0.0.0.0");
    const std::pair<const char*, bool> cases[] = {
        {"255.255.255.255", true},
        {"0.0.0.0", true},
        {"010.001.0.1", true},
        {"256.0.0.1", false},
        {"1.2.3", false},
        {"1.2.3.4.5", false},
        {"1.2.3.", false},
        {" 1.2.3.4", false},
        {"1.2.3.4 ", false},
        {"1..2.3", false},
        {"0001.2.3.4", false},
        {"a.b.c.d", false},
        {"", false},
        {"-1.2.3.4", false},
    };
    for (const auto& [text, valid] : cases) EXPECT_EQ(ParseIpv4(text).has_value(), valid) << text;
    EXPECT_EQ(ParseIpv4("010.001.0.1"), (Ipv4Octets{10, 1, 0, 1}));
}
