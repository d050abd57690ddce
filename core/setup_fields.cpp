#include "core/setup_fields.h"

#include "core/numeric_value.h"

namespace tivaro {

namespace {

bool IsTrimmed(QChar c) { return c.unicode() <= 0x20; }

Ipv4FieldOctets ToField(const Ipv4Octets& octets) { return {octets[0], octets[1], octets[2], octets[3]}; }

Ipv4Octets FromField(const Ipv4FieldOctets& field) {
    Ipv4Octets octets{};
    for (std::size_t i = 0; i < octets.size(); ++i) octets[i] = field[i].value_or(0);
    return octets;
}

QString FillText(const std::u16string& text) { return FillTrim(QString::fromStdU16String(text)); }

std::uint16_t PortValue(const QString& text, std::int32_t minValue) {
    // Leaving the field has clamped a typed number already; the clamp here only
    // keeps a value that never went through the field inside 16 bits.
    return static_cast<std::uint16_t>(ClampToBounds(NumericFieldValue(text, minValue), minValue, kPortMax));
}

}  // namespace

bool SetupFieldValues::operator==(const SetupFieldValues& o) const {
    return IP_ADDRESS == o.IP_ADDRESS && MASK_ADDRESS == o.MASK_ADDRESS && GW_ADDRESS == o.GW_ADDRESS &&
           PORT_TX == o.PORT_TX && PORT_RX == o.PORT_RX && MYSQL_PORT == o.MYSQL_PORT &&
           MYSQL_URL == o.MYSQL_URL && MYSQL_User == o.MYSQL_User && MYSQL_Pass == o.MYSQL_Pass &&
           DHCP_ON == o.DHCP_ON;
}

QString FillTrim(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (const QChar c : text)
        if (!IsTrimmed(c)) result.append(c);
    return result;
}

QString CollectTrim(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsTrimmed(text[begin])) ++begin;
    while (end > begin && IsTrimmed(text[end - 1])) --end;
    return text.mid(begin, end - begin);
}

void FillFromSettings(SetupFieldValues& fields, const ModuleSettings& settings) {
    fields.IP_ADDRESS = ToField(settings.IP_ADDRESS);
    fields.MASK_ADDRESS = ToField(settings.MASK_ADDRESS);
    fields.GW_ADDRESS = ToField(settings.GW_ADDRESS);
    fields.PORT_TX = QString::number(ClampToBounds(settings.PORT_TX, kModulePortMin, kPortMax));
    fields.PORT_RX = QString::number(ClampToBounds(settings.PORT_RX, kModulePortMin, kPortMax));
    fields.MYSQL_PORT = QString::number(ClampToBounds(settings.MYSQL_PORT, kMysqlPortMin, kPortMax));
    fields.MYSQL_URL = FillText(settings.MYSQL_URL);
    fields.MYSQL_User = FillText(settings.MYSQL_User);
    fields.MYSQL_Pass = FillText(settings.MYSQL_Pass);
}

ModuleSettings CollectSettings(const SetupFieldValues& fields) {
    ModuleSettings s;
    s.IP_ADDRESS = FromField(fields.IP_ADDRESS);
    s.MASK_ADDRESS = FromField(fields.MASK_ADDRESS);
    s.GW_ADDRESS = FromField(fields.GW_ADDRESS);
    s.PORT_TX = PortValue(fields.PORT_TX, kModulePortMin);
    s.PORT_RX = PortValue(fields.PORT_RX, kModulePortMin);
    s.MYSQL_PORT = PortValue(fields.MYSQL_PORT, kMysqlPortMin);
    s.MYSQL_URL = CollectTrim(fields.MYSQL_URL).toStdU16String();
    s.MYSQL_User = CollectTrim(fields.MYSQL_User).toStdU16String();
    s.MYSQL_Pass = CollectTrim(fields.MYSQL_Pass).toStdU16String();
    s.DHCP_ON = fields.DHCP_ON;
    return s;
}

}  // namespace tivaro
