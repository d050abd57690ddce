#include "UnitModul/limited_line_edit.h"

#include <algorithm>

namespace tivaro {

namespace {
constexpr int kWidestText = 32767;  // QLineEdit's own ceiling
}

LimitedLineEdit::LimitedLineEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, &LimitedLineEdit::follow);
}

void LimitedLineEdit::setTypingLimit(int limit) {
    m_limit = std::clamp(limit, 0, kWidestText);
    setMaxLength(std::max(m_limit, static_cast<int>(std::min<qsizetype>(text().size(), kWidestText))));
}

void LimitedLineEdit::setFullText(const QString& text) {
    // QLineEdit refuses keystrokes and cuts pastes beyond maxLength: raising it
    // to the assigned length first shows the whole text, and the user can only
    // shorten it from there.
    setMaxLength(std::max(m_limit, static_cast<int>(std::min<qsizetype>(text.size(), kWidestText))));
    setText(text);
}

void LimitedLineEdit::follow(const QString& text) {
    // Once a long assigned text has been shortened to the limit, the limit
    // holds again. Changing maxLength re-sets the text, which moves the cursor:
    // keep it where the user had it.
    if (text.size() <= m_limit && maxLength() != m_limit) {
        const int cursor = cursorPosition();
        setMaxLength(m_limit);
        setCursorPosition(cursor);
    }
}

}  // namespace tivaro
