#include "core/unit_list_model.h"

namespace tivaro {

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

UnitListModel::UnitListModel(QObject* parent) : GridListModel(kColumns, parent) {}

int UnitListModel::AppendIfNew(UnitEntry entry) {
    if (m_index.contains(entry.Address)) return -1;
    const int index = Count();
    m_entries.push_back(std::move(entry));
    try {
        m_index.insert(m_entries.back().Address, index);
    } catch (...) {
        m_entries.pop_back();
        throw;
    }
    entryAppended(false);
    return index;
}

void UnitListModel::Clear() {
    clearEntries([this] {
        std::vector<UnitEntry>().swap(m_entries);  // the list may have been huge: its memory goes back
        m_index = {};
    });
}

}  // namespace tivaro
