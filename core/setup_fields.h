#pragma once
// The setup dialog's field values without widgets, and the two conversions
// between them and a module's settings: FillFromSettings (a settings reply into
// the fields) and CollectSettings (the fields into a settings write). Pure
// functions, any thread.

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "protocol/messages.h"

namespace tivaro {

// Ranges of the dialog's numeric fields.
constexpr std::int32_t kModulePortMin = 5000;  // PORT_TX, PORT_RX
constexpr std::int32_t kMysqlPortMin = 1000;   // MYSQL_PORT
constexpr std::int32_t kPortMax = 65535;
// What the user may type or paste into the text fields; a longer text that a
// settings reply brings in is kept whole.
constexpr int kMysqlUrlTypingLimit = 50;
constexpr int kMysqlUserTypingLimit = 15;
constexpr int kMysqlPassTypingLimit = 15;

// An IPv4 entry field as it shows: four octets, octet 0 leftmost; an octet the
// user has emptied is blank (std::nullopt).
using Ipv4FieldOctets = std::array<std::optional<std::uint8_t>, 4>;

// What the dialog's fields hold; the defaults are the design values.
struct SetupFieldValues {
    Ipv4FieldOctets IP_ADDRESS{0, 0, 0, 0};
    Ipv4FieldOctets MASK_ADDRESS{255, 255, 255, 0};
    Ipv4FieldOctets GW_ADDRESS{0, 0, 0, 0};
    // Numeric fields keep the text as typed; their value is read at every use.
    QString PORT_TX = QStringLiteral("5000");
    QString PORT_RX = QStringLiteral("5000");
    QString MYSQL_PORT = QStringLiteral("5000");
    QString MYSQL_URL;
    QString MYSQL_User;
    QString MYSQL_Pass;
    bool DHCP_ON = false;

    bool operator==(const SetupFieldValues& o) const;
};

// Puts a decoded settings reply into the fields: the three addresses, the
// ports clamped into their ranges, and the texts with every character at or
// below U+0020 removed wherever it stands. DHCP_ON is left as it is.
void FillFromSettings(SetupFieldValues& fields, const ModuleSettings& settings);

// The settings the fields hold now, all ten: blank octets as 0, each port the
// number in its text (the field's minimum when it holds none), texts with
// characters at or below U+0020 removed at both ends only.
ModuleSettings CollectSettings(const SetupFieldValues& fields);

// The text after the per-character trim of a fill: appending each character
// and trimming both ends after each leaves no character <= U+0020 anywhere.
QString FillTrim(const QString& text);
// Characters at or below U+0020 removed from both ends only.
QString CollectTrim(const QString& text);

}  // namespace tivaro
