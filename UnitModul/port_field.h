#pragma once
// Stand-in numeric field of the setup dialog: a spin box that keeps the typed
// text in a NumericFieldModel, yields its value at each use and clamps on
// writes, steps and leaving. UI thread only.

#include <QAbstractSpinBox>

#include "widgets/numeric_field_model.h"

class PortField : public QAbstractSpinBox {
    Q_OBJECT

public:
    explicit PortField(QWidget* parent = nullptr);

    void setRange(std::int32_t minValue, std::int32_t maxValue);
    std::int32_t value() const { return m_model.Value(); }
    void setValue(std::int64_t value);
    QString text() const { return m_model.Text(); }
    void setText(const QString& text);

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void show(const QString& text);
    tivaro::NumericFieldModel m_model;
};
