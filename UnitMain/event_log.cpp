#include "UnitMain/event_log.h"

#include <QLocale>

const QString& LogEntry::Column(int col) const {
    switch (col) {
    case 0: return Time;
    case 1: return UnitIP;
    case 2: return Port;
    default: return Message;
    }
}

void EventLog::Clear() {
    std::vector<LogEntry>().swap(m_entries);  // give the memory back, the log may have been huge
}

QString FormatLogTime(const QTime& time, const QString& separator) {
    const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(time.hour()) + separator + two(time.minute()) + separator + two(time.second());
}

QString LocaleTimeSeparator() {
    // The separator is whatever stands between the hour and the minute fields
    // of the locale's short time format.
    const QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
    int i = 0;
    while (i < format.size() && format[i] != u'h' && format[i] != u'H') ++i;
    while (i < format.size() && (format[i] == u'h' || format[i] == u'H')) ++i;
    QString separator;
    while (i < format.size() && format[i] != u'm') {
        if (format[i] != u'\'') separator += format[i];
        ++i;
    }
    separator = separator.trimmed();
    return separator.isEmpty() || i >= format.size() ? QStringLiteral(":") : separator;
}
