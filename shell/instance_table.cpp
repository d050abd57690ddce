#include "shell/instance_table.h"

#include <algorithm>

namespace tivaro {

std::uint16_t InstanceTableView::read16(std::size_t at) const {
    return static_cast<std::uint16_t>(m_data[at] | (m_data[at + 1] << 8));
}

void InstanceTableView::write16(std::size_t at, std::uint16_t v) {
    m_data[at] = static_cast<unsigned char>(v & 0xFF);
    m_data[at + 1] = static_cast<unsigned char>(v >> 8);
}

std::uint32_t InstanceTableView::read32(std::size_t at) const {
    return static_cast<std::uint32_t>(m_data[at]) | (static_cast<std::uint32_t>(m_data[at + 1]) << 8) |
           (static_cast<std::uint32_t>(m_data[at + 2]) << 16) |
           (static_cast<std::uint32_t>(m_data[at + 3]) << 24);
}

void InstanceTableView::write32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) m_data[at + i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

int InstanceTableView::Count() const { return std::min<int>(read16(2), kInstanceTableCapacity); }

int InstanceTableView::IndexOf(std::uint32_t pid) const {
    const int n = Count();
    for (int i = 0; i < n; ++i)
        if (Id(i) == pid) return i;
    return -1;
}

bool InstanceTableView::Append(std::uint32_t pid) {
    const int n = Count();
    if (n >= kInstanceTableCapacity) return false;
    write32(4 + 4 * static_cast<std::size_t>(n), pid);
    setCount(n + 1);
    return true;
}

bool InstanceTableView::Remove(std::uint32_t pid) {
    const int at = IndexOf(pid);
    if (at < 0) return false;
    const int n = Count();
    for (int i = at; i + 1 < n; ++i) write32(4 + 4 * static_cast<std::size_t>(i), Id(i + 1));
    write32(4 + 4 * static_cast<std::size_t>(n - 1), 0);
    setCount(n - 1);
    return true;
}

int InstanceTableView::Prune(const std::function<bool(std::uint32_t)>& keep) {
    const int n = Count();
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        const std::uint32_t pid = Id(i);
        if (keep(pid)) write32(4 + 4 * static_cast<std::size_t>(kept++), pid);
    }
    for (int i = kept; i < n; ++i) write32(4 + 4 * static_cast<std::size_t>(i), 0);
    setCount(kept);
    return n - kept;
}

}  // namespace tivaro
