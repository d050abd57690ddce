#pragma once
// Runs one parsed `tivaro` command against the network: sends through a
// UdpSender as the manager does, collects replies on port 22223, writes results
// to `out` and messages to `err`, and returns the exit code. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_options.h"
#include "cli/reply_inbox.h"

namespace tivaro::cli {

// The yes/no question of `switch`: the answer, or nothing when there is no
// terminal to ask.
using AskYesNo = std::function<std::optional<bool>(const std::string& question)>;

extern const char* const kPortInUseMessage;  // "port 22223 is in use by another program; ..."

class Runner {
public:
    Runner(Options options, std::ostream& out, std::ostream& err, AskYesNo ask);
    ~Runner();

    int Run();

private:
    struct UnitResult;

    int Discover();
    int Get();
    int Set();
    int SetFromFile();
    int Switch();
    int DatabaseTest(int n);

    void StartInbox();
    // Broadcasts request and lists each unit whose reply of `kind` arrives
    // within --wait, once, in arrival order; exit code 1 when none does.
    int BroadcastAndList(const Bytes& request, DatagramKind kind, const std::string& suffix,
                         const std::string& nobody);
    // Sends the settings request to ip and waits for that unit's settings
    // reply; *malformed tells whether only unreadable replies came.
    std::optional<ModuleSettings> Fetch(const std::string& ip, bool* malformed);
    UnitResult SetOne(const std::string& target, const SettingsEdits& edits);
    std::string ResultJson(const UnitResult& r, int line) const;
    ReplyInbox::Clock::time_point Deadline() const;

    Options m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    AskYesNo m_ask;
    UdpSender m_sender;
    std::unique_ptr<ReplyInbox> m_inbox;
};

}  // namespace tivaro::cli
