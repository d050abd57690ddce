#pragma once
// The IPv4 entry field: four octet boxes in a row shown as a.b.c.d, octet 0
// leftmost. Each octet holds 0..255 or is blank while the user has emptied it;
// a blank octet reads as 0. Typing never yields an octet above 255: a keystroke
// that would is refused. "." or a third digit moves on to the next octet,
// Backspace in an empty octet moves back. UI thread only.

#include <QFrame>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "protocol/messages.h"

class QLineEdit;

namespace tivaro {

class Ipv4Field : public QFrame {
    Q_OBJECT

public:
    explicit Ipv4Field(QWidget* parent = nullptr);

    // Shows value in the i-th place at once.
    void setOctet(int i, std::uint8_t value);
    // The i-th octet as shown; blank reads 0.
    std::uint8_t octet(int i) const;
    // The i-th octet as shown, blank as std::nullopt.
    std::optional<std::uint8_t> octetOrBlank(int i) const;
    Ipv4Octets octets() const;
    void setOctets(const Ipv4Octets& octets);

    // "a.b.c.d": four dotted decimal numbers set the octets left to right. Of
    // any other text, each of the first four dot-separated pieces that is a
    // number sets its octet (numbers above 255 give 255) and every other place
    // goes blank.
    void setText(const QString& text);
    // The octets as shown, blanks as 0: "192.168.0.0".
    QString text() const;

    QLineEdit* octetEdit(int i) const { return m_edits[static_cast<std::size_t>(i)]; }

signals:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<QLineEdit*, 4> m_edits{};
};

}  // namespace tivaro
