#pragma once
// The yes/no question shown to the user: "Bestätigen", a question icon, "&Ja"
// (the default) and "&Nein"; Escape and closing decline. Owned by the window
// in front and centred on the screen, frame included. UI thread only.

#include <QString>

#include "core/confirmation.h"

namespace tivaro {

class DialogConfirmation : public Confirmation {
public:
    bool Confirm(const QString& question) override;
};

}  // namespace tivaro
