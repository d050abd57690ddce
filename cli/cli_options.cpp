#include "cli/cli_options.h"

#include <algorithm>
#include <functional>
#include <map>

#include "core/setup_fields.h"

#ifndef TIVARO_VERSION
#define TIVARO_VERSION "0"
#endif

namespace tivaro::cli {

namespace {

constexpr int kMaxWaitMs = 3600000;

struct CommandInfo {
    Command command;
    const char* name;
    const char* synopsis;
    const char* summary;
    const char* options;  // the options of this command, shown by its --help
};

const char* const kCommonOptions =
    "  --json          one JSON document on stdout\n"
    "  --wait MS       how long to wait for answers, 0..3600000 (default 1000)\n"
    "  -h, --help      this help\n"
    "  --version       the program's version\n";

const char* const kExitCodes =
    "Exit codes:\n"
    "  0  done\n"
    "  1  no answer: a unit did not reply, or no unit was found\n"
    "  2  usage error\n"
    "  3  the network or the port failed (port 22223 in use, for example)\n"
    "  4  --verify read back other values than were written\n"
    "  5  some rows of a --from file failed\n";

const CommandInfo kCommands[] = {
    {Command::Discover, "discover", "tivaro discover [--json|--csv] [--wait MS]",
     "Broadcasts the discovery request and lists each unit as its reply arrives:\n"
     "its address and source port, each unit once, until --wait ms have passed.\n",
     "  --csv           CSV with the header ip,port\n"},
    {Command::Get, "get", "tivaro get IP [--port N] [--json|--csv] [--wait MS]",
     "Asks the unit at IP for its settings and prints them as the unit reports them.\n",
     "  --port N        the unit's port (default 22222)\n"
     "  --csv           CSV with a header row\n"},
    {Command::Set, "set",
     "tivaro set IP [--ip A] [--mask M] [--gateway G] [--port-tx N] [--port-rx N]\n"
     "           [--mysql-server S] [--mysql-port N] [--mysql-user U] [--mysql-password P]\n"
     "           [--port N] [--dry-run] [--verify] [--json] [--wait MS]\n"
     "       tivaro set --from FILE.csv [--port N] [--dry-run] [--verify] [--json] [--wait MS]",
     "Reads the unit's settings, applies the given changes and sends one settings\n"
     "write, the same bytes the manager's setup dialog sends for the same reply and\n"
     "edits. Values out of the dialog's range are refused: octets 0..255, --port-tx\n"
     "and --port-rx 5000..65535, --mysql-port 1000..65535, texts up to 255 Latin-1\n"
     "characters. A --from file has the header row\n"
     "  target,ip,mask,gateway,port_tx,port_rx,mysql_server,mysql_port,mysql_user,mysql_password\n"
     "and one unit per row; an empty cell keeps the unit's value. Every row is done,\n"
     "also after a failed one.\n",
     "  --ip A, --mask M, --gateway G     dotted IPv4 addresses\n"
     "  --port-tx N, --port-rx N          the unit's own ports, 5000..65535\n"
     "  --mysql-server S, --mysql-port N, --mysql-user U, --mysql-password P\n"
     "                                    the MySQL server the unit uses\n"
     "  --port N        the unit's port (default 22222)\n"
     "  --dry-run       print the write in hex and send nothing\n"
     "  --verify        read the settings back (at the new address if --ip changed\n"
     "                  it) and fail with exit code 4 if they differ\n"
     "  --from FILE     the changes of many units, as CSV\n"},
    {Command::Switch, "switch", "tivaro switch A.B.C [--yes] [--json] [--wait MS]",
     "Tells every unit, with one broadcast, to move into the /24 segment A.B.C,\n"
     "after a yes/no question on the terminal. Prints each unit's reply as it\n"
     "arrives during --wait.\n",
     "  --yes           do not ask; without a terminal and without --yes nothing is sent\n"},
    {Command::My1, "my1", "tivaro my1 IP [--port N]",
     "Asks the unit to run its first database test (MY1 SELECT). Waits for nothing.\n",
     "  --port N        the unit's port (default 22222)\n"},
    {Command::My2, "my2", "tivaro my2 IP [--port N]",
     "Asks the unit to run its second database test (MY2 INSERT). Waits for nothing.\n",
     "  --port N        the unit's port (default 22222)\n"},
};

const CommandInfo* FindCommand(const std::string& name) {
    const auto it = std::find_if(std::begin(kCommands), std::end(kCommands),
                                 [&name](const CommandInfo& c) { return name == c.name; });
    return it == std::end(kCommands) ? nullptr : it;
}

const CommandInfo& InfoOf(Command command) {
    const auto it = std::find_if(std::begin(kCommands), std::end(kCommands),
                                 [command](const CommandInfo& c) { return c.command == command; });
    return it == std::end(kCommands) ? kCommands[0] : *it;
}

bool IsDecimal(const std::string& text) {
    return !text.empty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Which options each command takes (the common ones aside).
bool Accepts(Command command, const std::string& option) {
    static const std::map<std::string, std::vector<Command>> table = {
        {"--csv", {Command::Discover, Command::Get}},
        {"--port", {Command::Get, Command::Set, Command::My1, Command::My2}},
        {"--ip", {Command::Set}},
        {"--mask", {Command::Set}},
        {"--gateway", {Command::Set}},
        {"--port-tx", {Command::Set}},
        {"--port-rx", {Command::Set}},
        {"--mysql-server", {Command::Set}},
        {"--mysql-port", {Command::Set}},
        {"--mysql-user", {Command::Set}},
        {"--mysql-password", {Command::Set}},
        {"--dry-run", {Command::Set}},
        {"--verify", {Command::Set}},
        {"--from", {Command::Set}},
        {"--yes", {Command::Switch}},
    };
    const auto it = table.find(option);
    if (it == table.end()) return true;
    return std::find(it->second.begin(), it->second.end(), command) != it->second.end();
}

std::array<std::uint8_t, 3> SegmentValue(const std::string& text) {
    std::array<std::uint8_t, 3> out{};
    std::size_t start = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? text.find('.', start) : text.size();
        const std::string piece = end == std::string::npos ? std::string() : text.substr(start, end - start);
        if (!IsDecimal(piece) || piece.size() > 3 || std::stoi(piece) > 255)
            throw UsageError("switch: '" + text + "' is not a segment A.B.C of three numbers 0..255");
        out[i] = static_cast<std::uint8_t>(std::stoi(piece));
        start = end + 1;
    }
    return out;
}

}  // namespace

Ipv4Octets AddressValue(const std::string& name, const std::string& text) {
    if (auto a = ParseIpv4(text)) return *a;
    throw UsageError(name + ": '" + text + "' is not a dotted IPv4 address of four numbers 0..255");
}

std::uint16_t PortValue(const std::string& name, const std::string& text, std::int32_t minValue) {
    if (!IsDecimal(text)) throw UsageError(name + ": '" + text + "' is not a decimal number");
    const long value = std::stol(text);
    if (value < minValue || value > kPortMax)
        throw UsageError(name + ": " + text + " is out of range " + std::to_string(minValue) + ".." +
                         std::to_string(kPortMax));
    return static_cast<std::uint16_t>(value);
}

QString TextValue(const std::string& name, const std::string& text) {
    QString value = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const auto wide = std::find_if(value.begin(), value.end(), [](QChar c) { return c.unicode() > 0xFF; });
    if (wide != value.end())
        throw UsageError(name + ": the character '" + QString(*wide).toStdString() +
                         "' cannot be sent; a unit takes one byte per character (Latin-1)");
    if (static_cast<std::size_t>(CollectTrim(value).size()) > kMaxTextLength)
        throw UsageError(name + ": the text is longer than " + std::to_string(kMaxTextLength) + " bytes");
    return value;
}

Options ParseCommandLine(const std::vector<std::string>& args) {
    Options o;
    std::vector<std::string> positional;
    const CommandInfo* command = nullptr;

    // Help and version win over everything else on the line.
    for (const std::string& a : args) {
        if (a == "-h" || a == "--help") o.help = true;
        if (a == "--version") o.version = true;
        if (!command && !a.empty() && a[0] != '-') command = FindCommand(a);
    }
    if (o.help || o.version) {
        if (command) o.command = command->command;
        return o;
    }
    command = nullptr;

    bool json = false, csv = false;
    using Setter = std::function<void(const std::string& name, const std::string& value)>;
    const std::map<std::string, Setter> valued = {
        {"--wait",
         [&](const std::string& n, const std::string& v) {
             if (!IsDecimal(v) || std::stol(v) > kMaxWaitMs)
                 throw UsageError(n + ": '" + v + "' is not a number of milliseconds 0.." +
                                  std::to_string(kMaxWaitMs));
             o.waitMs = static_cast<int>(std::stol(v));
         }},
        {"--port", [&](const std::string& n, const std::string& v) { o.port = PortValue(n, v, 1); }},
        {"--ip", [&](const std::string& n, const std::string& v) { o.edits.ip = AddressValue(n, v); }},
        {"--mask", [&](const std::string& n, const std::string& v) { o.edits.mask = AddressValue(n, v); }},
        {"--gateway",
         [&](const std::string& n, const std::string& v) { o.edits.gateway = AddressValue(n, v); }},
        {"--port-tx", [&](const std::string& n,
                          const std::string& v) { o.edits.portTx = PortValue(n, v, kModulePortMin); }},
        {"--port-rx", [&](const std::string& n,
                          const std::string& v) { o.edits.portRx = PortValue(n, v, kModulePortMin); }},
        {"--mysql-port", [&](const std::string& n,
                             const std::string& v) { o.edits.mysqlPort = PortValue(n, v, kMysqlPortMin); }},
        {"--mysql-server",
         [&](const std::string& n, const std::string& v) { o.edits.mysqlServer = TextValue(n, v); }},
        {"--mysql-user",
         [&](const std::string& n, const std::string& v) { o.edits.mysqlUser = TextValue(n, v); }},
        {"--mysql-password",
         [&](const std::string& n, const std::string& v) { o.edits.mysqlPassword = TextValue(n, v); }},
        {"--from",
         [&](const std::string& n, const std::string& v) {
             if (v.empty()) throw UsageError(n + ": needs a file name");
             o.fromFile = v;
         }},
    };
    const std::map<std::string, bool*> flags = {
        {"--json", &json},       {"--csv", &csv},   {"--dry-run", &o.dryRun},
        {"--verify", &o.verify}, {"--yes", &o.yes},
    };

    std::vector<std::pair<std::string, std::string>> given;  // options in order, checked below
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyPositional || a.size() < 2 || a[0] != '-' || a == "-") {
            if (!command && !onlyPositional) {
                command = FindCommand(a);
                if (!command) throw UsageError("unknown command '" + a + "'");
            } else {
                positional.push_back(a);
            }
            continue;
        }
        if (a == "--") {
            onlyPositional = true;
            continue;
        }
        std::string name = a, value;
        bool hasValue = false;
        if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            hasValue = true;
        }
        if (flags.count(name)) {
            if (hasValue) throw UsageError(name + " takes no value");
            given.emplace_back(name, std::string());
        } else if (valued.count(name)) {
            if (!hasValue) {
                if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
                value = args[++i];
            }
            given.emplace_back(name, value);
        } else {
            throw UsageError("unknown option '" + name + "'");
        }
    }
    if (!command) throw UsageError("no command given");
    o.command = command->command;

    for (const auto& [name, value] : given) {
        if (!Accepts(o.command, name))
            throw UsageError(name + " does not apply to '" + std::string(command->name) + "'");
        if (flags.count(name))
            *flags.at(name) = true;
        else
            valued.at(name)(name, value);
    }
    if (json && csv) throw UsageError("--json and --csv exclude each other");
    o.format = json ? Format::Json : csv ? Format::Csv : Format::Table;

    const std::string cmd = command->name;
    switch (o.command) {
        case Command::Discover:
            if (!positional.empty())
                throw UsageError("discover: unexpected argument '" + positional[0] + "'");
            break;
        case Command::Switch:
            if (positional.size() != 1) throw UsageError("switch: needs one segment A.B.C");
            o.segment = SegmentValue(positional[0]);
            break;
        case Command::Set:
            if (!o.fromFile.empty()) {
                const SettingsEdits& e = o.edits;
                if (!positional.empty() || e.ip || e.mask || e.gateway || e.portTx || e.portRx ||
                    e.mysqlPort || e.mysqlServer || e.mysqlUser || e.mysqlPassword)
                    throw UsageError("set: --from takes the units and their changes from the file alone");
                break;
            }
            [[fallthrough]];
        default:
            if (positional.size() != 1) throw UsageError(cmd + ": needs one unit address IP");
            o.target = FormatIpv4(AddressValue(cmd, positional[0]));
            break;
    }
    return o;
}

std::string CommandName(Command command) { return InfoOf(command).name; }

std::string HelpText(Command command) {
    if (command == Command::None) {
        std::string text =
            "Usage: tivaro COMMAND [OPTIONS]\n"
            "Finds and configures TIVARO network modules from the command line.\n\n"
            "Commands:\n";
        for (const CommandInfo& c : kCommands) text += "  " + std::string(c.synopsis) + "\n";
        text += "\nCommon options:\n" + std::string(kCommonOptions) +
                "\n'tivaro COMMAND --help' describes one command. Results go to stdout, messages\n"
                "to stderr. Replies arrive on UDP port 22223, so tivaro-manager must not run\n"
                "at the same time.\n\n" +
                kExitCodes;
        return text;
    }
    const CommandInfo& c = InfoOf(command);
    return "Usage: " + std::string(c.synopsis) + "\n\n" + c.summary + "\nOptions:\n" + c.options +
           kCommonOptions + "\n" + kExitCodes;
}

std::string VersionText() { return std::string("tivaro ") + TIVARO_VERSION + "\n"; }

}  // namespace tivaro::cli
