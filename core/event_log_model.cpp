#include "core/event_log_model.h"

namespace tivaro {

EventLogModel::EventLogModel(int ceiling, QObject* parent)
    : GridListModel(EventLog::kColumns, parent), m_log(ceiling) {}

void EventLogModel::Append(const QTime& time, const QString& separator, const QString& ip,
                           const QString& port, const QString& message) {
    entryAppended(m_log.Append(time, separator, ip, port, message));
}

void EventLogModel::Clear(int ceiling) {
    // The old storage goes before the new one is made: its memory goes back first.
    clearEntries([this, ceiling] {
        m_log.Clear();
        m_log = EventLog(ceiling);
    });
}

}  // namespace tivaro
