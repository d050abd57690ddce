#include "UnitMain/unit_list.h"

const QString& UnitEntry::Column(int col) const {
    switch (col) {
        case 0:
            return Address;
        case 1:
            return SrcPort;
        default:
            return DstPort;
    }
}

int UnitList::Find(const QString& address) const { return m_index.value(address, -1); }

int UnitList::AppendIfNew(UnitEntry entry) {
    if (m_index.contains(entry.Address)) return -1;
    const int index = Count();
    m_index.insert(entry.Address, index);
    m_entries.push_back(std::move(entry));
    return index;
}

void UnitList::Clear() {
    std::vector<UnitEntry>().swap(m_entries);  // the list may have been huge: its memory goes back
    m_index = {};
}
