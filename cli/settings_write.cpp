#include "cli/settings_write.h"

#include "core/setup_fields.h"

namespace tivaro::cli {

namespace {

Ipv4FieldOctets AsField(const Ipv4Octets& a) { return {a[0], a[1], a[2], a[3]}; }

}  // namespace

SettingsWrite MakeSettingsWrite(const ModuleSettings& reply, const SettingsEdits& edits) {
    SetupFieldValues fields;
    FillFromSettings(fields, reply);
    if (edits.ip) fields.IP_ADDRESS = AsField(*edits.ip);
    if (edits.mask) fields.MASK_ADDRESS = AsField(*edits.mask);
    if (edits.gateway) fields.GW_ADDRESS = AsField(*edits.gateway);
    if (edits.portTx) fields.PORT_TX = QString::number(*edits.portTx);
    if (edits.portRx) fields.PORT_RX = QString::number(*edits.portRx);
    if (edits.mysqlPort) fields.MYSQL_PORT = QString::number(*edits.mysqlPort);
    if (edits.mysqlServer) fields.MYSQL_URL = *edits.mysqlServer;
    if (edits.mysqlUser) fields.MYSQL_User = *edits.mysqlUser;
    if (edits.mysqlPassword) fields.MYSQL_Pass = *edits.mysqlPassword;
    SettingsWrite w;
    w.settings = CollectSettings(fields);
    w.bytes = BuildSettingsWrite(w.settings);
    return w;
}

ModuleSettings AsReadBack(const Bytes& write) {
    Bytes reply = write;
    reply[0] = 'G';  // "SET" becomes "GET"; the DHCP byte after the texts is not read
    reply[1] = 'E';
    reply[2] = 'T';
    return ParseSettingsReply(reply).value_or(ModuleSettings{});
}

std::vector<std::string> DifferingFields(const ModuleSettings& a, const ModuleSettings& b) {
    std::vector<std::string> out;
    const auto check = [&out](bool same, const char* name) {
        if (!same) out.emplace_back(name);
    };
    check(a.IP_ADDRESS == b.IP_ADDRESS, "ip");
    check(a.MASK_ADDRESS == b.MASK_ADDRESS, "mask");
    check(a.GW_ADDRESS == b.GW_ADDRESS, "gateway");
    check(a.PORT_TX == b.PORT_TX, "port_tx");
    check(a.PORT_RX == b.PORT_RX, "port_rx");
    check(a.MYSQL_URL == b.MYSQL_URL, "mysql_server");
    check(a.MYSQL_PORT == b.MYSQL_PORT, "mysql_port");
    check(a.MYSQL_User == b.MYSQL_User, "mysql_user");
    check(a.MYSQL_Pass == b.MYSQL_Pass, "mysql_password");
    return out;
}

}  // namespace tivaro::cli
