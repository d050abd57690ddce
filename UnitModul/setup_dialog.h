#pragma once
// TForm2 (instance Form2), the module setup dialog: shows the target unit's
// settings, writes them back ("Save + Close"), asks for the database tests
// ("MY1 SELECT", "MY2 INSERT") and closes after a confirmation ("Cancel").
// Created hidden once and reused; shown modally by the settings fetch. The
// field rules live in setup_fields.h; this class binds them to the widgets.
// UI thread only.

#include <QDialog>
#include <memory>

#include "core/confirmation.h"
#include "core/module_host.h"
#include "core/numeric_field_model.h"
#include "core/setup_dialog_port.h"
#include "core/setup_fields.h"

namespace Ui {
class TForm2;
}

namespace tivaro {

class TForm2 : public QDialog, public SetupDialogPort {
    Q_OBJECT

public:
    TForm2(ModuleHost& host, Confirmation& confirmation, QWidget* parent = nullptr);
    ~TForm2() override;

    // SetupDialogPort
    void PresetAddresses() override;
    void SetTargetCaption(const QString& caption) override;
    QString TargetCaption() const override;
    void HandleSettingsReply(const Bytes& datagram) override;
    void ShowModal() override;

    // What the fields show now, and writing such values into them.
    SetupFieldValues Fields() const;
    void SetFields(const SetupFieldValues& values);
    void FillFromSettings(const ModuleSettings& settings);
    ModuleSettings CollectSettings() const;

    // The commands; each runs through the command boundary when pressed.
    void JvXPButton3Click();   // "Save + Close"
    void JvXPButton1Click();   // "Cancel"
    void JvXPButton12Click();  // "MY1 SELECT"
    void JvXPButton13Click();  // "MY2 INSERT"
    void DHCP_ONMouseUp();

    // Where the first showing puts the dialog: centred on the primary screen's work area.
    void PlaceFirstShowing();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SendDatabaseTest(int n);
    std::uint16_t TargetPortValue() const;

    std::unique_ptr<Ui::TForm2> ui;
    ModuleHost& m_host;
    Confirmation& m_confirmation;
    // The numeric fields' models: what they hold, bound to the widgets.
    NumericFieldModel m_PORT_TX{kModulePortMin, kModulePortMin, kPortMax};
    NumericFieldModel m_PORT_RX{kModulePortMin, kModulePortMin, kPortMax};
    NumericFieldModel m_MYSQL_PORT{5000, kMysqlPortMin, kPortMax};
    bool m_placed = false;
};

}  // namespace tivaro
