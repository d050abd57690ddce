#include "UnitModul/port_field.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

PortField::PortField(QWidget* parent) : QAbstractSpinBox(parent), m_model(0, 0, 0) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& t) { m_model.SetText(t); });
    show(m_model.Text());
}

void PortField::setRange(std::int32_t minValue, std::int32_t maxValue) {
    const QString text = m_model.Text();
    m_model = tivaro::NumericFieldModel(0, minValue, maxValue);
    m_model.SetText(text);
}

void PortField::setValue(std::int64_t value) {
    m_model.SetValue(value);
    show(m_model.Text());
}

void PortField::setText(const QString& text) {
    m_model.SetText(text);
    show(m_model.Text());
}

void PortField::stepBy(int steps) {
    m_model.Step(steps);
    show(m_model.Text());
}

QValidator::State PortField::validate(QString&, int&) const { return QValidator::Acceptable; }

void PortField::focusOutEvent(QFocusEvent* event) {
    m_model.Leave();
    show(m_model.Text());
    QAbstractSpinBox::focusOutEvent(event);
}

void PortField::keyPressEvent(QKeyEvent* event) {
    const QString t = event->text();
    const bool control = t.isEmpty() || t[0].unicode() < 0x20 || t[0].unicode() == 0x7f;
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool allowed = !enter && (control || (t.size() == 1 && (t[0].isDigit() || t[0] == u'+' || t[0] == u'-' ||
                                                                  t == QLocale().decimalPoint())));
    if (!allowed && !enter && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QApplication::beep();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void PortField::show(const QString& text) {
    if (lineEdit()->text() != text) lineEdit()->setText(text);
}
