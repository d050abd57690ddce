#pragma once
// The settings write of `set`, made the way the manager's setup dialog makes
// it: the unit's reply filled into fresh dialog fields (FillFromSettings, with
// its clamps and trims), the edits put into the fields as a user would type
// them, then CollectSettings and BuildSettingsWrite. Pure functions, any thread.

#include "cli/cli_options.h"
#include "protocol/messages.h"

namespace tivaro::cli {

struct SettingsWrite {
    ModuleSettings settings;  // what the fields held when collected
    Bytes bytes;              // the datagram
};

SettingsWrite MakeSettingsWrite(const ModuleSettings& reply, const SettingsEdits& edits);

// What a unit that stored `write` reports when asked again: the write read by
// the reply's reading rules (texts lose every character at or below U+0020).
ModuleSettings AsReadBack(const Bytes& write);

// Names of the fields in which two settings differ ("ip", "mysql_user", ...),
// DHCP_ON left out (a reply does not carry it).
std::vector<std::string> DifferingFields(const ModuleSettings& a, const ModuleSettings& b);

}  // namespace tivaro::cli
