#include "protocol/udp_endpoints.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace tivaro {

const char* const kBindFailedMessage =
    "Socket konnte nicht gebunden werden. Adresse und Port werden bereits verwendet.";
const char* const kPackageTooLargeMessage = "Package zu groß.";
const char* const kNotAllBytesSentMessage = "Es wurden nicht alle Bytes gesendet.";

NetworkError::NetworkError(const std::string& message, int code)
    : std::runtime_error(message), m_code(code) {}

std::string SocketErrorDescription(int err) {
    switch (err) {
        case EINTR:
            return "Unterbrochener Systemaufruf.";
        case EBADF:
            return "Falsche Dateinummer.";
        case EACCES:
            return "Zugriff verweigert.";
        case EFAULT:
            return "Pufferfehler.";
        case EINVAL:
            return "Ungültiges Argument.";
        case EMFILE:
            return "Zu viele geöffnete Dateien.";
        case EWOULDBLOCK:
            return "Operation würde blockieren.";
        case EINPROGRESS:
            return "Die Operation wird gerade durchgeführt.";
        case EALREADY:
            return "Operation wird bereits verarbeitet.";
        case ENOTSOCK:
            return "Socket-Operation für Nicht-Socket.";
        case EDESTADDRREQ:
            return "Zieladresse erforderlich.";
        case EMSGSIZE:
            return "Nachricht zu lang.";
        case EPROTOTYPE:
            return "Falscher Protokolltyp für Socket.";
        case ENOPROTOOPT:
            return "Falsche Protokolloption.";
        case EPROTONOSUPPORT:
            return "Protokoll nicht unterstützt.";
        case ESOCKTNOSUPPORT:
            return "Socket-Typ wird nicht unterstützt.";
        case EOPNOTSUPP:
            return "Operation für Socket nicht unterstützt.";
        case EPFNOSUPPORT:
            return "Protokollfamilie nicht unterstützt.";
        case EAFNOSUPPORT:
            return "Die Adressfamilie wird von der Protokollfamilie nicht unterstützt.";
        case EADDRINUSE:
            return "Adresse wird bereits verwendet.";
        case EADDRNOTAVAIL:
            return "Angeforderte Adresse kann nicht zugewiesen werden.";
        case ENETDOWN:
            return "Netzwerk ist heruntergefahren.";
        case ENETUNREACH:
            return "Netzwerk ist nicht erreichbar.";
        case ENETRESET:
            return "Netz hat die Verbindung verloren oder zurückgesetzt.";
        case ECONNABORTED:
            return "Software verursachte einen Verbindungsabbruch.";
        case ECONNRESET:
            return "Die Verbindung wurde von Peer zurückgesetzt.";
        case ENOBUFS:
            return "Kein Pufferplatz verfügbar.";
        case EISCONN:
            return "Socket ist bereits verbunden.";
        case ENOTCONN:
            return "Socket ist nicht verbunden.";
        case ESHUTDOWN:
            return "Nach Schließen des Socket kann weder gesendet noch empfangen werden.";
        case ETOOMANYREFS:
            return "Zu viele Referenzen; keine Verbindungen möglich.";
        case ETIMEDOUT:
            return "Zeitüberschreitung bei Verbindung.";
        case ECONNREFUSED:
            return "Verbindung abgelehnt.";
        case ELOOP:
            return "Zu viele Ebenen symbolischer Verknüpfungen.";
        case ENAMETOOLONG:
            return "Dateiname zu lang.";
        case EHOSTDOWN:
            return "Host ist heruntergefahren.";
        case EHOSTUNREACH:
            return "Keine Route zum Host.";
        case ENOTEMPTY:
            return "Verzeichnis ist nicht leer";
        case kHostNotFoundCode:
            return "Host nicht gefunden.";
        default:
            return "";
    }
}

std::string SocketErrorMessage(int err) {
    return "Socket-Fehler # " + std::to_string(err) + SocketErrorDescription(err) + "\r\n";
}

namespace {

[[noreturn]] void throwSystemError(int err) { throw NetworkError(SocketErrorMessage(err), err); }
[[noreturn]] void throwBindFailed(int err) { throw NetworkError(kBindFailedMessage, err); }

bool isLocalhost(const std::string& host) {
    static const char name[] = "localhost";
    if (host.size() != sizeof name - 1) return false;
    for (std::size_t i = 0; i < host.size(); ++i) {
        char c = host[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != name[i]) return false;
    }
    return true;
}

in_addr resolveIpv4(const std::string& host) {
    in_addr addr{};
    if (isLocalhost(host)) {
        addr.s_addr = htonl(INADDR_LOOPBACK);
        return addr;
    }
    if (auto octets = ParseIpv4(host)) {
        std::memcpy(&addr.s_addr, octets->data(), 4);
        return addr;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (rc != 0 || result == nullptr) {
        const int err = errno;
        if (result) ::freeaddrinfo(result);
        // A resolver that failed through a system call reports that call's
        // errno; every other failure is a name that could not be found.
        if (rc == EAI_SYSTEM && err != 0) throwSystemError(err);
        throwSystemError(kHostNotFoundCode);
    }
    addr = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
    ::freeaddrinfo(result);
    return addr;
}

std::string formatPeer(const sockaddr_storage& from) {
    char buf[64];
    if (from.ss_family == AF_INET) {
        const auto& sin = reinterpret_cast<const sockaddr_in&>(from);
        const auto* o = reinterpret_cast<const std::uint8_t*>(&sin.sin_addr.s_addr);
        std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", o[0], o[1], o[2], o[3]);
        return buf;
    }
    if (from.ss_family == AF_INET6) {
        const auto& sin6 = reinterpret_cast<const sockaddr_in6&>(from);
        const std::uint8_t* b = sin6.sin6_addr.s6_addr;
        unsigned g[8];
        for (std::size_t i = 0; i < 8; ++i) g[i] = static_cast<unsigned>(b[2 * i] << 8 | b[2 * i + 1]);
        std::snprintf(buf, sizeof buf, "%X:%X:%X:%X:%X:%X:%X:%X", g[0], g[1], g[2], g[3], g[4], g[5], g[6],
                      g[7]);
        return buf;
    }
    return std::string();
}

std::uint16_t peerPort(const sockaddr_storage& from) {
    if (from.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(from).sin_port);
    if (from.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(from).sin6_port);
    return 0;
}

std::uint16_t boundPort(int fd) {
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0) return 0;
    return peerPort(local);
}

int setFlag(int fd, int level, int option) {
    const int one = 1;
    return ::setsockopt(fd, level, option, &one, sizeof one);
}

// Replies of a large LAN arrive in bursts; the default buffer of about 200 KiB
// overflows long before the thread falls behind for real. The kernel caps the
// request quietly (SO_RCVBUFFORCE lifts the cap where we are allowed to).
void askForLargeReceiveBuffer(int fd) {
    const int size = 8 * 1024 * 1024;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

}  // namespace

// ---------------------------------------------------------------- UdpSender

UdpSender::~UdpSender() { Close(); }

void UdpSender::Close() { m_fd.Reset(); }

std::uint16_t UdpSender::LocalPort() const { return m_fd.Valid() ? boundPort(m_fd.Get()) : 0; }

std::vector<InterfaceAddress> Ipv4InterfaceAddresses() {
    std::vector<InterfaceAddress> found;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return found;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_name) continue;
        InterfaceAddress entry;
        entry.name = a->ifa_name;
        entry.flags = a->ifa_flags;
        // An address label ("eth0:1") names its interface before the colon.
        entry.index = ::if_nametoindex(entry.name.substr(0, entry.name.find(':')).c_str());
        found.push_back(std::move(entry));
    }
    ::freeifaddrs(list);
    return found;
}

std::vector<unsigned> BroadcastInterfaceIndexes(const std::vector<InterfaceAddress>& addresses) {
    std::vector<unsigned> indexes;
    for (const InterfaceAddress& a : addresses) {
        if (a.index == 0 || !(a.flags & IFF_UP) || !(a.flags & IFF_BROADCAST) || (a.flags & IFF_LOOPBACK))
            continue;
        if (std::find(indexes.begin(), indexes.end(), a.index) == indexes.end()) indexes.push_back(a.index);
    }
    return indexes;
}

namespace {

// Sends one datagram, through interface ifindex unless it is 0 (then the
// system's route decides). Returns the error the send raises, if any.
std::optional<NetworkError> sendDatagram(int fd, const sockaddr_in& to, const Bytes& bytes,
                                         unsigned ifindex) {
    iovec iov{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    msghdr msg{};
    msg.msg_name = const_cast<sockaddr_in*>(&to);
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (ifindex != 0) {
        // IP_PKTINFO names the interface for this one datagram; the source
        // address is the system's choice on that interface.
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = static_cast<int>(ifindex);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    ssize_t sent;
    do {
        sent = ::sendmsg(fd, &msg, 0);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        const int err = errno;
        if (err == EMSGSIZE) return NetworkError(kPackageTooLargeMessage, err);
        return NetworkError(SocketErrorMessage(err), err);
    }
    if (static_cast<std::size_t>(sent) != bytes.size()) return NetworkError(kNotAllBytesSentMessage, 0);
    return std::nullopt;
}

}  // namespace

void UdpSender::Send(const std::string& host, std::uint16_t port, const Bytes& bytes) {
    if (!m_fd.Valid()) {
        UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (!fd.Valid()) throwSystemError(errno);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        any.sin_port = 0;
        if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0)
            throwBindFailed(errno);
        if (setFlag(fd.Get(), SOL_SOCKET, SO_BROADCAST) != 0) throwSystemError(errno);
        m_fd = std::move(fd);
    }

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = resolveIpv4(host);
    to.sin_port = htons(port);

    // The system sends a limited broadcast through one interface only (the
    // one its routes pick), so modules on a second network would never hear
    // it: it goes out through each broadcast interface there is right now.
    std::vector<unsigned> interfaces;
    if (to.sin_addr.s_addr == htonl(INADDR_BROADCAST))
        interfaces = BroadcastInterfaceIndexes(Ipv4InterfaceAddresses());
    if (interfaces.empty()) interfaces.push_back(0);

    std::optional<NetworkError> firstError;
    bool anySent = false;
    for (unsigned ifindex : interfaces) {
        auto error = sendDatagram(m_fd.Get(), to, bytes, ifindex);
        if (!error)
            anySent = true;
        else if (!firstError)
            firstError = std::move(error);
    }
    if (!anySent) throw *firstError;
}

// -------------------------------------------------------------- UdpListener

namespace {

constexpr int kWaitSliceMs = 1000;
constexpr unsigned kBatch = 16;  // datagrams taken per receive call while draining

// One listening socket and the thread that owns it while it runs.
struct ListenSocket {
    UniqueFd fd;
    UniqueFd wake;  // eventfd: written by Stop so the thread need not sit out its wait
    int number = 0;
    std::atomic<bool> stop{false};
    std::thread thread;
};

}  // namespace

std::string ListenerThreadName(const std::string& listener, int number) {
    // Linux keeps 15 characters of a thread's name; the number must survive
    // the cut, or the threads of one listener could not be told apart.
    constexpr std::size_t kMaxName = 15;
    const std::string suffix = " #" + std::to_string(number);
    std::string full = listener + " Listener" + suffix;
    if (full.size() <= kMaxName) return full;
    return listener.substr(0, kMaxName > suffix.size() ? kMaxName - suffix.size() : 0) + suffix;
}

struct UdpListener::Impl {
    Poster poster;
    std::uint16_t requestedPort;
    std::uint16_t port = 0;
    std::string name;
    std::vector<std::unique_ptr<ListenSocket>> sockets;
    std::shared_ptr<InFlightLimit> limit;  // may be empty: no backpressure
    bool active = false;

    void run(ListenSocket& s);
    void drain(ListenSocket& s, std::vector<std::uint8_t>& buffers);
};

void UdpListener::Impl::run(ListenSocket& s) {
    std::vector<std::uint8_t> buffers(kBatch * kMaxDatagramSize);
    pollfd fds[2] = {{s.fd.Get(), POLLIN, 0}, {s.wake.Get(), POLLIN, 0}};
    while (!s.stop.load(std::memory_order_acquire)) {
        // With no room the thread waits for room instead of for the socket:
        // what arrives meanwhile stays in the socket's receive buffer.
        const bool full = limit && limit->Room() == 0;
        fds[0].fd = full ? limit->ReadyFd() : s.fd.Get();
        fds[0].revents = fds[1].revents = 0;
        const int rc = ::poll(fds, 2, kWaitSliceMs);
        if (rc < 0) {
            if (errno == EINTR) continue;
            break;  // a failed wait ends this thread only; its socket is closed below
        }
        if (s.stop.load(std::memory_order_acquire)) break;
        if (rc == 0 || full) continue;  // nothing yet, or room again: look afresh
        if (fds[0].revents & POLLNVAL) break;
        if (fds[0].revents & (POLLIN | POLLERR)) drain(s, buffers);
    }
    if (!s.stop.load(std::memory_order_acquire)) {
        // Ended by an error, not by Stop: give the port back now.
        s.fd.Reset();
    }
}

// Takes every datagram that is waiting, in batches, until the socket is empty,
// the limit has no room or the thread is told to stop.
void UdpListener::Impl::drain(ListenSocket& s, std::vector<std::uint8_t>& buffers) {
    mmsghdr msgs[kBatch];
    iovec iovs[kBatch];
    sockaddr_storage peers[kBatch];
    while (!s.stop.load(std::memory_order_relaxed)) {
        unsigned want = kBatch;
        if (limit) {
            const std::size_t room = limit->Room();
            if (room == 0) return;
            if (room < want) want = static_cast<unsigned>(room);
        }
        for (unsigned i = 0; i < want; ++i) {
            iovs[i].iov_base = buffers.data() + i * kMaxDatagramSize;
            iovs[i].iov_len = kMaxDatagramSize;
            std::memset(&msgs[i], 0, sizeof msgs[i]);
            msgs[i].msg_hdr.msg_iov = &iovs[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
            msgs[i].msg_hdr.msg_name = &peers[i];
            msgs[i].msg_hdr.msg_namelen = sizeof peers[i];
        }
        // MSG_TRUNC: the kernel reports a datagram's real length and sets
        // MSG_TRUNC in msg_flags, so an oversized one is seen and dropped whole
        // instead of arriving silently cut to the buffer size.
        const int n = ::recvmmsg(s.fd.Get(), msgs, want, MSG_DONTWAIT | MSG_TRUNC, nullptr);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            // A failed receive (an ICMP error queued on the socket, for one)
            // costs that datagram only; the next wait starts afresh.
            return;
        }
        for (int i = 0; i < n; ++i) {
            const std::size_t len = msgs[i].msg_len;
            if (len == 0 || len > kMaxDatagramSize || (msgs[i].msg_hdr.msg_flags & MSG_TRUNC)) continue;
            const auto* data = static_cast<const std::uint8_t*>(iovs[i].iov_base);
            try {
                DatagramEvent event;
                event.AData.assign(data, data + len);
                event.PeerIP = formatPeer(peers[i]);
                event.PeerPort = peerPort(peers[i]);
                event.Port = port;
                poster(std::move(event));
            } catch (...) {
                // Errors inside the listener are never shown; the datagram is lost.
            }
        }
        if (static_cast<unsigned>(n) < want) return;
    }
}

UdpListener::UdpListener(Poster poster, std::uint16_t port, std::string name)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->poster = std::move(poster);
    m_impl->requestedPort = port;
    m_impl->name = std::move(name);
}

UdpListener::~UdpListener() { Stop(); }

void UdpListener::SetInFlightLimit(std::shared_ptr<InFlightLimit> limit) { m_impl->limit = std::move(limit); }

bool UdpListener::Active() const { return m_impl->active; }

std::size_t UdpListener::SocketCount() const { return m_impl->sockets.size(); }

std::uint16_t UdpListener::Port() const { return m_impl->active ? m_impl->port : m_impl->requestedPort; }

void UdpListener::Start() {
    Impl& impl = *m_impl;
    if (impl.active) return;

    // A failure below closes whatever was opened so far along with `opened`.
    std::vector<std::unique_ptr<ListenSocket>> opened;
    {
        // IPv4 first. With port 0 the system picks one, and the IPv6 socket
        // then takes the same number so both carry one port.
        std::uint16_t port = impl.requestedPort;
        for (int family : {AF_INET, AF_INET6}) {
            UniqueFd owned(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
            if (!owned.Valid()) {
                const int err = errno;
                // Whatever keeps the IPv6 socket from opening (no IPv6 in the
                // kernel, a sandbox or security policy refusing it) means no
                // IPv6 here: the listener runs on its IPv4 socket alone.
                if (family == AF_INET6) break;
                throwSystemError(err);
            }
            const int fd = owned.Get();
            auto s = std::make_unique<ListenSocket>();
            s->fd = std::move(owned);
            s->number = static_cast<int>(opened.size()) + 1;
            opened.push_back(std::move(s));

            if (family == AF_INET6 && setFlag(fd, IPPROTO_IPV6, IPV6_V6ONLY) != 0) throwSystemError(errno);
            askForLargeReceiveBuffer(fd);
            int rc;
            if (family == AF_INET) {
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_addr.s_addr = htonl(INADDR_ANY);
                a.sin_port = htons(port);
                rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
            } else {
                sockaddr_in6 a{};
                a.sin6_family = AF_INET6;
                a.sin6_addr = in6addr_any;
                a.sin6_port = htons(port);
                rc = ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
            }
            if (rc != 0) throwBindFailed(errno);
            if (port == 0) port = boundPort(fd);
            if (setFlag(fd, SOL_SOCKET, SO_BROADCAST) != 0) throwSystemError(errno);
            opened.back()->wake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
            if (!opened.back()->wake.Valid()) throwSystemError(errno);
        }
        impl.port = port;
    }

    // Threads last: once the sockets are bound nothing can fail but the
    // creation of a thread, which is rolled back like a failed bind.
    std::size_t started = 0;
    try {
        for (auto& s : opened) {
            ListenSocket* raw = s.get();
            raw->thread = std::thread([&impl, raw] { impl.run(*raw); });
            ++started;
            // Named from here, so the name is in place when Start returns.
            ::pthread_setname_np(raw->thread.native_handle(),
                                 ListenerThreadName(impl.name, raw->number).c_str());
        }
    } catch (const std::system_error& e) {
        for (std::size_t i = 0; i < started; ++i) {
            opened[i]->stop.store(true, std::memory_order_release);
            const std::uint64_t one = 1;
            [[maybe_unused]] ssize_t w = ::write(opened[i]->wake.Get(), &one, sizeof one);
            opened[i]->thread.join();
        }
        opened.clear();
        throwSystemError(e.code().value());
    }
    impl.sockets = std::move(opened);
    impl.active = true;
}

void UdpListener::Stop() {
    Impl& impl = *m_impl;
    for (auto& s : impl.sockets) {
        s->stop.store(true, std::memory_order_release);
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t w = ::write(s->wake.Get(), &one, sizeof one);
        if (s->thread.joinable()) s->thread.join();
        // Closed only after the join: the number of a socket closed under a
        // waiting thread could be reused by an unrelated open meanwhile.
        s->fd.Reset();
        s->wake.Reset();
    }
    impl.sockets.clear();
    impl.active = false;
}

}  // namespace tivaro
