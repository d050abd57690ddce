#include "cli/reply_inbox.h"

namespace tivaro::cli {

ReplyInbox::ReplyInbox()
    : m_listener(
          [this](DatagramEvent&& e) {
              {
                  const std::lock_guard<std::mutex> lock(m_mutex);
                  m_queue.push_back(std::move(e));
              }
              m_arrived.notify_one();
          },
          kManagerListenPort, "tivaro") {}

ReplyInbox::~ReplyInbox() { m_listener.Stop(); }

void ReplyInbox::Start() { m_listener.Start(); }

std::optional<DatagramEvent> ReplyInbox::Next(Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_arrived.wait_until(lock, deadline, [this] { return !m_queue.empty(); })) return std::nullopt;
    DatagramEvent e = std::move(m_queue.front());
    m_queue.pop_front();
    return e;
}

void ReplyInbox::Clear() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.clear();
}

}  // namespace tivaro::cli
