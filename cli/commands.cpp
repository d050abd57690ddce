#include "cli/commands.h"

#include <QString>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "cli/settings_write.h"
#include "cli/text_formats.h"
#include "core/setup_fields.h"

namespace tivaro::cli {

const char* const kPortInUseMessage = "port 22223 is in use by another program; is tivaro-manager running?";

namespace {

const char* const kBroadcastHost = "255.255.255.255";
const std::vector<std::string> kFromColumns = {
    "target",  "ip",           "mask",       "gateway",    "port_tx",
    "port_rx", "mysql_server", "mysql_port", "mysql_user", "mysql_password"};

std::string Utf8(const std::u16string& latin1) { return QString::fromStdU16String(latin1).toStdString(); }

// The settings in the order and under the names of `get`; numbers stay
// numbers in JSON.
std::vector<std::pair<std::string, std::string>> SettingsFields(const ModuleSettings& s, bool json) {
    const auto text = [json](const std::string& v) { return json ? JsonString(v) : v; };
    return {
        {"ip", text(FormatIpv4(s.IP_ADDRESS))},       {"mask", text(FormatIpv4(s.MASK_ADDRESS))},
        {"gateway", text(FormatIpv4(s.GW_ADDRESS))},  {"port_tx", std::to_string(s.PORT_TX)},
        {"port_rx", std::to_string(s.PORT_RX)},       {"mysql_server", text(Utf8(s.MYSQL_URL))},
        {"mysql_port", std::to_string(s.MYSQL_PORT)}, {"mysql_user", text(Utf8(s.MYSQL_User))},
        {"mysql_password", text(Utf8(s.MYSQL_Pass))},
    };
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
    return out;
}

std::string ErrorText(const std::exception& e) {
    std::string text = e.what();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string Subnet(const std::array<std::uint8_t, 3>& s) {
    return std::to_string(s[0]) + "." + std::to_string(s[1]) + "." + std::to_string(s[2]) + ".XXX";
}

// One cell of a --from row put into the edits through the command line's checks.
void ApplyCell(SettingsEdits& e, const std::string& column, const std::string& cell) {
    if (cell.empty()) return;
    if (column == "ip") e.ip = AddressValue(column, cell);
    if (column == "mask") e.mask = AddressValue(column, cell);
    if (column == "gateway") e.gateway = AddressValue(column, cell);
    if (column == "port_tx") e.portTx = PortValue(column, cell, kModulePortMin);
    if (column == "port_rx") e.portRx = PortValue(column, cell, kModulePortMin);
    if (column == "mysql_port") e.mysqlPort = PortValue(column, cell, kMysqlPortMin);
    if (column == "mysql_server") e.mysqlServer = TextValue(column, cell);
    if (column == "mysql_user") e.mysqlUser = TextValue(column, cell);
    if (column == "mysql_password") e.mysqlPassword = TextValue(column, cell);
}

std::string TrimmedCell(std::string s) {
    if (s.rfind("\xEF\xBB\xBF", 0) == 0) s.erase(0, 3);  // a byte order mark from a spreadsheet
    const auto first = s.find_first_not_of(" \t");
    const auto last = s.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

}  // namespace

struct Runner::UnitResult {
    int exit = kDone;
    std::string target;
    std::string status;   // written, verified, dry-run, no answer, differs, failed, invalid
    std::string message;  // why it failed, empty otherwise
    std::string hex;      // the settings write, when one was made
    std::vector<std::string> differing;
};

Runner::Runner(Options options, std::ostream& out, std::ostream& err, AskYesNo ask)
    : m_options(std::move(options)), m_out(out), m_err(err), m_ask(std::move(ask)) {}

Runner::~Runner() = default;

int Runner::Run() {
    try {
        switch (m_options.command) {
            case Command::Discover:
                return Discover();
            case Command::Get:
                return Get();
            case Command::Set:
                return m_options.fromFile.empty() ? Set() : SetFromFile();
            case Command::Switch:
                return Switch();
            case Command::My1:
                return DatabaseTest(1);
            case Command::My2:
                return DatabaseTest(2);
            case Command::None:
                break;
        }
        return kUsage;
    } catch (const NetworkError& e) {
        m_err << ErrorText(e) << "\n";
        return kNetworkFailed;
    } catch (const UsageError& e) {
        m_err << e.what() << "\n";
        return kUsage;
    }
}

ReplyInbox::Clock::time_point Runner::Deadline() const {
    return ReplyInbox::Clock::now() + std::chrono::milliseconds(m_options.waitMs);
}

void Runner::StartInbox() {
    m_inbox = std::make_unique<ReplyInbox>();
    try {
        m_inbox->Start();
    } catch (const NetworkError& e) {
        // Binding fails for one reason in practice: another program (the manager) holds the port.
        if (e.what() == std::string(kBindFailedMessage)) throw NetworkError(kPortInUseMessage, e.code());
        throw;
    }
}

std::optional<ModuleSettings> Runner::Fetch(const std::string& ip, bool* malformed) {
    *malformed = false;
    m_inbox->Clear();
    m_sender.Send(ip, m_options.port, BuildSettingsRequest());
    const auto deadline = Deadline();
    while (auto e = m_inbox->Next(deadline)) {
        if (e->PeerIP != ip || ClassifyDatagram(e->AData) != DatagramKind::SettingsReply) continue;
        if (auto s = ParseSettingsReply(e->AData)) return s;
        *malformed = true;
    }
    return std::nullopt;
}

int Runner::Discover() {
    StartInbox();
    return BroadcastAndList(BuildDiscoveryRequest(), DatagramKind::DiscoveryReply, "", "no unit answered");
}

int Runner::BroadcastAndList(const Bytes& request, DatagramKind kind, const std::string& suffix,
                             const std::string& nobody) {
    m_inbox->Clear();
    m_sender.Close();  // broadcasts leave from a fresh socket, as the manager's do
    m_sender.Send(kBroadcastHost, kDeviceCommandPort, request);
    const auto deadline = Deadline();
    std::set<std::string> seen;
    std::vector<std::string> json;
    if (m_options.format == Format::Csv) m_out << "ip,port" << std::endl;
    while (auto e = m_inbox->Next(deadline)) {
        if (ClassifyDatagram(e->AData) != kind || !seen.insert(e->PeerIP).second) continue;
        const std::string port = std::to_string(e->PeerPort);
        if (m_options.format == Format::Json)
            json.push_back(JsonObject({{"ip", JsonString(e->PeerIP)}, {"port", port}}));
        else if (m_options.format == Format::Csv)
            m_out << CsvRow({e->PeerIP, port}) << std::endl;
        else
            m_out << e->PeerIP << "\t" << port << suffix << std::endl;
    }
    if (m_options.format == Format::Json) m_out << JsonArray(json) << std::endl;
    if (seen.empty()) {
        m_err << nobody << " within " << m_options.waitMs << " ms\n";
        return kNoAnswer;
    }
    return kDone;
}

int Runner::Get() {
    StartInbox();
    bool malformed = false;
    const auto settings = Fetch(m_options.target, &malformed);
    if (!settings) {
        m_err << m_options.target << (malformed ? " sent only malformed settings replies" : " did not answer")
              << " within " << m_options.waitMs << " ms\n";
        return kNoAnswer;
    }
    const bool json = m_options.format == Format::Json;
    const auto fields = SettingsFields(*settings, json);
    if (json) {
        m_out << JsonObject(fields) << std::endl;
    } else if (m_options.format == Format::Csv) {
        std::vector<std::string> names, values;
        for (const auto& [name, value] : fields) {
            names.push_back(name);
            values.push_back(value);
        }
        m_out << CsvRow(names) << "\n" << CsvRow(values) << std::endl;
    } else {
        for (const auto& [name, value] : fields)
            m_out << name << std::string(16 - name.size(), ' ') << value << "\n";
        m_out.flush();
    }
    return kDone;
}

Runner::UnitResult Runner::SetOne(const std::string& target, const SettingsEdits& edits) {
    UnitResult r;
    r.target = target;
    bool malformed = false;
    const auto reply = Fetch(target, &malformed);
    if (!reply) {
        r.exit = kNoAnswer;
        r.status = "no answer";
        r.message = malformed ? "only malformed settings replies"
                              : "no settings reply within " + std::to_string(m_options.waitMs) + " ms";
        return r;
    }
    const SettingsWrite write = MakeSettingsWrite(*reply, edits);
    r.hex = HexDump(write.bytes);
    if (m_options.dryRun) {
        r.status = "dry-run";
        return r;
    }
    m_sender.Close();  // a settings write leaves from a fresh socket, as the dialog's does
    m_sender.Send(target, m_options.port, write.bytes);
    r.status = "written";
    if (!m_options.verify) return r;

    const bool moved = edits.ip && *edits.ip != reply->IP_ADDRESS;
    const std::string at = moved ? FormatIpv4(write.settings.IP_ADDRESS) : target;
    const auto back = Fetch(at, &malformed);
    if (!back) {
        r.exit = kNoAnswer;
        r.status = "no answer";
        r.message = "written, but " + at + " did not answer the read-back within " +
                    std::to_string(m_options.waitMs) + " ms";
        return r;
    }
    r.differing = DifferingFields(AsReadBack(write.bytes), *back);
    if (!r.differing.empty()) {
        r.exit = kVerifyDiffers;
        r.status = "differs";
        r.message = "read back from " + at + " differs in " + Join(r.differing, ", ");
        return r;
    }
    r.status = "verified";
    return r;
}

std::string Runner::ResultJson(const UnitResult& r, int line) const {
    std::vector<std::pair<std::string, std::string>> m;
    if (line > 0) m.emplace_back("line", std::to_string(line));
    m.emplace_back("target", JsonString(r.target));
    m.emplace_back("port", std::to_string(m_options.port));
    m.emplace_back("result", JsonString(r.status));
    if (!r.hex.empty()) m.emplace_back("bytes", JsonString(r.hex));
    if (!r.message.empty()) m.emplace_back("message", JsonString(r.message));
    if (!r.differing.empty()) {
        std::vector<std::string> names;
        std::transform(r.differing.begin(), r.differing.end(), std::back_inserter(names), JsonString);
        m.emplace_back("differs", "[" + Join(names, ", ") + "]");
    }
    return JsonObject(m);
}

int Runner::Set() {
    StartInbox();
    const UnitResult r = SetOne(m_options.target, m_options.edits);
    if (m_options.format == Format::Json)
        m_out << ResultJson(r, 0) << std::endl;
    else if (r.status == "dry-run")
        m_out << r.hex << std::endl;
    else if (r.exit == kDone)
        m_out << r.target << ": " << r.status << std::endl;
    if (r.exit != kDone) m_err << r.target << ": " << r.message << "\n";
    return r.exit;
}

int Runner::SetFromFile() {
    std::ifstream file(m_options.fromFile, std::ios::binary);
    if (!file) throw UsageError("--from: cannot read '" + m_options.fromFile + "'");
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::string error;
    auto records = ParseCsv(text, &error);
    if (!records) throw UsageError("--from: " + m_options.fromFile + ": " + error);
    if (records->empty()) throw UsageError("--from: " + m_options.fromFile + " is empty");
    std::vector<std::string> header;
    const auto& first = records->front().fields;
    std::transform(first.begin(), first.end(), std::back_inserter(header), TrimmedCell);
    if (header != kFromColumns)
        throw UsageError("--from: " + m_options.fromFile + ": the first row must be " +
                         Join(kFromColumns, ","));

    StartInbox();
    int failed = 0;
    std::vector<std::string> json;
    for (std::size_t i = 1; i < records->size(); ++i) {
        const CsvRecord& rec = (*records)[i];
        UnitResult r;
        r.target = rec.fields.empty() ? std::string() : TrimmedCell(rec.fields[0]);
        try {
            if (rec.fields.size() != kFromColumns.size())
                throw UsageError("has " + std::to_string(rec.fields.size()) + " cells, not " +
                                 std::to_string(kFromColumns.size()));
            r.target = FormatIpv4(AddressValue("target", r.target));
            SettingsEdits edits;
            for (std::size_t c = 1; c < kFromColumns.size(); ++c)
                ApplyCell(edits, kFromColumns[c], rec.fields[c]);
            r = SetOne(r.target, edits);
        } catch (const UsageError& e) {
            r.exit = kUsage;
            r.status = "invalid";
            r.message = e.what();
        } catch (const NetworkError& e) {
            r.exit = kNetworkFailed;
            r.status = "failed";
            r.message = ErrorText(e);
        }
        if (r.exit != kDone) ++failed;
        if (m_options.format == Format::Json) {
            json.push_back(ResultJson(r, rec.line));
            continue;
        }
        m_out << "line " << rec.line << " " << (r.target.empty() ? "-" : r.target) << ": " << r.status;
        if (r.status == "dry-run") m_out << " " << r.hex;
        if (!r.message.empty()) m_out << ": " << r.message;
        m_out << std::endl;
    }
    if (m_options.format == Format::Json) m_out << JsonArray(json) << std::endl;
    if (failed) {
        m_err << failed << " of " << records->size() - 1 << " rows failed\n";
        return kRowsFailed;
    }
    return kDone;
}

int Runner::Switch() {
    const std::string subnet = Subnet(m_options.segment);
    StartInbox();
    if (!m_options.yes) {
        const auto answer = m_ask("All Units in same Subnet " + subnet + " ?");
        if (!answer) throw UsageError("switch: no terminal to ask; give --yes to switch without a question");
        if (!*answer) {
            m_err << "nothing sent\n";
            return kDone;
        }
    }
    const auto& s = m_options.segment;
    return BroadcastAndList(BuildSubnetSwitchRequest(s[0], s[1], s[2]), DatagramKind::SubnetSwitchReply,
                            "\tSWITCH TO " + subnet, "no unit answered the switch to " + subnet);
}

int Runner::DatabaseTest(int n) {
    m_sender.Close();
    m_sender.Send(m_options.target, m_options.port, BuildDatabaseTestRequest(n));
    const std::string tag = "MY" + std::to_string(n);
    if (m_options.format == Format::Json)
        m_out << JsonObject({{"target", JsonString(m_options.target)},
                             {"port", std::to_string(m_options.port)},
                             {"sent", JsonString(tag)}})
              << std::endl;
    else
        m_out << m_options.target << ": " << tag << " sent" << std::endl;
    return kDone;
}

}  // namespace tivaro::cli
