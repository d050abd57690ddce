#include "UnitMain/manager_window.h"

#include <QFile>

#include "UnitMain/datagram_delivery.h"
#include "UnitMain/dispatcher.h"
#include "UnitMain/jpeg_image.h"
#include "UnitMain/subnet_switch.h"
#include "UnitMain/unit_discovery.h"
#include "core/command_boundary.h"
#include "ui_manager_window.h"

static void initManagerResources() { Q_INIT_RESOURCE(manager_window); }

namespace tivaro {

namespace {
constexpr int kLogoWidth = 244;
constexpr int kLogoHeight = 161;
}  // namespace

TForm1::TForm1(QWidget* parent, const ManagerWindowSeams& seams)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::TForm1>()),
      m_activeSender(seams.sender ? *seams.sender : m_sender),
      m_activeConfirmation(seams.confirmation ? *seams.confirmation : m_confirmation) {
    initManagerResources();
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(745, 481);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    QFile logoFile(QStringLiteral(":/tivaro/logo.jpg"));
    if (logoFile.open(QIODevice::ReadOnly)) {
        const QImage logo = DecodeJpeg(logoFile.readAll());
        if (!logo.isNull())
            m_logo = QPixmap::fromImage(
                logo.scaled(kLogoWidth, kLogoHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    m_ui->Image1->setPixmap(m_logo);

    m_ui->SpinEdit3->Bind(m_state.SpinEdit3);
    m_ui->SpinEdit4->Bind(m_state.SpinEdit4);
    m_ui->SpinEdit5->Bind(m_state.SpinEdit5);
    m_ui->UDP_PORT->Bind(m_state.UDP_PORT);
    m_ui->Broadcast_Port->Bind(m_state.Broadcast_Port);

    m_ui->Log_Grid->SetGridModel(&m_state.Log, false);
    m_ui->Unit_Grid->SetGridModel(&m_state.Units, true);
    const int logWidths[] = {67, 113, 53, 195};
    for (int c = 0; c < 4; ++c) m_ui->Log_Grid->setColumnWidth(c, logWidths[c]);
    const int unitWidths[] = {132, 58, 58};
    for (int c = 0; c < 3; ++c) m_ui->Unit_Grid->setColumnWidth(c, unitWidths[c]);

    ConnectCommand(m_ui->JvXPButton1, &QPushButton::clicked, this, [this] { JvXPButton1Click(); });
    ConnectCommand(m_ui->JvXPButton2, &QPushButton::clicked, this, [this] { JvXPButton2Click(); });
    ConnectCommand(m_ui->JvXPButton8, &QPushButton::clicked, this, [this] { JvXPButton8Click(); });
    ConnectCommand(m_ui->JvXPButton3, &QPushButton::clicked, this, [this] { JvXPButton3Click(); });
    ConnectCommand(m_ui->Unit_Grid, &StringGrid::mouseReleased, this,
                   [this](const QPoint& p) { Unit_GridMouseUp(p); });

    m_delivery = std::make_unique<DatagramDelivery>(
        [this](const DatagramEvent& event) { IdUDPServer1UDPRead(event); });
    m_listener = std::make_unique<UdpListener>(m_delivery->Poster(), seams.listenPort);
    m_listener->SetInFlightLimit(m_delivery->Limit());

    // Where the window first appears is the shell's business: a restored
    // placement, or centred on the work area.
    FormCreate();
    FormResize();
}

TForm1::~TForm1() {
    Shutdown();
    // The controls are destroyed after the state they show: let go of it first.
    // (The grids let go of their models by themselves.)
    for (NumericField* field :
         {m_ui->SpinEdit3, m_ui->SpinEdit4, m_ui->SpinEdit5, m_ui->UDP_PORT, m_ui->Broadcast_Port})
        field->Unbind();
}

void TForm1::Shutdown() {
    if (m_listener) m_listener->Stop();
    m_sender.Close();
    if (m_delivery) m_delivery->Shutdown();
}

bool TForm1::ListenerActive() const { return m_listener && m_listener->Active(); }

DatagramSender& TForm1::Sender() { return m_activeSender; }

void TForm1::ADD_LOG(const QString& L_IP, const QString& L_Port, const QString& L_Message) {
    m_state.ADD_LOG(L_IP, L_Port, L_Message);
}

void TForm1::FormCreate() { m_ui->Unit_Grid->resize(m_ui->Unit_Grid->width(), m_ui->Log_Grid->height()); }

void TForm1::FormShow() {
    try {
        m_listener->Start();
    } catch (const std::exception& e) {
        // The window opens all the same, without a listener and with the
        // grids as created.
        ShowError(e);
        return;
    }
    m_state.ResetGridsOnShow();
}

void TForm1::FormResize() {
    StringGrid* log = m_ui->Log_Grid;
    log->setColumnWidth(3,
                        log->width() - log->columnWidth(0) - log->columnWidth(1) - log->columnWidth(2) - 20);
}

void TForm1::JvXPButton1Click() { RunDiscoveryBroadcast(m_state, Sender()); }

void TForm1::JvXPButton2Click() { m_state.ClearLog(); }

void TForm1::JvXPButton8Click() { RunSubnetSwitch(m_state, m_activeConfirmation, Sender()); }

void TForm1::JvXPButton3Click() { close(); }

void TForm1::Unit_GridMouseUp(const QPoint& pos) {
    if (!m_dialog) return;
    const QPoint cell = m_ui->Unit_Grid->CellAt(pos);
    RunSettingsFetch(*this, *m_dialog, m_pump, m_clock, cell.x(), cell.y());
}

void TForm1::IdUDPServer1UDPRead(const DatagramEvent& event) { DispatchDatagram(m_state, m_dialog, event); }

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_shown) return;
    m_shown = true;
    FormShow();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

}  // namespace tivaro
