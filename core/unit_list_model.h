#pragma once
// The discovered units as a table model, in order of first reply, at most one
// per address text: address, source port and local port. Lookup by address
// goes through a hash beside the ordered rows, so it does not grow with the
// list. Laid out and announced as GridListModel describes. UI thread only.

#include <QHash>
#include <QString>
#include <vector>

#include "core/grid_list_model.h"

namespace tivaro {

struct UnitEntry {
    QString Address;  // source address of the discovery reply
    QString SrcPort;  // its source port, decimal
    QString DstPort;  // local port it arrived on, decimal

    const QString& Column(int col) const;
};

class UnitListModel final : public GridListModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 3;

    explicit UnitListModel(QObject* parent = nullptr);

    // Index of the entry with exactly this address text, or -1.
    int Find(const QString& address) const { return m_index.value(address, -1); }
    // Appends when the address is new; returns the index of the new entry or -1.
    int AppendIfNew(UnitEntry entry);
    // Every entry goes (and the header row); the memory goes back to the system.
    void Clear();
    int Count() const { return static_cast<int>(m_entries.size()); }
    const UnitEntry& At(int index) const { return m_entries[static_cast<std::size_t>(index)]; }

private:
    int entryCount() const override { return Count(); }
    QString entryCell(int index, int col) const override { return At(index).Column(col); }

    std::vector<UnitEntry> m_entries;
    QHash<QString, int> m_index;
};

}  // namespace tivaro
