// Discovery, settings and the simulator's faults end to end on a virtual LAN:
// the manager's UdpSender and UdpListener on the manager side, tivaro-sim on
// the module side, a real broadcast over the virtual link between them.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "lan_support.h"
#include "protocol/messages.h"
#include "protocol/udp_endpoints.h"

using namespace tivaro;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// What the listener threads post, with the time each arrived.
class Inbox {
public:
    UdpListener::Poster Poster() {
        return [this](DatagramEvent&& e) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back({std::move(e), Clock::now()});
            m_changed.notify_all();
        };
    }
    struct Arrival {
        DatagramEvent event;
        Clock::time_point at;
    };
    // Waits until n datagrams are in (or the time is up), then a little
    // longer for any that should not come, and returns all of them.
    std::vector<Arrival> Collect(std::size_t n, std::chrono::milliseconds timeout,
                                 std::chrono::milliseconds settle = 200ms) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, timeout, [&] { return m_events.size() >= n; });
        lock.unlock();
        std::this_thread::sleep_for(settle);
        lock.lock();
        auto out = std::move(m_events);
        m_events.clear();
        return out;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Arrival> m_events;
};

class LanDiscovery : public ::testing::Test {
protected:
    void SetUp() override {
        if (!lan::CurrentLan()) GTEST_SKIP() << lan::kNotInLan;
        ASSERT_NO_THROW(m_listener.Start());
    }

    void StartSim(const std::vector<std::string>& args) { ASSERT_TRUE(m_sim.Start(args)) << m_sim.Error(); }

    // The first module's address plus i.
    static std::string Module(int i) { return "198.18.1." + std::to_string(10 + i); }

    Inbox m_inbox;
    UdpListener m_listener{m_inbox.Poster()};
    UdpSender m_sender;
    lan::SimProcess m_sim;
};

TEST_F(LanDiscovery, OneBroadcastReachesEveryModuleAndEachAnswersFromItsOwnAddress) {
    StartSim({"--count", "3"});
    m_sender.Close();
    m_sender.Send("255.255.255.255", kDeviceCommandPort, BuildDiscoveryRequest());

    const auto replies = m_inbox.Collect(3, 3s);
    std::set<std::string> from;
    for (const auto& r : replies) {
        EXPECT_EQ(ClassifyDatagram(r.event.AData), DatagramKind::DiscoveryReply) << HexDump(r.event.AData);
        EXPECT_EQ(r.event.PeerPort, kDeviceCommandPort);
        EXPECT_EQ(r.event.Port, kManagerListenPort);
        from.insert(r.event.PeerIP);
    }
    EXPECT_EQ(replies.size(), 3u) << m_sim.Output();
    EXPECT_EQ(from, (std::set<std::string>{Module(0), Module(1), Module(2)}));
    EXPECT_TRUE(m_sim.WaitForLine("3 replies sent, 0 failed", 1000)) << m_sim.Output();
    // One link: the request goes out exactly once.
    int requests = 0;
    for (const auto& line : m_sim.Lines()) requests += line.rfind("broadcast BRCA from ", 0) == 0;
    EXPECT_EQ(requests, 1) << m_sim.Output();
}

TEST_F(LanDiscovery, SettingsWriteChangesWhatTheModuleReportsNext) {
    StartSim({"--count", "2"});
    auto fetch = [this](const std::string& module) -> std::optional<ModuleSettings> {
        m_sender.Send(module, kDeviceCommandPort, BuildSettingsRequest());
        const auto replies = m_inbox.Collect(1, 2s, 50ms);
        if (replies.size() != 1 || replies[0].event.PeerIP != module) return std::nullopt;
        return ParseSettingsReply(replies[0].event.AData);
    };

    const auto before = fetch(Module(1));
    ASSERT_TRUE(before) << m_sim.Output();
    EXPECT_EQ(FormatIpv4(before->IP_ADDRESS), Module(1));
    EXPECT_EQ(before->MYSQL_PORT, 3306);

    ModuleSettings wanted = *before;
    wanted.MASK_ADDRESS = {255, 255, 0, 0};
    wanted.PORT_TX = 30001;
    wanted.MYSQL_URL = u"db.tivaro.test";
    wanted.MYSQL_User = u"anna";
    wanted.MYSQL_Pass = u"";
    m_sender.Close();  // as the setup dialog does: a write leaves from a fresh socket
    m_sender.Send(Module(1), kDeviceCommandPort, BuildSettingsWrite(wanted));
    std::string line;
    ASSERT_TRUE(m_sim.WaitForLine(" SET from ", 2000, &line)) << m_sim.Output();
    EXPECT_NE(line.find("after ip=" + Module(1) + " mask=255.255.0.0 gw=198.18.1.1 tx=30001"),
              std::string::npos)
        << line;

    const auto after = fetch(Module(1));
    ASSERT_TRUE(after) << m_sim.Output();
    EXPECT_EQ(*after, wanted);
    const auto other = fetch(Module(0));
    ASSERT_TRUE(other);
    EXPECT_EQ(other->MYSQL_URL, u"198.18.1.1") << "the write reached one module only";
}

struct FaultCase {
    const char* name;
    std::vector<std::string> simArgs;
    bool broadcast;         // discovery to everyone, else a settings request to the first module
    std::size_t delivered;  // datagrams the listener hands over
    int simSent;            // datagrams the simulator sent
    std::function<void(const std::vector<Inbox::Arrival>&, Clock::time_point sent)> check;
};

class LanFaults : public LanDiscovery, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(LanFaults, ManagerSeesTheFault) {
    const FaultCase& c = GetParam();
    StartSim(c.simArgs);
    const auto sent = Clock::now();
    if (c.broadcast)
        m_sender.Send("255.255.255.255", kDeviceCommandPort, BuildDiscoveryRequest());
    else
        m_sender.Send(Module(0), kDeviceCommandPort, BuildSettingsRequest());
    // The module's console shows that it handled the request, whatever it answered.
    EXPECT_TRUE(m_sim.WaitForLine(c.broadcast ? "broadcast BRCA" : " GET from ", 2000)) << m_sim.Output();
    const auto got = m_inbox.Collect(c.delivered, 3s, 400ms);
    ASSERT_EQ(got.size(), c.delivered) << m_sim.Output();
    if (c.check) c.check(got, sent);
    m_sim.Stop();
    EXPECT_TRUE(m_sim.WaitForLine(" " + std::to_string(c.simSent) + " out, 0 failed", 0)) << m_sim.Output();
}

const FaultCase kFaultCases[] = {
    {"silent", {"--count", "2", "--silent"}, true, 0, 0, nullptr},
    {"duplicate",
     {"--count", "1", "--duplicate"},
     false,
     2,
     2,
     [](const std::vector<Inbox::Arrival>& got, Clock::time_point) {
         EXPECT_EQ(got[0].event.AData, got[1].event.AData);
         EXPECT_TRUE(ParseSettingsReply(got[0].event.AData));
     }},
    {"burst",
     {"--count", "2", "--burst", "4"},
     true,
     8,
     8,
     [](const std::vector<Inbox::Arrival>& got, Clock::time_point) {
         std::map<std::string, int> perModule;
         for (const auto& a : got) ++perModule[a.event.PeerIP];
         EXPECT_EQ(perModule, (std::map<std::string, int>{{"198.18.1.10", 4}, {"198.18.1.11", 4}}));
     }},
    {"malformed",
     {"--count", "1", "--malformed"},
     false,
     1,
     1,
     [](const std::vector<Inbox::Arrival>& got, Clock::time_point) {
         EXPECT_EQ(ClassifyDatagram(got[0].event.AData), DatagramKind::SettingsReply);
         EXPECT_FALSE(ParseSettingsReply(got[0].event.AData));
     }},
    // Longer than 8192 bytes: the listener drops it whole.
    {"oversized", {"--count", "1", "--oversized"}, false, 0, 1, nullptr},
    {"delay",
     {"--count", "1", "--delay", "300"},
     false,
     1,
     1,
     [](const std::vector<Inbox::Arrival>& got, Clock::time_point sent) {
         EXPECT_GE(got[0].at - sent, 290ms) << "the reply came early";
     }},
};

INSTANTIATE_TEST_SUITE_P(Faults, LanFaults, ::testing::ValuesIn(kFaultCases),
                         [](const ::testing::TestParamInfo<FaultCase>& i) {
                             return std::string(i.param.name);
                         });

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
