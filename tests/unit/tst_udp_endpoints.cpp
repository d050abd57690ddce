// The UDP endpoints on loopback: real sockets, real listener threads.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "protocol/udp_endpoints.h"

using namespace tivaro;
using namespace std::chrono_literals;

namespace {

// Collects what the listener threads post, for the test thread to wait on.
class Recorder {
public:
    UdpListener::Poster Poster() {
        return [this](DatagramEvent&& e) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back(std::move(e));
            m_changed.notify_all();
        };
    }
    // Waits until at least n events are there (5 s at most) and returns a copy.
    std::vector<DatagramEvent> WaitFor(std::size_t n) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, 5s, [&] { return m_events.size() >= n; });
        return m_events;
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<DatagramEvent> m_events;
};

// A plain socket playing a module: bound to a chosen local address.
class Peer {
public:
    explicit Peer(int family = AF_INET, const char* address = "127.0.0.1", std::uint16_t port = 0)
        : m_family(family) {
        m_fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (family == AF_INET) {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            ::inet_pton(AF_INET, address, &a.sin_addr);
            m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        } else {
            const int one = 1;
            ::setsockopt(m_fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_port = htons(port);
            ::inet_pton(AF_INET6, address, &a.sin6_addr);
            m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        }
    }
    ~Peer() { ::close(m_fd); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool Bound() const { return m_bound; }
    std::uint16_t LocalPort() const {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        return ntohs(a.ss_family == AF_INET ? reinterpret_cast<sockaddr_in&>(a).sin_port
                                            : reinterpret_cast<sockaddr_in6&>(a).sin6_port);
    }
    void SendTo(std::uint16_t port, const Bytes& bytes) {
        if (m_family == AF_INET) {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ASSERT_EQ(
                ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                static_cast<ssize_t>(bytes.size()));
        } else {
            sockaddr_in6 to{};
            to.sin6_family = AF_INET6;
            to.sin6_port = htons(port);
            to.sin6_addr = in6addr_loopback;
            ASSERT_EQ(
                ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                static_cast<ssize_t>(bytes.size()));
        }
    }
    // Receives one datagram within 2 s; returns the sender's port, 0 on timeout.
    std::uint16_t ReceiveFromPort(Bytes* payload = nullptr) {
        timeval tv{2, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        std::uint8_t buf[9000];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) return 0;
        if (payload) payload->assign(buf, buf + n);
        return ntohs(from.sin_port);
    }

private:
    int m_family;
    int m_fd;
    bool m_bound = false;
};

bool HasIpv6() {
    const int fd = ::socket(AF_INET6, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// Names of this process's threads that belong to a listener called `name`.
std::vector<std::string> ListenerThreads(const std::string& name) {
    std::vector<std::string> found;
    DIR* dir = ::opendir("/proc/self/task");
    if (!dir) return found;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string line;
        std::getline(comm, line);
        if (line.rfind(name + " ", 0) == 0) found.push_back(line);
    }
    ::closedir(dir);
    return found;
}

const Bytes kMarker = {'E', 'N', 'D'};

class ListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        listener.Start();
        port = listener.Port();
        ASSERT_NE(port, 0);
    }
    Recorder recorder;
    UdpListener listener{recorder.Poster(), 0, "tst"};
    std::uint16_t port = 0;
};

}  // namespace

// Each case sends one datagram and then a marker: the listener keeps order, so
// an event for the first datagram would come before the marker's.
TEST_F(ListenerTest, DeliversOneToMaxSizeWholeAndDropsEmptyAndOversized) {
    struct Case {
        std::size_t size;
        bool delivered;
    };
    const Case cases[] = {{1, true}, {8192, true}, {0, false}, {8193, false}, {65000, false}};
    Peer peer;
    std::size_t expected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        Bytes payload(c.size);
        for (std::size_t i = 0; i < c.size; ++i) payload[i] = static_cast<std::uint8_t>(i * 7 + 1);
        peer.SendTo(port, payload);
        peer.SendTo(port, kMarker);
        expected += c.delivered ? 2 : 1;
        const auto events = recorder.WaitFor(expected);
        ASSERT_EQ(events.size(), expected);
        EXPECT_EQ(events.back().AData, kMarker);
        if (c.delivered) {
            EXPECT_EQ(events[expected - 2].AData, payload);
        }
    }
}

TEST_F(ListenerTest, EventCarriesPeerAddressSourcePortAndLocalPort) {
    Peer peer(AF_INET, "127.0.0.7");
    ASSERT_TRUE(peer.Bound());
    peer.SendTo(port, kMarker);
    const auto events = recorder.WaitFor(1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].PeerIP, "127.0.0.7");
    EXPECT_EQ(events[0].PeerPort, peer.LocalPort());
    EXPECT_EQ(events[0].Port, port);
}

TEST_F(ListenerTest, Ipv6PeerIsEightUpperCaseGroupsAndIpv4ArrivesOnce) {
    if (!HasIpv6()) GTEST_SKIP() << "no IPv6 on this system";
    EXPECT_EQ(listener.SocketCount(), 2u);

    Peer v4;
    v4.SendTo(port, {'v', '4'});
    Peer v6(AF_INET6, "::1");
    ASSERT_TRUE(v6.Bound());
    v6.SendTo(port, {'v', '6'});
    v4.SendTo(port, kMarker);
    // Each socket keeps its own order: a copy of "v4" at the IPv6 socket would
    // come before "v6", one at the IPv4 socket before the marker.
    const auto events = recorder.WaitFor(3);
    ASSERT_EQ(events.size(), 3u);
    int v4Count = 0;
    for (const auto& e : events) {
        if (e.AData == Bytes{'v', '6'}) {
            EXPECT_EQ(e.PeerIP, "0:0:0:0:0:0:0:1");
            EXPECT_EQ(e.PeerPort, v6.LocalPort());
            EXPECT_EQ(e.Port, port);
        } else if (e.AData == Bytes{'v', '4'}) {
            ++v4Count;
        }
    }
    EXPECT_EQ(v4Count, 1);
}

TEST_F(ListenerTest, BurstArrivesCompleteAndInOrder) {
    Peer peer;
    constexpr int kCount = 2000;
    for (int i = 0; i < kCount; ++i)
        peer.SendTo(port, {static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i & 0xFF)});
    const auto events = recorder.WaitFor(kCount);
    ASSERT_EQ(events.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(events[i].AData[0] * 256 + events[i].AData[1], i) << "event " << i;
}

TEST(UdpListener, ThrowingPosterDoesNotStopTheNextDelivery) {
    Recorder recorder;
    auto record = recorder.Poster();
    UdpListener listener(
        [&](DatagramEvent&& e) {
            if (e.AData == Bytes{'x'}) throw std::runtime_error("handler failed");
            record(std::move(e));
        },
        0, "tst");
    listener.Start();
    Peer peer;
    peer.SendTo(listener.Port(), {'x'});
    peer.SendTo(listener.Port(), kMarker);
    const auto events = recorder.WaitFor(1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].AData, kMarker);
}

// The system keeps 15 characters of a thread name: the number must survive.
TEST(UdpListener, ThreadNamesKeepTheirNumberWithinFifteenCharacters) {
    Recorder recorder;
    UdpListener listener(recorder.Poster(), 0);  // named as the manager's: IdUDPServer1
    listener.Start();
    std::vector<std::string> expected = {"IdUDPServer1 #1"};
    if (HasIpv6()) expected.emplace_back("IdUDPServer1 #2");
    auto names = ListenerThreads("IdUDPServer1");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected);
    EXPECT_EQ(ListenerThreadName("tst", 2), "tst Listener #2");  // fits whole
    EXPECT_EQ(ListenerThreadName("a-rather-long-listener", 12), "a-rather-lo #12");
}

// At its limit the listener reads nothing more: the rest waits in the socket's
// buffer, and each place freed lets that many through, in order. Stop ends a
// listener that waits for room.
TEST(UdpListener, ReadsOnlyWhatItsInFlightLimitHasRoomFor) {
    Recorder recorder;
    auto record = recorder.Poster();
    auto limit = std::make_shared<InFlightLimit>(2);
    UdpListener listener(
        [&](DatagramEvent&& e) {
            limit->Add(1);  // handed over, not yet handled
            record(std::move(e));
        },
        0, "tst");
    listener.SetInFlightLimit(limit);
    listener.Start();
    Peer peer;
    for (std::uint8_t i = 0; i < 6; ++i) peer.SendTo(listener.Port(), {i});

    ASSERT_EQ(recorder.WaitFor(2).size(), 2u);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(recorder.Count(), 2u) << "read past the limit";
    EXPECT_EQ(limit->Room(), 0u);

    limit->Remove(1);
    ASSERT_EQ(recorder.WaitFor(3).size(), 3u);
    limit->Remove(2);
    ASSERT_EQ(recorder.WaitFor(5).size(), 5u);
    limit->Remove(1);
    const auto events = recorder.WaitFor(6);
    ASSERT_EQ(events.size(), 6u);
    for (std::uint8_t i = 0; i < 6; ++i) EXPECT_EQ(events[i].AData, Bytes{i});
    EXPECT_EQ(limit->InFlight(), 2u);
    listener.Stop();  // full again: the threads wait for room, not for the socket
    EXPECT_FALSE(listener.Active());
}

TEST(UdpListener, ThreadsAreNamedAndStopEndsThemPromptly) {
    Recorder recorder;
    UdpListener listener(recorder.Poster(), 0, "tst");
    listener.Start();
    listener.Start();  // already active: nothing changes
    ASSERT_TRUE(listener.Active());
    std::vector<std::string> expected = {"tst Listener #1"};
    if (HasIpv6()) expected.emplace_back("tst Listener #2");
    auto names = ListenerThreads("tst");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected);

    const auto begin = std::chrono::steady_clock::now();
    listener.Stop();
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_LT(took, 3s);
    EXPECT_FALSE(listener.Active());
    EXPECT_TRUE(ListenerThreads("tst").empty());

    // Stopped means the port is free again, and the listener starts anew.
    listener.Start();
    EXPECT_TRUE(listener.Active());
}

// The port is taken on one family only: for the IPv6 case the IPv4 socket binds
// first and must be given back when the IPv6 bind fails.
TEST(UdpListener, TakenPortFailsWithBindMessageAndLeavesNothingBehind) {
    for (int family : {AF_INET, AF_INET6}) {
        SCOPED_TRACE(family == AF_INET ? "IPv4 taken" : "IPv6 taken");
        if (family == AF_INET6 && !HasIpv6()) continue;
        std::uint16_t port;
        {
            auto blocker = std::make_unique<Peer>(family, family == AF_INET ? "0.0.0.0" : "::");
            ASSERT_TRUE(blocker->Bound());
            port = blocker->LocalPort();
            Recorder recorder;
            UdpListener listener(recorder.Poster(), port, "tst");
            try {
                listener.Start();
                FAIL() << "Start succeeded on a taken port";
            } catch (const NetworkError& e) {
                EXPECT_STREQ(e.what(), kBindFailedMessage);
                EXPECT_EQ(e.code(), EADDRINUSE);
            }
            EXPECT_FALSE(listener.Active());
            EXPECT_EQ(listener.SocketCount(), 0u);
            EXPECT_TRUE(ListenerThreads("tst").empty());
        }
        Peer v4(AF_INET, "0.0.0.0", port);
        EXPECT_TRUE(v4.Bound());
        if (HasIpv6()) {
            Peer v6(AF_INET6, "::", port);
            EXPECT_TRUE(v6.Bound());
        }
    }
}

// Runs body in a forked child inside a fresh network namespace with its
// loopback up, so the fixed ports can be bound without touching the host's.
// The child's exit status is the result: 0 passes, 77 means "no namespace".
int InFreshNetworkNamespace(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0) ::_exit(77);
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        ifreq ifr{};
        std::strcpy(ifr.ifr_name, "lo");
        if (::ioctl(fd, SIOCGIFFLAGS, &ifr) != 0) ::_exit(77);
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
        if (::ioctl(fd, SIOCSIFFLAGS, &ifr) != 0) ::_exit(77);
        ::close(fd);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Runs body on a thread of its own on which socket(AF_INET6, ...) fails with
// err, as a sandbox or a kernel without IPv6 refuses it. The seccomp filter
// binds that thread (and threads it starts) only. Returns false when the
// system does not take the filter.
bool WithIpv6SocketsRefused(int err, const std::function<void()>& body) {
#if defined(__x86_64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 0, 5),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AF_INET6, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(err) & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    bool installed = false;
    std::thread worker([&] {
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return;
        if (::syscall(__NR_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) != 0) return;
        installed = true;
        body();
    });
    worker.join();
    return installed;
}

TEST(UdpListener, RefusedIpv6SocketMeansIpv4Alone) {
    for (int err : {EACCES, EPERM, EPROTONOSUPPORT, EAFNOSUPPORT, EINVAL}) {
        SCOPED_TRACE(SocketErrorDescription(err));
        Recorder recorder;
        UdpListener listener(recorder.Poster(), 0, "tst");
        std::string failure;
        const bool ran = WithIpv6SocketsRefused(err, [&] {
            try {
                listener.Start();
            } catch (const NetworkError& e) {
                failure = e.what();
            }
        });
        if (!ran) GTEST_SKIP() << "this system takes no seccomp filter";
        EXPECT_EQ(failure, "");
        ASSERT_TRUE(listener.Active());
        EXPECT_EQ(listener.SocketCount(), 1u);
        EXPECT_EQ(ListenerThreads("tst"), std::vector<std::string>{"tst Listener #1"});
        Peer peer;
        peer.SendTo(listener.Port(), kMarker);
        EXPECT_EQ(recorder.WaitFor(1).size(), 1u);
    }
}

TEST(UdpListener, ByDefaultListensOnTheManagerPort) {
    const int result = InFreshNetworkNamespace([] {
        Recorder recorder;
        UdpListener listener(recorder.Poster());
        if (listener.Port() != kManagerListenPort) return 1;
        listener.Start();
        UdpSender sender;
        sender.Send("localhost", kManagerListenPort, {'B', 'R', 'C', 'A'});
        const auto events = recorder.WaitFor(1);
        if (events.size() != 1) return 2;
        if (events[0].Port != kManagerListenPort || events[0].PeerPort != sender.LocalPort()) return 3;
        return 0;
    });
    if (result == 77) GTEST_SKIP() << "needs root for a network namespace";
    EXPECT_EQ(result, 0) << "1: wrong port, 2: nothing received, 3: wrong ports in the event";
}

TEST(UdpSender, KeepsItsSourcePortUntilClosedThenTakesANewOne) {
    Peer module;
    UdpSender sender;
    EXPECT_FALSE(sender.IsOpen());
    sender.Send("127.0.0.1", module.LocalPort(), {'B', 'R', 'C', 'A'});
    const std::uint16_t first = module.ReceiveFromPort();
    ASSERT_NE(first, 0);
    EXPECT_EQ(sender.LocalPort(), first);
    sender.Send("127.0.0.1", module.LocalPort(), {'G', 'E', 'T'});
    EXPECT_EQ(module.ReceiveFromPort(), first);

    sender.Close();
    sender.Close();  // closing twice is harmless
    EXPECT_FALSE(sender.IsOpen());
    // Keep the old port busy so that "a new one" cannot happen to be the same.
    Peer holder(AF_INET, "0.0.0.0", first);
    ASSERT_TRUE(holder.Bound());
    sender.Send("127.0.0.1", module.LocalPort(), {'S', 'E', 'T'});
    const std::uint16_t second = module.ReceiveFromPort();
    EXPECT_NE(second, 0);
    EXPECT_NE(second, first);
}

TEST(UdpSender, LocalhostInAnyCaseAndDottedQuadsReachLoopback) {
    Peer module;
    UdpSender sender;
    for (const char* host : {"localhost", "LOCALHOST", "LocalHost", "127.0.0.1", "127.000.0.1"}) {
        SCOPED_TRACE(host);
        const Bytes payload(host, host + std::strlen(host));
        sender.Send(host, module.LocalPort(), payload);
        Bytes got;
        EXPECT_NE(module.ReceiveFromPort(&got), 0);
        EXPECT_EQ(got, payload);
    }
}

// A loopback name from the hosts file, so the lookup never leaves the machine.
std::string LoopbackNameFromHostsFile() {
    std::ifstream hosts("/etc/hosts");
    std::string address, name;
    for (std::string line; std::getline(hosts, line);) {
        std::istringstream fields(line);
        if (!(fields >> address) || address.rfind("127.", 0) != 0) continue;
        while (fields >> name) {
            if (name[0] == '#') break;
            if (name != "localhost" && name.find('.') == std::string::npos) return name;
        }
    }
    return "";
}

TEST(UdpSender, OtherNamesAreResolvedThroughTheSystem) {
    const std::string name = LoopbackNameFromHostsFile();
    if (name.empty()) GTEST_SKIP() << "no loopback name besides localhost in /etc/hosts";
    Peer module;
    UdpSender sender;
    sender.Send(name, module.LocalPort(), {'G', 'E', 'T'});
    EXPECT_NE(module.ReceiveFromPort(), 0) << name;
}

TEST(UdpSender, TooLargeDatagramFailsAndTheSocketStaysOpen) {
    Peer module;
    UdpSender sender;
    sender.Send("127.0.0.1", module.LocalPort(), {'G', 'E', 'T'});
    const std::uint16_t before = sender.LocalPort();
    try {
        sender.Send("127.0.0.1", module.LocalPort(), Bytes(70000, 0x41));
        ADD_FAILURE() << "a 70000-byte datagram was accepted";
    } catch (const NetworkError& e) {
        EXPECT_STREQ(e.what(), kPackageTooLargeMessage);
        EXPECT_EQ(e.code(), EMSGSIZE);
    }
    EXPECT_TRUE(sender.IsOpen());
    EXPECT_EQ(sender.LocalPort(), before);
}

// The lookup runs inside a fresh network namespace, so a name the hosts file
// lacks never becomes a query on the real network.
TEST(UdpSender, UnknownHostFailsWithHostNotFound) {
    const int result = InFreshNetworkNamespace([] {
        UdpSender sender;
        try {
            sender.Send("no-such-module.invalid", kDeviceCommandPort, {'G', 'E', 'T'});
        } catch (const NetworkError& e) {
            const bool ok = e.code() == kHostNotFoundCode &&
                            std::string(e.what()) == "Socket-Fehler # 11001Host nicht gefunden.\r\n";
            return ok ? 0 : 1;
        }
        return 2;
    });
    if (result == 77) GTEST_SKIP() << "needs root for a network namespace";
    EXPECT_EQ(result, 0) << "1: wrong error, 2: no error";
}

TEST(BroadcastInterfaceIndexes, UpBroadcastCapableNonLoopbackInterfacesOnce) {
    const unsigned up = IFF_UP | IFF_RUNNING;
    const std::vector<InterfaceAddress> addresses = {
        {"lo", 1, up | IFF_LOOPBACK},        {"eth0", 2, up | IFF_BROADCAST | IFF_MULTICAST},
        {"wlan0", 3, up | IFF_BROADCAST},    {"eth0:1", 2, up | IFF_BROADCAST},  // a second address of eth0
        {"eth1", 4, IFF_BROADCAST},                                              // down
        {"tun0", 5, up | IFF_POINTOPOINT},                                       // cannot broadcast
        {"gone", 0, up | IFF_BROADCAST},      // vanished between listing and lookup
        {"wlan0", 3, up | IFF_BROADCAST},     // listed twice
        {"eth2", 6, IFF_UP | IFF_BROADCAST},  // up, no carrier yet: still asked
    };
    EXPECT_EQ(BroadcastInterfaceIndexes(addresses), (std::vector<unsigned>{2, 3, 6}));
    EXPECT_TRUE(BroadcastInterfaceIndexes({}).empty());
    EXPECT_TRUE(BroadcastInterfaceIndexes({addresses[0], addresses[4]}).empty());
}

TEST(SocketErrorMessage, CodeThenDescriptionThenCrLf) {
    struct Case {
        int err;
        const char* message;
    };
    const Case cases[] = {
        {EADDRINUSE, "Socket-Fehler # 98Adresse wird bereits verwendet.\r\n"},
        {EWOULDBLOCK, "Socket-Fehler # 11Operation würde blockieren.\r\n"},
        {ENOTEMPTY, "Socket-Fehler # 39Verzeichnis ist nicht leer\r\n"},
        {EHOSTUNREACH, "Socket-Fehler # 113Keine Route zum Host.\r\n"},
        {kHostNotFoundCode, "Socket-Fehler # 11001Host nicht gefunden.\r\n"},
        {ENOENT, "Socket-Fehler # 2\r\n"},
        {0, "Socket-Fehler # 0\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(SocketErrorMessage(c.err), c.message) << "errno " << c.err;
}
