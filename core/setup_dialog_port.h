#pragma once
// What the manager window (settings fetch and dispatcher) needs of the setup
// dialog. TForm2 implements it; model tests give a fake. UI thread only.

#include <QString>

#include "protocol/messages.h"

namespace tivaro {

class SetupDialogPort {
public:
    virtual ~SetupDialogPort() = default;
    // IP_ADDRESS "0.0.0.0", MASK_ADDRESS "255.255.255.0", GW_ADDRESS "0.0.0.0"; nothing else.
    virtual void PresetAddresses() = 0;
    // The IP label: the target unit's address text.
    virtual void SetTargetCaption(const QString& caption) = 0;
    virtual QString TargetCaption() const = 0;
    // A datagram classified as a settings reply: parse it and fill the fields.
    virtual void HandleSettingsReply(const Bytes& datagram) = 0;
    // Shows the dialog modally; returns when it has closed.
    virtual void ShowModal() = 0;
};

}  // namespace tivaro
