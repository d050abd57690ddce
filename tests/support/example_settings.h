#pragma once
// The settings of the protocol's worked example (192.168.1.50, mask
// 255.255.255.0, gateway 192.168.1.1, ports 22223/22222/3306, server "db",
// user "u", no password, DHCP off), shared by the tests that build, parse or
// show them. Qt-free, so the sanitizer build's protocol tests can use it.

#include "protocol/messages.h"

namespace tivaro::test {

inline ModuleSettings WorkedExampleSettings() {
    ModuleSettings s;
    s.IP_ADDRESS = {192, 168, 1, 50};
    s.MASK_ADDRESS = {255, 255, 255, 0};
    s.GW_ADDRESS = {192, 168, 1, 1};
    s.PORT_TX = 22223;
    s.PORT_RX = 22222;
    s.MYSQL_PORT = 3306;
    s.MYSQL_URL = u"db";
    s.MYSQL_User = u"u";
    return s;
}

}  // namespace tivaro::test
