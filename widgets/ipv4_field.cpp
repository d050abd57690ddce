#include "widgets/ipv4_field.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>
#include <algorithm>

namespace tivaro {

namespace {

// Blank, or one to three digits worth at most 255.
class OctetValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.isEmpty()) return Acceptable;
        if (input.size() > 3) return Invalid;
        const bool digits =
            std::all_of(input.cbegin(), input.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        return digits && input.toInt() <= 255 ? Acceptable : Invalid;
    }
};

}  // namespace

Ipv4Field::Ipv4Field(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(0);
    for (std::size_t i = 0; i < m_edits.size(); ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            row->addWidget(dot);
        }
        auto* edit = new QLineEdit(QStringLiteral("0"), this);
        edit->setObjectName(QStringLiteral("octet%1").arg(i));
        edit->setFrame(false);
        edit->setAlignment(Qt::AlignCenter);
        edit->setValidator(new OctetValidator(edit));
        edit->setTextMargins(0, 0, 0, 0);
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& t) {
            // A third digit completes the octet: go on to the next place.
            if (t.size() == 3 && i + 1 < m_edits.size() && m_edits[i]->cursorPosition() == 3) {
                m_edits[i + 1]->setFocus(Qt::TabFocusReason);
                m_edits[i + 1]->selectAll();
            }
        });
        connect(edit, &QLineEdit::textChanged, this, &Ipv4Field::changed);
        row->addWidget(edit, 1);
        m_edits[i] = edit;
    }
    setFocusProxy(m_edits[0]);
    // Tab enters at the first octet and leaves the field after the last.
    for (std::size_t i = 1; i < m_edits.size(); ++i) m_edits[i]->setFocusPolicy(Qt::ClickFocus);
}

bool Ipv4Field::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    std::size_t i = 0;
    while (i < m_edits.size() && m_edits[i] != watched) ++i;
    if (i == m_edits.size()) return QFrame::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* edit = m_edits[i];
    const bool hasNext = i + 1 < m_edits.size();
    switch (key->key()) {
        case Qt::Key_Period:
        case Qt::Key_Comma:
            if (hasNext && !edit->text().isEmpty()) {
                m_edits[i + 1]->setFocus(Qt::TabFocusReason);
                m_edits[i + 1]->selectAll();
            }
            return true;
        case Qt::Key_Right:
            if (hasNext && edit->cursorPosition() == edit->text().size() && !edit->hasSelectedText()) {
                m_edits[i + 1]->setFocus(Qt::TabFocusReason);
                m_edits[i + 1]->setCursorPosition(0);
                return true;
            }
            break;
        case Qt::Key_Left:
        case Qt::Key_Backspace:
            if (i > 0 && edit->cursorPosition() == 0 && !edit->hasSelectedText()) {
                m_edits[i - 1]->setFocus(Qt::TabFocusReason);
                m_edits[i - 1]->end(false);
                return true;
            }
            break;
        default:
            break;
    }
    return QFrame::eventFilter(watched, event);
}

void Ipv4Field::setOctet(int i, std::uint8_t value) {
    if (i < 0 || i >= static_cast<int>(m_edits.size())) return;
    m_edits[static_cast<std::size_t>(i)]->setText(QString::number(value));
}

std::optional<std::uint8_t> Ipv4Field::octetOrBlank(int i) const {
    if (i < 0 || i >= static_cast<int>(m_edits.size())) return std::nullopt;
    const QString t = m_edits[static_cast<std::size_t>(i)]->text();
    bool ok = false;
    const int v = t.toInt(&ok);
    if (!ok || v < 0) return std::nullopt;
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

std::uint8_t Ipv4Field::octet(int i) const { return octetOrBlank(i).value_or(0); }

Ipv4Octets Ipv4Field::octets() const {
    Ipv4Octets o{};
    for (std::size_t i = 0; i < o.size(); ++i) o[i] = octet(static_cast<int>(i));
    return o;
}

void Ipv4Field::setOctets(const Ipv4Octets& octets) {
    for (std::size_t i = 0; i < octets.size(); ++i) setOctet(static_cast<int>(i), octets[i]);
}

void Ipv4Field::setText(const QString& text) {
    const QStringList pieces = text.split(u'.');
    for (std::size_t i = 0; i < m_edits.size(); ++i) {
        const QString piece =
            i < static_cast<std::size_t>(pieces.size()) ? pieces[static_cast<int>(i)].trimmed() : QString();
        bool ok = false;
        const qlonglong v = piece.toLongLong(&ok);
        const bool digits = ok && !piece.isEmpty() && piece[0].isDigit();
        m_edits[i]->setText(digits ? QString::number(v > 255 ? 255 : v) : QString());
    }
}

QString Ipv4Field::text() const { return QString::fromStdString(FormatIpv4(octets())); }

}  // namespace tivaro
