#include "UnitModul/setup_dialog.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

#include "core/command_boundary.h"
#include "core/target_port.h"
#include "ui_setup_dialog.h"
#include "widgets/window_frame.h"

namespace tivaro {

namespace {

// The dialog's fonts are pixel sizes, which a .ui font cannot hold (uic writes
// point sizes only): the .ui names each font's family and weight and gives its
// size in a "pixelSize" property, applied here.
void ApplyPixelSizes(QWidget& root) {
    QList<QWidget*> widgets = root.findChildren<QWidget*>();
    widgets.prepend(&root);
    for (QWidget* w : widgets) {
        const QVariant pixels = w->property("pixelSize");
        if (!pixels.isValid()) continue;
        QFont f = w->font();
        f.setPixelSize(pixels.toInt());
        w->setFont(f);
    }
}

Ipv4FieldOctets Shown(const Ipv4Field& field) {
    return {field.octetOrBlank(0), field.octetOrBlank(1), field.octetOrBlank(2), field.octetOrBlank(3)};
}

void Show(Ipv4Field& field, const Ipv4FieldOctets& octets) {
    for (int i = 0; i < 4; ++i) {
        const auto& o = octets[static_cast<std::size_t>(i)];
        if (o)
            field.setOctet(i, *o);
        else
            field.octetEdit(i)->clear();
    }
}

}  // namespace

TForm2::TForm2(ModuleHost& host, Confirmation& confirmation, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TForm2>()), m_host(host), m_confirmation(confirmation) {
    ui->setupUi(this);
    // A fixed dialog frame with a caption and no title-bar buttons, above all other windows.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    setFixedSize(594, 375);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    ApplyPixelSizes(*this);
    for (QLabel* label :
         {ui->Label_Einstellung, ui->Label_MysqlSetup, ui->Label_IP, ui->Label_Mask, ui->Label_GW,
          ui->Label_PortRX, ui->Label_TX, ui->Label_Server, ui->Label_Port, ui->Label_User, ui->Label_Pass})
        label->setAttribute(Qt::WA_TranslucentBackground);
    for (QLabel* label : {ui->Label_Einstellung, ui->Label_MysqlSetup}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, p.color(QPalette::Highlight));
        label->setPalette(p);
    }
    // Captions size themselves to their text from their top-left corner.
    for (QLabel* label : findChildren<QLabel*>())
        if (label != ui->IP) label->adjustSize();
    QPalette blue = ui->IP->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    ui->IP->setPalette(blue);

    ui->PORT_TX->Bind(m_PORT_TX);
    ui->PORT_RX->Bind(m_PORT_RX);
    ui->MYSQL_PORT->Bind(m_MYSQL_PORT);
    ui->MYSQL_URL->setTypingLimit(kMysqlUrlTypingLimit);
    ui->MYSQL_User->setTypingLimit(kMysqlUserTypingLimit);
    ui->MYSQL_Pass->setTypingLimit(kMysqlPassTypingLimit);
    SetFields(SetupFieldValues{});

    // No default button: Enter presses only the focused button (keyPressEvent), Escape none.
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setFocusPolicy(Qt::StrongFocus);  // a mouse press takes the focus before the command runs
    }
    ConnectCommand(ui->JvXPButton3, &QPushButton::clicked, this, [this] { JvXPButton3Click(); });
    ConnectCommand(ui->JvXPButton1, &QPushButton::clicked, this, [this] { JvXPButton1Click(); });
    ConnectCommand(ui->JvXPButton12, &QPushButton::clicked, this, [this] { JvXPButton12Click(); });
    ConnectCommand(ui->JvXPButton13, &QPushButton::clicked, this, [this] { JvXPButton13Click(); });
    ConnectCommand(ui->DHCP_ON, &QCheckBox::clicked, this, [this] { DHCP_ONMouseUp(); });
}

TForm2::~TForm2() {
    // The fields outlive this object's members: let go of the models first.
    ui->PORT_TX->Unbind();
    ui->PORT_RX->Unbind();
    ui->MYSQL_PORT->Unbind();
}

void TForm2::PresetAddresses() {
    ui->IP_ADDRESS->setText(QStringLiteral("0.0.0.0"));
    ui->MASK_ADDRESS->setText(QStringLiteral("255.255.255.0"));
    ui->GW_ADDRESS->setText(QStringLiteral("0.0.0.0"));
}

void TForm2::SetTargetCaption(const QString& caption) { ui->IP->setText(caption); }

QString TForm2::TargetCaption() const { return ui->IP->text(); }

void TForm2::HandleSettingsReply(const Bytes& datagram) {
    // A malformed reply decodes to nothing and leaves every field as it is.
    if (const auto settings = ParseSettingsReply(datagram)) FillFromSettings(*settings);
}

void TForm2::PlaceFirstShowing() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    // Centred with the frame the window manager will give it.
    const QRect work = screen->availableGeometry();
    CentreFrameOn(*this, work, work.topLeft());
    m_placed = true;
}

void TForm2::ShowModal() {
    // Later showings keep the place where the dialog was when it closed.
    if (!m_placed) PlaceFirstShowing();
    exec();
}

SetupFieldValues TForm2::Fields() const {
    SetupFieldValues v;
    v.IP_ADDRESS = Shown(*ui->IP_ADDRESS);
    v.MASK_ADDRESS = Shown(*ui->MASK_ADDRESS);
    v.GW_ADDRESS = Shown(*ui->GW_ADDRESS);
    v.PORT_TX = m_PORT_TX.Text();
    v.PORT_RX = m_PORT_RX.Text();
    v.MYSQL_PORT = m_MYSQL_PORT.Text();
    v.MYSQL_URL = ui->MYSQL_URL->text();
    v.MYSQL_User = ui->MYSQL_User->text();
    v.MYSQL_Pass = ui->MYSQL_Pass->text();
    v.DHCP_ON = ui->DHCP_ON->isChecked();
    return v;
}

void TForm2::SetFields(const SetupFieldValues& v) {
    Show(*ui->IP_ADDRESS, v.IP_ADDRESS);
    Show(*ui->MASK_ADDRESS, v.MASK_ADDRESS);
    Show(*ui->GW_ADDRESS, v.GW_ADDRESS);
    m_PORT_TX.SetText(v.PORT_TX);
    m_PORT_RX.SetText(v.PORT_RX);
    m_MYSQL_PORT.SetText(v.MYSQL_PORT);
    ui->MYSQL_URL->setFullText(v.MYSQL_URL);
    ui->MYSQL_User->setFullText(v.MYSQL_User);
    ui->MYSQL_Pass->setFullText(v.MYSQL_Pass);
    ui->DHCP_ON->setChecked(v.DHCP_ON);
}

void TForm2::FillFromSettings(const ModuleSettings& settings) {
    SetupFieldValues v = Fields();
    tivaro::FillFromSettings(v, settings);  // the free rule, not this member
    SetFields(v);
}

ModuleSettings TForm2::CollectSettings() const { return tivaro::CollectSettings(Fields()); }

std::uint16_t TForm2::TargetPortValue() const { return TargetPort(m_host.UdpPortValue()); }

void TForm2::JvXPButton3Click() {
    // The write leaves from a freshly opened socket.
    m_host.Sender().Close();
    const Bytes write = BuildSettingsWrite(CollectSettings());
    const QString target = TargetCaption();
    m_host.Sender().Send(target.toStdString(), TargetPortValue(), write);
    m_host.ADD_LOG(target, QString::number(m_host.UdpPortValue()), QStringLiteral("UPDATE DEVICE"));
    done(QDialog::Accepted);
}

void TForm2::JvXPButton1Click() {
    if (m_confirmation.Confirm(QStringLiteral("Close without storing changes?"))) done(QDialog::Rejected);
}

void TForm2::SendDatabaseTest(int n) {
    m_host.Sender().Close();
    m_host.Sender().Send(TargetCaption().toStdString(), TargetPortValue(), BuildDatabaseTestRequest(n));
}

void TForm2::JvXPButton12Click() { SendDatabaseTest(1); }

void TForm2::JvXPButton13Click() { SendDatabaseTest(2); }

void TForm2::DHCP_ONMouseUp() {
    const bool manual = !ui->DHCP_ON->isChecked();
    ui->IP_ADDRESS->setEnabled(manual);
    ui->GW_ADDRESS->setEnabled(manual);
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* button = qobject_cast<QPushButton*>(focusWidget())) button->click();
            return;
        case Qt::Key_Escape:
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void TForm2::closeEvent(QCloseEvent* event) {
    // The dialog has no close button: it closes through its commands only.
    event->ignore();
}

}  // namespace tivaro
