#include "widgets/numeric_field.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QWheelEvent>

namespace tivaro {

bool NumericKeyAccepted(QChar ch, QChar decimalSeparator) {
    if (ch == u'\r' || ch == u'\n') return false;
    if (ch.unicode() < 0x20 || ch.unicode() == 0x7F) return true;  // Backspace, Tab, Ctrl+V, ...
    return ch.isDigit() || ch == u'+' || ch == u'-' || ch == decimalSeparator;
}

NumericField::NumericField(QWidget* parent) : QAbstractSpinBox(parent) {
    setAccelerated(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    setFocusPolicy(Qt::StrongFocus);  // not Qt::WheelFocus: a scroll over the field leaves the focus alone
    connect(lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { m_model->SetText(text); });
    Bind(m_ownModel);
}

NumericField::~NumericField() { m_model->SetOnChanged({}); }

void NumericField::Bind(NumericFieldModel& model) {
    m_model->SetOnChanged({});
    m_model = &model;
    m_model->SetOnChanged([this] { showModelText(); });
    showModelText();
}

void NumericField::Unbind() {
    if (m_model == &m_ownModel) return;
    m_ownModel = NumericFieldModel(0, m_model->MinValue(), m_model->MaxValue());
    m_ownModel.SetText(m_model->Text());
    Bind(m_ownModel);
}

void NumericField::showModelText() {
    if (lineEdit()->text() != m_model->Text()) lineEdit()->setText(m_model->Text());
}

void NumericField::stepBy(int steps) {
    // One step per key press or button click, also with the step modifier
    // (Ctrl) that QAbstractSpinBox would turn into ten.
    if (steps == 0) return;
    m_model->Step(steps > 0 ? 1 : -1);
    lineEdit()->selectAll();
}

QValidator::State NumericField::validate(QString&, int&) const {
    return QValidator::Acceptable;  // the field keeps whatever text it is given
}

void NumericField::fixup(QString&) const {}

QAbstractSpinBox::StepEnabled NumericField::stepEnabled() const { return StepUpEnabled | StepDownEnabled; }

void NumericField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        event->accept();  // only the arrow keys step, by one
        return;
    }
    const QString text = event->text();
    if (text.size() == 1 && !(event->modifiers() & Qt::ControlModifier && text[0].unicode() >= 0x20)) {
        const QChar separator = QLocale::system().decimalPoint().at(0);
        if (!NumericKeyAccepted(text[0], separator)) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void NumericField::focusOutEvent(QFocusEvent* event) {
    m_model->Leave();
    QAbstractSpinBox::focusOutEvent(event);
    showModelText();
}

void NumericField::wheelEvent(QWheelEvent* event) {
    event->ignore();  // passed on to the window, which does nothing with it either
}

}  // namespace tivaro
