#pragma once
// The event log's entries, oldest first: appended one at a time, removed only
// all at once. Holds texts only; the time stamp comes from the caller so the
// log can be driven with fixed times. UI thread only.

#include <QString>
#include <QTime>
#include <deque>

class QLocale;

struct LogEntry {
    QString Time;     // "hh:nn:ss"
    QString UnitIP;   // L_IP
    QString Port;     // L_Port
    QString Message;  // L_Message

    const QString& Column(int col) const;
};

class EventLog {
public:
    static constexpr int kColumns = 4;

    void Append(LogEntry entry) { m_entries.push_back(std::move(entry)); }
    void Clear();
    int Count() const { return static_cast<int>(m_entries.size()); }
    const LogEntry& At(int index) const { return m_entries[static_cast<std::size_t>(index)]; }

private:
    std::deque<LogEntry> m_entries;  // grows without moving what it holds: no hitch at a million rows
};

// "hh:nn:ss" on the 24-hour clock with the given separator.
QString FormatLogTime(const QTime& time, const QString& separator);
// The system locale's time separator: the punctuation character between hour
// and minute in its short time format; ":" where that is anything else (a
// letter, as in "15 h 15", several characters or nothing).
QString LocaleTimeSeparator();
QString LocaleTimeSeparator(const QLocale& locale);
