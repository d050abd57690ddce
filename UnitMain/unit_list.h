#pragma once
// The discovered units in order of first reply, at most one per address text.
// Lookup by address goes through a hash beside the ordered list, so it does
// not grow with the list. UI thread only.

#include <QHash>
#include <QString>
#include <vector>

struct UnitEntry {
    QString Address;  // source address of the discovery reply
    QString SrcPort;  // its source port, decimal
    QString DstPort;  // local port it arrived on, decimal

    const QString& Column(int col) const;
};

class UnitList {
public:
    static constexpr int kColumns = 3;

    // Index of the entry with exactly this address text, or -1.
    int Find(const QString& address) const;
    // Appends when the address is new; returns the index of the new entry or -1.
    int AppendIfNew(UnitEntry entry);
    void Clear();
    int Count() const { return static_cast<int>(m_entries.size()); }
    const UnitEntry& At(int index) const { return m_entries[static_cast<std::size_t>(index)]; }

private:
    std::vector<UnitEntry> m_entries;
    QHash<QString, int> m_index;
};
