#pragma once
// The numeric field with up/down buttons: shows and edits the text of a
// NumericFieldModel (its own, or one bound from a window's state). Typing is
// filtered to digits, "+", "-", the locale decimal separator and control keys
// other than Enter; pasted text is not filtered. Steps come only from the
// up/down buttons and the arrow keys: the mouse wheel neither steps the field
// nor gives it the focus, so a stray scroll never changes a value. UI thread
// only.

#include <QAbstractSpinBox>

#include "core/numeric_field_model.h"

namespace tivaro {

// Whether a typed character reaches the field.
bool NumericKeyAccepted(QChar ch, QChar decimalSeparator);

class NumericField : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit NumericField(QWidget* parent = nullptr);
    ~NumericField() override;

    // Shows and edits model from now on; model must outlive the field.
    void Bind(NumericFieldModel& model);
    // Back to the field's own model (keeping the text shown).
    void Unbind();
    NumericFieldModel& Model() { return *m_model; }

    std::int32_t Value() const { return m_model->Value(); }
    void SetValue(std::int64_t value) { m_model->SetValue(value); }

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void showModelText();

    NumericFieldModel m_ownModel;
    NumericFieldModel* m_model = &m_ownModel;
};

}  // namespace tivaro
