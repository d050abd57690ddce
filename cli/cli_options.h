#pragma once
// The command line of `tivaro`: commands, options, value checks and help
// texts. Parsing is pure: it throws UsageError with a message that names the
// option at fault, and never touches the network. Any thread.

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/messages.h"
#include "protocol/udp_endpoints.h"

namespace tivaro::cli {

// Exit codes, as --help and the manual page list them.
enum ExitCode : int {
    kDone = 0,
    kNoAnswer = 1,       // a unit did not reply, or no unit was found
    kUsage = 2,          // the command line or a --from file is wrong
    kNetworkFailed = 3,  // the network or port 22223 failed
    kVerifyDiffers = 4,  // --verify read back other values
    kRowsFailed = 5,     // some rows of a --from file failed
};

enum class Command { None, Discover, Get, Set, Switch, My1, My2 };
enum class Format { Table, Json, Csv };

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Changes that `set` types into the setup dialog's fields; unset ones keep
// what the unit reported. Values are checked when given.
struct SettingsEdits {
    std::optional<Ipv4Octets> ip, mask, gateway;
    std::optional<std::uint16_t> portTx, portRx, mysqlPort;
    std::optional<QString> mysqlServer, mysqlUser, mysqlPassword;
};

struct Options {
    Command command = Command::None;
    bool help = false;     // -h/--help: the help of `command` (general help without one)
    bool version = false;  // --version
    Format format = Format::Table;
    int waitMs = 1000;
    std::string target;                       // dotted IPv4 of get, set, my1, my2
    std::uint16_t port = kDeviceCommandPort;  // the module port of unicast requests
    SettingsEdits edits;
    bool dryRun = false;
    bool verify = false;
    std::string fromFile;
    std::array<std::uint8_t, 3> segment{};  // switch A.B.C
    bool yes = false;
};

// Parses the arguments after the program name. Throws UsageError.
Options ParseCommandLine(const std::vector<std::string>& args);

// The checks every value of `set` goes through, from the command line or a
// --from cell; `name` is what a message calls the value ("--port-tx", "port_tx").
Ipv4Octets AddressValue(const std::string& name, const std::string& text);
// A decimal number in minValue..65535: the dialog's field range, which the
// window would clamp into silently.
std::uint16_t PortValue(const std::string& name, const std::string& text, std::int32_t minValue);
// UTF-8 text of at most 255 bytes on the wire once trimmed, Latin-1 only (a
// module receives one byte per character).
QString TextValue(const std::string& name, const std::string& text);

// Help of one command, or the general help for Command::None.
std::string HelpText(Command command);
std::string VersionText();
// "set" for Command::Set, and so on.
std::string CommandName(Command command);

}  // namespace tivaro::cli
