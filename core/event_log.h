#pragma once
// The event log's entries, oldest first: appended one at a time, removed all
// at once (clear) or, past the ceiling, the oldest one for each new one.
// The time stamp comes from the caller so the log can be driven with fixed
// times. UI thread only.
//
// An entry is kept compact, in 32 bytes: the time as seconds of the day plus
// the separator it was added with, a dotted IPv4 or full IPv6 address and a
// decimal port in binary, and the known messages as a kind plus argument.
// Whatever would not read back as exactly the same text (an address written
// another way, a foreign message) is kept as text beside the entry, one byte
// per character where Latin-1 holds it, so every cell shows exactly the text
// it was given.

#include <QString>
#include <QTime>
#include <cstdint>
#include <deque>
#include <vector>

class QLocale;

namespace tivaro {

// One entry as shown: its four cells in column order.
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
    static constexpr int kDefaultCeiling = 5'000'000;

    explicit EventLog(int ceiling = kDefaultCeiling);

    // Appends one entry stamped time, its time cell written with separator.
    // Past the ceiling the oldest entry gives way: the result says whether it
    // did. On an allocation failure (std::bad_alloc) the log is as it was.
    bool Append(const QTime& time, const QString& separator, const QString& ip, const QString& port,
                const QString& message);
    // Every entry goes and the memory goes back to the system.
    void Clear();
    int Count() const { return static_cast<int>(m_records.size()); }
    int Ceiling() const { return m_ceiling; }
    // The text of one cell of entry index (0 = oldest).
    QString Cell(int index, int col) const;
    LogEntry At(int index) const;

private:
    // Cells kept as text beside the entry, in this order.
    enum Slot : int { kTimeSlot, kIpSlot, kPortSlot, kMessageSlot };

    struct Record {
        std::uint32_t stamp = 0;      // seconds of the day | separator id << 17 | message kind << 24
        std::uint32_t firstText = 0;  // where the entry's texts start in m_textBytes (mod 2^32)
        std::uint8_t ipKind = 0;
        std::uint8_t portKind = 0;
        std::uint16_t port = 0;
        std::uint8_t subnet[3] = {};  // argument of the subnet messages
        std::uint8_t reserved = 0;
        std::uint8_t ip[16] = {};
    };
    static_assert(sizeof(Record) == 32, "a log entry is meant to stay at 32 bytes");

    bool hasText(const Record& r, int slot) const;
    QString textOf(const Record& r, int slot) const;
    void appendText(const QString& text);
    // Length of the text starting at offset, with its length bytes; sets latin1.
    std::size_t readTextHeader(std::size_t& offset, bool& latin1) const;

    int m_ceiling;
    std::deque<Record> m_records;
    // Texts of the entries that need them, in entry order: a length (its low
    // bit tells Latin-1 from UTF-16) in 7-bit groups, then the characters.
    std::deque<char> m_textBytes;
    std::uint32_t m_textBytesGone = 0;  // bytes dropped from the front so far (mod 2^32)
    std::vector<QString> m_separators;  // every time separator used so far, by id
};

// "hh:nn:ss" on the 24-hour clock with the given separator.
QString FormatLogTime(const QTime& time, const QString& separator);
// The system locale's time separator: the punctuation character between hour
// and minute in its short time format; ":" where that is anything else (a
// letter, as in "15 h 15", several characters or nothing).
QString LocaleTimeSeparator();
QString LocaleTimeSeparator(const QLocale& locale);

}  // namespace tivaro
