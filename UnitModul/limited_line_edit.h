#pragma once
// A single-line text field whose typing limit binds only the user: typing or
// pasting cannot make the text longer than the limit (a paste is cut to fit),
// while a text the program assigns with setFullText() is shown whole however
// long it is. UI thread only.

#include <QLineEdit>

namespace tivaro {

class LimitedLineEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit LimitedLineEdit(QWidget* parent = nullptr);

    void setTypingLimit(int limit);
    int typingLimit() const { return m_limit; }
    // Shows text in full; the user may shorten it but not lengthen it while it
    // is longer than the limit.
    void setFullText(const QString& text);

private:
    void follow(const QString& text);
    int m_limit = 32767;
};

}  // namespace tivaro
