#include "core/event_log.h"

#include <QLocale>
#include <array>

namespace tivaro {

namespace {

// What the message cell holds.
enum MessageKind : std::uint8_t {
    kText,          // the message as given, kept beside the entry
    kOnline,        // "ONLINE"
    kGetSettings,   // "GET SETINGS"
    kUpdateDevice,  // "UPDATE DEVICE"
    kNoIpv4,        // "NO IPV4 ADDRESS"
    kSwitchTo,      // "SWITCH TO a.b.c.XXX"
    kSetAllTo,      // "SET ALL TO a.b.c.XXX"
    kNoResponse,    // "NO RESPONSE FROM " and the entry's own address cell
};

enum AddressKind : std::uint8_t { kNoAddress, kIpv4, kIpv6, kAddressText };
enum PortKind : std::uint8_t { kNoPort, kPortNumber, kPortText };

constexpr std::uint32_t kSecondsMask = (1u << 17) - 1;
constexpr unsigned kSeparatorShift = 17;
constexpr std::uint32_t kSeparatorMask = 0x7F;
constexpr std::uint32_t kTimeAsText = kSeparatorMask;  // separator id: the time cell is kept as text
constexpr unsigned kKindShift = 24;

const QString& fixedMessage(std::uint8_t kind) {
    static const std::array<QString, 5> texts = {
        QString(), QStringLiteral("ONLINE"), QStringLiteral("GET SETINGS"), QStringLiteral("UPDATE DEVICE"),
        QStringLiteral("NO IPV4 ADDRESS")};
    return texts[kind];
}
const QString kSwitchToPrefix = QStringLiteral("SWITCH TO ");
const QString kSetAllToPrefix = QStringLiteral("SET ALL TO ");
const QString kNoResponsePrefix = QStringLiteral("NO RESPONSE FROM ");
const QString kSubnetSuffix = QStringLiteral(".XXX");

int digitAt(QStringView s, qsizetype i) {
    const char16_t c = s[i].unicode();
    return c >= u'0' && c <= u'9' ? c - u'0' : -1;
}

// A decimal number written the one way it is formatted (no sign, no leading
// zero), at most max; -1 otherwise.
int canonicalNumber(QStringView s, int max) {
    if (s.isEmpty() || s.size() > 5 || (s.size() > 1 && s[0] == u'0')) return -1;
    int value = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const int d = digitAt(s, i);
        if (d < 0) return -1;
        value = value * 10 + d;
    }
    return value <= max ? value : -1;
}

// n dot-separated decimal octets, each as it would be formatted.
bool parseOctets(QStringView s, std::uint8_t* out, int n) {
    for (int part = 0; part < n; ++part) {
        const qsizetype dot = part + 1 < n ? s.indexOf(u'.') : s.size();
        if (dot < 0) return false;
        const int v = canonicalNumber(s.left(dot), 255);
        if (v < 0) return false;
        out[part] = static_cast<std::uint8_t>(v);
        s = s.mid(part + 1 < n ? dot + 1 : dot);
    }
    return true;
}

void appendOctets(QString& text, const std::uint8_t* octets, int n) {
    for (int i = 0; i < n; ++i) {
        if (i) text += u'.';
        text += QString::number(octets[i]);
    }
}

// Eight colon-separated groups in upper-case hexadecimal without leading
// zeros, the way the listener writes a peer's IPv6 address.
bool parseIpv6(QStringView s, std::uint8_t* out) {
    qsizetype i = 0;
    for (std::size_t group = 0; group < 8; ++group) {
        if (group) {
            if (i >= s.size() || s[i] != u':') return false;
            ++i;
        }
        unsigned value = 0;
        int digits = 0;
        for (; i < s.size() && s[i] != u':'; ++i, ++digits) {
            const char16_t c = s[i].unicode();
            const int d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
            if (d < 0 || digits == 4 || (digits == 1 && value == 0)) return false;
            value = value * 16 + static_cast<unsigned>(d);
        }
        if (digits == 0) return false;
        out[2 * group] = static_cast<std::uint8_t>(value >> 8);
        out[2 * group + 1] = static_cast<std::uint8_t>(value);
    }
    return i == s.size();
}

QString formatIpv6(const std::uint8_t* b) {
    QString text;
    text.reserve(39);
    for (std::size_t g = 0; g < 8; ++g) {
        if (g) text += u':';
        text += QString::number(b[2 * g] << 8 | b[2 * g + 1], 16).toUpper();
    }
    return text;
}

// "a.b.c.XXX" after prefix, a, b and c octets as formatted.
bool parseSubnetMessage(const QString& message, const QString& prefix, std::uint8_t* out) {
    if (!message.startsWith(prefix) || !message.endsWith(kSubnetSuffix)) return false;
    const QStringView middle =
        QStringView(message).mid(prefix.size(), message.size() - prefix.size() - kSubnetSuffix.size());
    return parseOctets(middle, out, 3);
}

}  // namespace

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

EventLog::EventLog(int ceiling) : m_ceiling(ceiling < 1 ? 1 : ceiling) {}

bool EventLog::Append(const QTime& time, const QString& separator, const QString& ip, const QString& port,
                      const QString& message) {
    Record r;
    const QString* texts[4] = {};

    std::uint32_t separatorId = kTimeAsText;
    if (time.isValid()) {
        for (std::size_t i = 0; i < m_separators.size(); ++i)
            if (m_separators[i] == separator) separatorId = static_cast<std::uint32_t>(i);
        if (separatorId == kTimeAsText && m_separators.size() < kTimeAsText) {
            m_separators.push_back(separator);  // kept even if the rest fails: harmless
            separatorId = static_cast<std::uint32_t>(m_separators.size() - 1);
        }
    }
    QString timeText;
    if (separatorId == kTimeAsText) {
        timeText = FormatLogTime(time, separator);
        texts[kTimeSlot] = &timeText;
    } else {
        r.stamp = static_cast<std::uint32_t>(time.msecsSinceStartOfDay() / 1000) | separatorId
                                                                                       << kSeparatorShift;
    }

    if (ip.isEmpty()) {
        r.ipKind = kNoAddress;
    } else if (parseOctets(ip, r.ip, 4)) {
        r.ipKind = kIpv4;
    } else if (parseIpv6(ip, r.ip)) {
        r.ipKind = kIpv6;
    } else {
        r.ipKind = kAddressText;
        texts[kIpSlot] = &ip;
    }

    const int portNumber = canonicalNumber(port, 65535);
    if (port.isEmpty()) {
        r.portKind = kNoPort;
    } else if (portNumber >= 0) {
        r.portKind = kPortNumber;
        r.port = static_cast<std::uint16_t>(portNumber);
    } else {
        r.portKind = kPortText;
        texts[kPortSlot] = &port;
    }

    std::uint32_t kind = kText;
    for (std::uint8_t k = kOnline; k <= kNoIpv4 && kind == kText; ++k)
        if (message.size() == fixedMessage(k).size() && message == fixedMessage(k)) kind = k;
    if (kind == kText) {
        if (parseSubnetMessage(message, kSwitchToPrefix, r.subnet))
            kind = kSwitchTo;
        else if (parseSubnetMessage(message, kSetAllToPrefix, r.subnet))
            kind = kSetAllTo;
        else if (message.size() == kNoResponsePrefix.size() + ip.size() &&
                 message.startsWith(kNoResponsePrefix) &&
                 QStringView(message).mid(kNoResponsePrefix.size()) == ip)
            kind = kNoResponse;
        else
            texts[kMessageSlot] = &message;
    }
    r.stamp |= kind << kKindShift;
    if (separatorId == kTimeAsText) r.stamp |= kTimeAsText << kSeparatorShift;

    // Texts first, then the record; an allocation failure takes back what was added.
    r.firstText = m_textBytesGone + static_cast<std::uint32_t>(m_textBytes.size());
    const std::size_t bytesBefore = m_textBytes.size();
    try {
        for (const QString* text : texts)
            if (text) appendText(*text);
        m_records.push_back(r);
    } catch (...) {
        m_textBytes.resize(bytesBefore);
        throw;
    }

    if (Count() <= m_ceiling) return false;
    m_records.pop_front();
    // The texts of the entry that gave way end where the next entry's begin.
    const std::size_t gone = m_records.front().firstText - m_textBytesGone;
    m_textBytes.erase(m_textBytes.begin(), m_textBytes.begin() + static_cast<std::ptrdiff_t>(gone));
    m_textBytesGone += static_cast<std::uint32_t>(gone);
    return true;
}

void EventLog::appendText(const QString& text) {
    bool latin1 = true;
    for (const QChar c : text) latin1 &= c.unicode() < 256;
    char bytes[256];
    std::size_t used = 0;
    const auto flush = [&] {
        m_textBytes.insert(m_textBytes.end(), bytes, bytes + used);
        used = 0;
    };
    std::uint64_t header = static_cast<std::uint64_t>(text.size()) << 1 | (latin1 ? 1 : 0);
    do {
        bytes[used++] = static_cast<char>((header & 0x7F) | (header > 0x7F ? 0x80 : 0));
        header >>= 7;
    } while (header);
    for (const QChar c : text) {
        if (used + 2 > sizeof bytes) flush();
        bytes[used++] = static_cast<char>(c.unicode() & 0xFF);
        if (!latin1) bytes[used++] = static_cast<char>(c.unicode() >> 8);
    }
    flush();
}

std::size_t EventLog::readTextHeader(std::size_t& offset, bool& latin1) const {
    std::uint64_t header = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto byte = static_cast<std::uint8_t>(m_textBytes[offset++]);
        header |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80)) break;
    }
    latin1 = header & 1;
    return static_cast<std::size_t>(header >> 1);
}

void EventLog::Clear() {
    std::deque<Record>().swap(m_records);
    std::deque<char>().swap(m_textBytes);
    m_textBytesGone = 0;
}

bool EventLog::hasText(const Record& r, int slot) const {
    switch (slot) {
        case kTimeSlot:
            return (r.stamp >> kSeparatorShift & kSeparatorMask) == kTimeAsText;
        case kIpSlot:
            return r.ipKind == kAddressText;
        case kPortSlot:
            return r.portKind == kPortText;
        default:
            return (r.stamp >> kKindShift) == kText;
    }
}

QString EventLog::textOf(const Record& r, int slot) const {
    std::size_t offset = r.firstText - m_textBytesGone;
    bool latin1 = false;
    for (int s = kTimeSlot; s < slot; ++s) {
        if (!hasText(r, s)) continue;
        const std::size_t length = readTextHeader(offset, latin1);
        offset += latin1 ? length : 2 * length;
    }
    const std::size_t length = readTextHeader(offset, latin1);
    QString text(static_cast<qsizetype>(length), Qt::Uninitialized);
    auto byte = m_textBytes.begin() + static_cast<std::ptrdiff_t>(offset);
    for (QChar& c : text) {
        char16_t unit = static_cast<std::uint8_t>(*byte++);
        if (!latin1) unit = static_cast<char16_t>(unit | static_cast<std::uint8_t>(*byte++) << 8);
        c = QChar(unit);
    }
    return text;
}

QString EventLog::Cell(int index, int col) const {
    const Record& r = m_records[static_cast<std::size_t>(index)];
    const int slot = col < kTimeSlot ? kTimeSlot : col > kMessageSlot ? kMessageSlot : col;
    if (hasText(r, slot)) return textOf(r, slot);
    switch (slot) {
        case kTimeSlot: {
            const int seconds = static_cast<int>(r.stamp & kSecondsMask);
            return FormatLogTime(QTime(seconds / 3600, seconds / 60 % 60, seconds % 60),
                                 m_separators[r.stamp >> kSeparatorShift & kSeparatorMask]);
        }
        case kIpSlot: {
            if (r.ipKind == kIpv6) return formatIpv6(r.ip);
            QString text;
            if (r.ipKind == kIpv4) appendOctets(text, r.ip, 4);
            return text;
        }
        case kPortSlot:
            return r.portKind == kPortNumber ? QString::number(r.port) : QString();
        default:
            break;
    }
    const auto kind = static_cast<std::uint8_t>(r.stamp >> kKindShift);
    if (kind == kNoResponse) return kNoResponsePrefix + Cell(index, kIpSlot);
    if (kind == kSwitchTo || kind == kSetAllTo) {
        QString text = kind == kSwitchTo ? kSwitchToPrefix : kSetAllToPrefix;
        appendOctets(text, r.subnet, 3);
        return text + kSubnetSuffix;
    }
    return fixedMessage(kind);
}

LogEntry EventLog::At(int index) const {
    return LogEntry{Cell(index, 0), Cell(index, 1), Cell(index, 2), Cell(index, 3)};
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

}  // namespace tivaro
