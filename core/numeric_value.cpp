#include "core/numeric_value.h"

namespace tivaro {

ConvertError::ConvertError(const QString& text)
    : std::runtime_error(QStringLiteral("''%1'' ist kein gültiger Integer-Wert").arg(text).toStdString()) {}

std::optional<std::int32_t> ParseInteger(const QString& text) {
    const int n = static_cast<int>(text.size());
    int i = 0;
    while (i < n && text[i] == u' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Hexadecimal after "$", "x" or "0x" (either case).
    int base = 10;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n) return std::nullopt;
    std::uint64_t magnitude = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (magnitude > 0xFFFFFFFFull) return std::nullopt;
    }
    if (base == 16) {
        // Hexadecimal text is a 32-bit pattern: $FFFFFFFF is -1.
        auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
        return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(value)) : value;
    }
    if (negative) {
        if (magnitude > 2147483648ull) return std::nullopt;
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    }
    if (magnitude > 2147483647ull) return std::nullopt;
    return static_cast<std::int32_t>(magnitude);
}

std::int32_t StrToInt(const QString& text) {
    if (auto v = ParseInteger(text)) return *v;
    throw ConvertError(text);
}

}  // namespace tivaro
