#pragma once
// The yes/no question of both windows. Models ask through Confirmation; the
// real one is the "Bestätigen" dialog, tests preset the answer. UI thread only.

#include <QString>

class QWidget;

namespace tivaro {

class Confirmation {
public:
    virtual ~Confirmation() = default;
    // True only when the user answers "&Ja".
    virtual bool Confirm(const QString& question) = 0;
};

}  // namespace tivaro
