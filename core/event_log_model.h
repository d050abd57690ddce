#pragma once
// The event log as a table model: time, unit IP, port and message of every
// entry, oldest first, kept compact by EventLog, laid out and announced as
// GridListModel describes. UI thread only.

#include "core/event_log.h"
#include "core/grid_list_model.h"

namespace tivaro {

class EventLogModel final : public GridListModel {
    Q_OBJECT
public:
    explicit EventLogModel(int ceiling = EventLog::kDefaultCeiling, QObject* parent = nullptr);

    // Appends one entry stamped time, its time cell written with separator;
    // past the ceiling the oldest entry gives way. On an allocation failure
    // (std::bad_alloc) the log is as it was.
    void Append(const QTime& time, const QString& separator, const QString& ip, const QString& port,
                const QString& message);
    // Every entry goes (and the header row); from now on at most ceiling entries.
    void Clear(int ceiling);
    void Clear() { Clear(m_log.Ceiling()); }

    int Count() const { return m_log.Count(); }
    QString Cell(int index, int col) const { return m_log.Cell(index, col); }
    LogEntry At(int index) const { return m_log.At(index); }

private:
    int entryCount() const override { return m_log.Count(); }
    QString entryCell(int index, int col) const override { return m_log.Cell(index, col); }

    EventLog m_log;
};

}  // namespace tivaro
