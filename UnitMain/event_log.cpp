#include "UnitMain/event_log.h"

#include <QLocale>

const QString& LogEntry::Column(int col) const {
    switch (col) {
        case 0:
            return Time;
        case 1:
            return UnitIP;
        case 2:
            return Port;
        default:
            return Message;
    }
}

void EventLog::Clear() {
    std::deque<LogEntry>().swap(m_entries);  // give the memory back, the log may have been huge
}

QString FormatLogTime(const QTime& time, const QString& separator) {
    QString text;
    text.reserve(6 + 2 * separator.size());
    const auto two = [&text](int v) {
        text += QChar(u'0' + v / 10);
        text += QChar(u'0' + v % 10);
    };
    two(time.hour());
    text += separator;
    two(time.minute());
    text += separator;
    two(time.second());
    return text;
}

QString LocaleTimeSeparator() { return LocaleTimeSeparator(QLocale::system()); }

QString LocaleTimeSeparator(const QLocale& locale) {
    // Whatever stands between the hour and the minute fields of the short
    // time format, quotes removed and blanks trimmed.
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    int i = 0;
    while (i < format.size() && format[i] != u'h' && format[i] != u'H') ++i;
    while (i < format.size() && (format[i] == u'h' || format[i] == u'H')) ++i;
    QString separator;
    while (i < format.size() && format[i] != u'm') {
        if (format[i] != u'\'') separator += format[i];
        ++i;
    }
    separator = separator.trimmed();
    // fr_CA writes "15 h 15": a letter would read "15h15h00" in the log.
    if (i >= format.size() || separator.size() != 1 || !separator[0].isPunct()) return QStringLiteral(":");
    return separator;
}
