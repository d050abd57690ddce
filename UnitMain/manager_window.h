#pragma once
// The manager window (Form1): lays out the controls of manager_window.ui,
// binds them to ManagerWindowState and forwards the user's commands and every
// received datagram to the models. Owns the UDP sender, the listener and the
// hand-over of datagrams to the UI thread. UI thread only.

#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "UnitMain/manager_window_state.h"
#include "core/module_host.h"
#include "core/qt_event_pump.h"
#include "core/settings_fetch.h"
#include "core/setup_dialog_port.h"
#include "protocol/udp_endpoints.h"
#include "widgets/confirm_dialog.h"

namespace Ui {
class TForm1;
}

namespace tivaro {

class DatagramDelivery;

// What a test puts in place of the manager window's own collaborators; a
// null member keeps the window's own one. The program passes none.
struct ManagerWindowSeams {
    std::uint16_t listenPort = kManagerListenPort;  // 0: a port the system chooses
    DatagramSender* sender = nullptr;               // a recording sender
    Confirmation* confirmation = nullptr;           // a preset answer
};

class TForm1 : public QWidget, public FetchHost {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr, const ManagerWindowSeams& seams = {});
    ~TForm1() override;

    void SetSetupDialog(SetupDialogPort* dialog) { m_dialog = dialog; }
    // Stops the listener (joins its threads), closes the sender and stops the
    // hand-over; called before any window is destroyed.
    void Shutdown();

    ManagerWindowState& State() { return m_state; }
    const TGridRect& grdRec() const { return m_state.grdRec; }
    bool ListenerActive() const;

    // FetchHost (and the ModuleHost it extends).
    std::int32_t UdpPortValue() const override { return m_state.UDP_PORT.Value(); }
    DatagramSender& Sender() override;
    void ADD_LOG(const QString& L_IP, const QString& L_Port, const QString& L_Message) override;
    QString UnitCellText(int col, int row) const override { return m_state.UnitCell(col, row); }
    void SetUdpPort(std::int32_t port) override { m_state.UDP_PORT.SetValue(port); }
    bool IsRx() const override { return m_state.is_rx; }
    void SetIsRx(bool value) override { m_state.is_rx = value; }
    bool FetchRunning() const override { return m_state.fetchRunning; }
    void SetFetchRunning(bool value) override { m_state.fetchRunning = value; }

    // The window's handlers.
    void FormCreate();
    void FormShow();
    void FormResize();
    void JvXPButton1Click();
    void JvXPButton2Click();
    void JvXPButton8Click();
    void JvXPButton3Click();
    void Unit_GridMouseUp(const QPoint& pos);
    void IdUDPServer1UDPRead(const DatagramEvent& event);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    SystemWallClock m_wallClock;
    ManagerWindowState m_state{m_wallClock};
    std::unique_ptr<Ui::TForm1> m_ui;
    UdpSender m_sender;
    std::unique_ptr<DatagramDelivery> m_delivery;
    std::unique_ptr<UdpListener> m_listener;
    DialogConfirmation m_confirmation;
    QtEventPump m_pump;
    SteadyClock m_clock;
    QPixmap m_logo;
    SetupDialogPort* m_dialog = nullptr;
    DatagramSender& m_activeSender;
    Confirmation& m_activeConfirmation;
    bool m_shown = false;
};

}  // namespace tivaro
