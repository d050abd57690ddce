#pragma once
// The UDP endpoints of the manager: UdpSender sends every datagram the tool
// emits (broadcast or unicast) from one lazily opened IPv4 socket, a datagram
// to 255.255.255.255 once through every broadcast interface; UdpListener
// receives on port 22223 (IPv4, plus IPv6 with IPV6_V6ONLY where the system has
// it) with one thread per socket and hands every datagram to a poster function.
// Sender and Start/Stop are called on the UI thread; the poster is called on
// the listener threads and must be thread-safe and must not wait.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/in_flight_limit.h"
#include "protocol/messages.h"
#include "protocol/unique_fd.h"

namespace tivaro {

constexpr std::uint16_t kDeviceCommandPort = 22222;  // modules listen here
constexpr std::uint16_t kManagerListenPort = 22223;  // replies arrive here
constexpr std::size_t kMaxDatagramSize = 8192;       // larger datagrams are dropped whole

extern const char* const kBindFailedMessage;       // "Socket konnte nicht gebunden werden. ..."
extern const char* const kPackageTooLargeMessage;  // "Package zu groß."
extern const char* const kNotAllBytesSentMessage;  // "Es wurden nicht alle Bytes gesendet."
// Code of a NetworkError for a host name the resolver could not find. The
// system has no errno for it; the Windows Sockets number keeps the familiar
// "Socket-Fehler # 11001Host nicht gefunden." and collides with no errno.
constexpr int kHostNotFoundCode = 11001;

// The error both endpoints raise. message() is UTF-8 German text; code() is
// the system's error number, 0 where the system reported none.
class NetworkError : public std::runtime_error {
public:
    NetworkError(const std::string& message, int code);
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

// "Socket-Fehler # %d%s\r\n" with the description of err (empty when unknown).
std::string SocketErrorMessage(int err);
// The German description of a system error number, "" when it has none.
std::string SocketErrorDescription(int err);

// One received datagram, handed by value to the UI thread.
struct DatagramEvent {
    Bytes AData;         // 1..8192 bytes, exactly as received
    std::string PeerIP;  // "192.168.1.50" or "FE80:0:0:0:20C:29FF:FE12:3456"
    std::uint16_t PeerPort = 0;
    std::uint16_t Port = 0;  // local port, 22223
};

// One IPv4 address of a network interface, as the system lists it.
struct InterfaceAddress {
    std::string name;    // "eth0", or an address label such as "eth0:1"
    unsigned index = 0;  // the interface's index; 0 when it has none (gone meanwhile)
    unsigned flags = 0;  // IFF_* flags of the interface
};

// This system's IPv4 interface addresses as they are now; empty when they
// cannot be read.
std::vector<InterfaceAddress> Ipv4InterfaceAddresses();

// The interfaces a datagram to 255.255.255.255 leaves through: each one that
// is up, can broadcast and is not loopback, once (an interface with several
// addresses is listed once per address), in the order listed.
std::vector<unsigned> BroadcastInterfaceIndexes(const std::vector<InterfaceAddress>& addresses);

// What commands need of a sender; tests put a recording sender here.
class DatagramSender {
public:
    virtual ~DatagramSender() = default;
    virtual void Send(const std::string& host, std::uint16_t port, const Bytes& bytes) = 0;
    virtual void Close() = 0;
};

class UdpSender final : public DatagramSender {
public:
    UdpSender() = default;
    ~UdpSender() override;
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    // Opens the socket if none is open (0.0.0.0:0, SO_BROADCAST), resolves the
    // host ("localhost" in any case, dotted quad, else the resolver) and sends
    // one datagram. The socket stays open. Throws NetworkError.
    //
    // To 255.255.255.255 the same datagram goes out once through each of
    // BroadcastInterfaceIndexes() read at this call, from this one socket (so
    // with one source port); with no such interface it goes where the system
    // routes it. A failure on one interface does not keep the datagram from
    // the others; only when every interface failed is the first error raised.
    void Send(const std::string& host, std::uint16_t port, const Bytes& bytes) override;
    void Close() override;  // never fails
    bool IsOpen() const { return m_fd.Valid(); }
    std::uint16_t LocalPort() const;  // source port of the open socket, 0 when closed

private:
    UniqueFd m_fd;
};

// The name of listener thread `number` (1 IPv4, 2 IPv6): "<listener> Listener
// #n" where it fits the system's 15 characters, else the listener's name cut
// so that " #n" stays whole ("IdUDPServer1 #1").
std::string ListenerThreadName(const std::string& listener, int number);

class UdpListener {
public:
    using Poster = std::function<void(DatagramEvent&&)>;

    explicit UdpListener(Poster poster, std::uint16_t port = kManagerListenPort,
                         std::string name = "IdUDPServer1");
    ~UdpListener();  // stops
    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;

    // Holds the threads back while limit has no room: they read nothing until
    // it has. Set before Start; without one the threads read whatever arrives.
    void SetInFlightLimit(std::shared_ptr<InFlightLimit> limit);

    // Binds the sockets and starts one thread per socket; nothing if active.
    // On failure nothing stays bound or running. Throws NetworkError.
    void Start();
    // Stops and joins every thread and closes every socket. Each thread waits
    // on a wake-up descriptor as well as its socket, so it ends at once.
    void Stop();
    bool Active() const;
    std::size_t SocketCount() const;
    // The port the sockets listen on while active (the one the system chose
    // when constructed with port 0); the requested port otherwise.
    std::uint16_t Port() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace tivaro
