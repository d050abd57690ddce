#pragma once
// One table of registered copies as it lies in shared memory: 1032 bytes,
// little-endian: limit (u16), count (u16), 257 process ids (u32) in order of
// registration. The view never reads or writes outside those 1032 bytes, also
// when the count field is damaged. Callers hold the guard's lock; any thread.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tivaro {

inline constexpr std::size_t kInstanceTableBytes = 1032;
inline constexpr int kInstanceTableCapacity = 257;

class InstanceTableView {
public:
    explicit InstanceTableView(unsigned char* data) : m_data(data) {}

    std::uint16_t Limit() const { return read16(0); }
    void SetLimit(std::uint16_t limit) { write16(0, limit); }
    // The count field, capped at the capacity.
    int Count() const;
    std::uint32_t Id(int index) const { return read32(4 + 4 * static_cast<std::size_t>(index)); }
    // First position of pid, or -1.
    int IndexOf(std::uint32_t pid) const;
    // Appends at position count; false (and nothing written) when the table is full.
    bool Append(std::uint32_t pid);
    // Removes the first entry equal to pid, moving the later ones down.
    bool Remove(std::uint32_t pid);
    // Removes every entry for which keep() is false; returns how many went.
    int Prune(const std::function<bool(std::uint32_t)>& keep);

private:
    std::uint16_t read16(std::size_t at) const;
    void write16(std::size_t at, std::uint16_t v);
    std::uint32_t read32(std::size_t at) const;
    void write32(std::size_t at, std::uint32_t v);
    void setCount(int count) { write16(2, static_cast<std::uint16_t>(count)); }

    unsigned char* m_data;
};

}  // namespace tivaro
