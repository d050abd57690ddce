// The simulated module's answers and the simulator's command line, without sockets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_options.h"
#include "sim/simulated_module.h"

using namespace tivaro;
using namespace tivaro::sim;

namespace {

const Ipv4Octets kAddress{198, 18, 1, 10};

Handling Send(SimulatedModule& m, const Bytes& bytes, const Faults& faults = {}) {
    return m.Handle(bytes.data(), bytes.size(), "198.18.0.1:40000", faults);
}

ModuleSettings Changed() {
    ModuleSettings s;
    s.IP_ADDRESS = {10, 0, 0, 7};
    s.MASK_ADDRESS = {255, 255, 0, 0};
    s.GW_ADDRESS = {10, 0, 0, 1};
    s.PORT_TX = 1000;
    s.PORT_RX = 2000;
    s.MYSQL_PORT = 3307;
    s.MYSQL_URL = u"db.example";
    s.MYSQL_User = u"a b";  // inner blank: kept by the module, dropped by the manager's reading
    s.MYSQL_Pass = u"\u00e9";
    s.DHCP_ON = true;
    return s;
}

TEST(SimulatedModule, SettingsWriteIsStoredAndReadBackByteForByte) {
    SimulatedModule m(kAddress);
    const Handling write = Send(m, BuildSettingsWrite(Changed()));
    EXPECT_TRUE(write.replies.empty()) << "a settings write gets no answer";
    EXPECT_NE(write.note.find("before ip=198.18.1.10"), std::string::npos) << write.note;
    EXPECT_NE(write.note.find("after ip=10.0.0.7"), std::string::npos) << write.note;
    EXPECT_TRUE(m.Settings().DHCP_ON);

    const Handling get = Send(m, BuildSettingsRequest());
    ASSERT_EQ(get.replies.size(), 1u);
    Bytes expected = BuildSettingsWrite(Changed());
    expected.pop_back();  // no DHCP byte in a reply
    expected[0] = 'G';
    expected[1] = 'E';
    expected[2] = 'T';
    EXPECT_EQ(HexDump(get.replies[0]), HexDump(expected));
    // The address of the socket does not move with the settings.
    EXPECT_EQ(m.Address(), kAddress);
}

TEST(SimulatedModule, BrokenSettingsWritesChangeNothing) {
    const Bytes good = BuildSettingsWrite(Changed());
    const std::vector<std::size_t> cuts = {3, 24, 25, good.size() - 2, good.size() - 1};
    for (std::size_t cut : cuts) {
        SimulatedModule m(kAddress);
        const Bytes bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        const Handling h = Send(m, bytes);
        EXPECT_TRUE(h.replies.empty()) << "cut at " << cut;
        EXPECT_NE(h.note.find("malformed"), std::string::npos) << "cut at " << cut << ": " << h.note;
        EXPECT_EQ(m.Settings(), DefaultSettingsFor(kAddress)) << "cut at " << cut;
    }
}

TEST(SimulatedModule, DefaultsAreAPlausibleModule) {
    SimulatedModule m(kAddress);
    const Handling get = Send(m, BuildSettingsRequest());
    ASSERT_EQ(get.replies.size(), 1u);
    const auto read = ParseSettingsReply(get.replies[0]);
    ASSERT_TRUE(read);
    EXPECT_EQ(FormatIpv4(read->IP_ADDRESS), "198.18.1.10");
    EXPECT_EQ(FormatIpv4(read->MASK_ADDRESS), "255.255.255.0");
    EXPECT_EQ(FormatIpv4(read->GW_ADDRESS), "198.18.1.1");
    EXPECT_EQ(read->PORT_RX, 22222);
    EXPECT_EQ(read->MYSQL_PORT, 3306);
    EXPECT_EQ(read->MYSQL_User, u"modul10");
}

TEST(SimulatedModule, SubnetSwitchMovesTheSettingsIntoTheNewSegment) {
    SimulatedModule m(kAddress);
    const Handling h = Send(m, BuildSubnetSwitchRequest(192, 168, 7));
    ASSERT_EQ(h.replies.size(), 1u);
    EXPECT_EQ(ClassifyDatagram(h.replies[0]), DatagramKind::SubnetSwitchReply);
    EXPECT_EQ(FormatIpv4(m.Settings().IP_ADDRESS), "192.168.7.10");
    EXPECT_EQ(FormatIpv4(m.Settings().GW_ADDRESS), "192.168.7.1");

    const Handling shortOne = Send(m, Bytes{'B', 'R', 'C', 'X', 10, 0});
    EXPECT_TRUE(shortOne.replies.empty());
    EXPECT_EQ(FormatIpv4(m.Settings().IP_ADDRESS), "192.168.7.10");
}

TEST(SimulatedModule, FaultsShapeTheReplies) {
    struct Case {
        const char* name;
        Faults faults;
        Bytes request;
        std::size_t replies;
        std::function<void(const Bytes&)> check;
    };
    auto isDiscovery = [](const Bytes& r) { EXPECT_EQ(ClassifyDatagram(r), DatagramKind::DiscoveryReply); };
    auto isGoodSettings = [](const Bytes& r) { EXPECT_TRUE(ParseSettingsReply(r)); };
    const std::vector<Case> cases = {
        {"plain discovery", {}, BuildDiscoveryRequest(), 1, isDiscovery},
        {"silent discovery", {true, 0, false, false, false, 1}, BuildDiscoveryRequest(), 0, nullptr},
        {"silent settings", {true, 0, false, false, false, 1}, BuildSettingsRequest(), 0, nullptr},
        {"duplicate settings", {false, 0, false, false, true, 1}, BuildSettingsRequest(), 2, isGoodSettings},
        {"burst 5", {false, 0, false, false, false, 5}, BuildDiscoveryRequest(), 5, isDiscovery},
        {"burst 3 and duplicate", {false, 0, false, false, true, 3}, BuildDiscoveryRequest(), 6, isDiscovery},
        {"burst is bounded",
         {false, 0, false, false, false, 1000000},
         BuildDiscoveryRequest(),
         kMaxBurst,
         isDiscovery},
        {"malformed settings",
         {false, 0, true, false, false, 1},
         BuildSettingsRequest(),
         1,
         [](const Bytes& r) {
             EXPECT_EQ(ClassifyDatagram(r), DatagramKind::SettingsReply);
             EXPECT_FALSE(ParseSettingsReply(r));
         }},
        {"oversized settings",
         {false, 0, false, true, false, 1},
         BuildSettingsRequest(),
         1,
         [](const Bytes& r) {
             EXPECT_GT(r.size(), 8192u);
             EXPECT_TRUE(ParseSettingsReply(r)) << "the settings are there, the size is the fault";
         }},
        {"malformed does not touch discovery",
         {false, 0, true, true, false, 1},
         BuildDiscoveryRequest(),
         1,
         isDiscovery},
        {"database test 1",
         {},
         BuildDatabaseTestRequest(1),
         1,
         [](const Bytes& r) { EXPECT_EQ(ClassifyDatagram(r), DatagramKind::Unrecognised); }},
        {"unknown datagram", {}, Bytes{'X', 'Y', 'Z'}, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedModule m(kAddress);
        const Handling h = Send(m, c.request, c.faults);
        ASSERT_EQ(h.replies.size(), c.replies);
        for (const auto& r : h.replies) {
            EXPECT_EQ(r, h.replies[0]) << "copies are identical";
            if (c.check) c.check(r);
        }
    }
}

TEST(SimOptions, CommandLines) {
    const auto good = ParseSimOptions({"--count", "300", "--first-address=198.18.128.1", "--delay", "50",
                                       "--burst", "3", "--duplicate", "--verbose"});
    ASSERT_EQ(good.error, "");
    EXPECT_EQ(good.options.count, 300);
    EXPECT_EQ(FormatIpv4(ModuleAddress(good.options.firstAddress, 299)), "198.18.129.44");
    EXPECT_EQ(good.options.faults.delayMs, 50);
    EXPECT_EQ(good.options.faults.burst, 3);
    EXPECT_TRUE(good.options.faults.duplicate && good.options.verbose);

    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--count"},
        {"--count", "0"},
        {"--count", "12x"},
        {"--count", "70000"},
        {"--first-address", "1.2.3"},
        {"--delay", "-1"},
        {"--burst", "1001"},
        {"--port", "22223"},
        {"--silent=yes"},
        {"stray"},
        {"--first-address", "255.255.255.250", "--count", "10"},
    };
    for (const auto& args : bad) {
        std::string line;
        for (const auto& a : args) line += a + " ";
        EXPECT_NE(ParseSimOptions(args).error, "") << line;
    }
}

}  // namespace
