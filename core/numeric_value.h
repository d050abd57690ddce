#pragma once
// The number rule of the numeric fields and of text-to-integer conversion:
// leading blanks, an optional sign, then decimal digits or hexadecimal digits
// after "$", "x" or "0x" (either letter case); nothing may follow, and the
// value must fit a signed 32-bit integer. Pure functions, any thread.

#include <QString>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace tivaro {

// The conversion error: "''<text>'' ist kein gültiger Integer-Wert".
class ConvertError : public std::runtime_error {
public:
    explicit ConvertError(const QString& text);
};

std::optional<std::int32_t> ParseInteger(const QString& text);

// ParseInteger or throw ConvertError.
std::int32_t StrToInt(const QString& text);

// The value a numeric field yields for its text: the number, or minValue when
// the text does not read as one. Bounds 0..0 mean "no bounds"; reading never
// clamps.
inline std::int32_t NumericFieldValue(const QString& text, std::int32_t minValue) {
    return ParseInteger(text).value_or(minValue);
}

// A value written into a field with bounds: the nearest bound when outside;
// bounds 0..0 clamp nothing.
inline std::int32_t ClampToBounds(std::int64_t value, std::int32_t minValue, std::int32_t maxValue) {
    if (minValue == 0 && maxValue == 0) return static_cast<std::int32_t>(value);
    if (value < minValue) return minValue;
    if (value > maxValue) return maxValue;
    return static_cast<std::int32_t>(value);
}

}  // namespace tivaro
