#pragma once
// Fakes for the windows' seams: a fixed wall clock, a recording sender, a
// preset confirmation, the manager window as the setup dialog sees it and a
// setup dialog that records settings replies. Single-threaded, like the code
// they stand in for.

#include <QStringList>
#include <QTime>
#include <string>
#include <vector>

#include "core/confirmation.h"
#include "core/module_host.h"
#include "core/setup_dialog_port.h"
#include "core/wall_clock.h"
#include "protocol/udp_endpoints.h"

namespace tivaro::test {

class FixedWallClock : public WallClock {
public:
    QTime time{15, 15, 0};
    QTime Now() const override { return time; }
};

class RecordingSender : public DatagramSender {
public:
    struct Sent {
        std::string host;
        std::uint16_t port;
        Bytes bytes;
        int closesBefore = 0;  // Close calls before this send: 1 means it left from a fresh socket
    };
    std::vector<std::string> calls;  // "Close" and "Send" in order
    std::vector<Sent> sent;
    bool fail = false;

    void Send(const std::string& host, std::uint16_t port, const Bytes& bytes) override {
        calls.emplace_back("Send");
        if (fail) throw NetworkError("Socket-Fehler # 101\r\nNetzwerk ist nicht erreichbar.", 101);
        sent.push_back({host, port, bytes, Closes()});
    }
    void Close() override { calls.emplace_back("Close"); }
    int Closes() const {
        int n = 0;
        for (const auto& c : calls) n += c == "Close";
        return n;
    }
};

class PresetConfirmation : public Confirmation {
public:
    bool answer = true;
    QStringList questions;
    bool Confirm(const QString& question) override {
        questions << question;
        return answer;
    }
};

// The manager window as the setup dialog sees it: UDP_PORT, a recording
// sender and the event log as "ip|port|message" lines.
class RecordingHost : public ModuleHost {
public:
    std::int32_t udpPort = kDeviceCommandPort;
    RecordingSender sender;
    QStringList log;

    std::int32_t UdpPortValue() const override { return udpPort; }
    DatagramSender& Sender() override { return sender; }
    void ADD_LOG(const QString& ip, const QString& port, const QString& message) override {
        log << ip + QLatin1Char('|') + port + QLatin1Char('|') + message;
    }
};

class RecordingDialog : public SetupDialogPort {
public:
    std::vector<Bytes> replies;
    void PresetAddresses() override {}
    void SetTargetCaption(const QString& caption) override { m_caption = caption; }
    QString TargetCaption() const override { return m_caption; }
    void HandleSettingsReply(const Bytes& datagram) override { replies.push_back(datagram); }
    void ShowModal() override {}

private:
    QString m_caption;
};

}  // namespace tivaro::test
