#pragma once
// The datagrams that reach port 22223 while `tivaro` runs: a UdpListener whose
// threads queue every datagram here, and a blocking read of the queue with a
// deadline. Start, Next and Clear are called on the main thread; the listener
// threads only append.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "protocol/udp_endpoints.h"

namespace tivaro::cli {

class ReplyInbox {
public:
    using Clock = std::chrono::steady_clock;

    ReplyInbox();
    ~ReplyInbox();
    ReplyInbox(const ReplyInbox&) = delete;
    ReplyInbox& operator=(const ReplyInbox&) = delete;

    // Binds port 22223. Throws NetworkError (kBindFailedMessage when the port is taken).
    void Start();
    // The next datagram, or nothing once the deadline has passed.
    std::optional<DatagramEvent> Next(Clock::time_point deadline);
    // Forgets what has been queued so far (late replies to an earlier request).
    void Clear();

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<DatagramEvent> m_queue;
    UdpListener m_listener;  // last: its threads stop before the queue goes
};

}  // namespace tivaro::cli
