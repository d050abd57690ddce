#include "core/numeric_field_model.h"

#include "core/numeric_value.h"

namespace tivaro {

NumericFieldModel::NumericFieldModel(std::int32_t value, std::int32_t minValue, std::int32_t maxValue)
    : m_text(QString::number(ClampToBounds(value, minValue, maxValue))), m_min(minValue), m_max(maxValue) {}

void NumericFieldModel::SetText(const QString& text) {
    if (text == m_text) return;
    m_text = text;
    if (m_onChanged) m_onChanged();
}

std::int32_t NumericFieldModel::Value() const { return NumericFieldValue(m_text, m_min); }

void NumericFieldModel::SetValue(std::int64_t value) {
    SetText(QString::number(ClampToBounds(value, m_min, m_max)));
}

void NumericFieldModel::Step(int steps) {
    // Without bounds the value wraps like the 32-bit integer it is.
    const std::int64_t next = static_cast<std::int64_t>(Value()) + steps;
    if (HasBounds()) {
        SetValue(next);
    } else {
        SetText(QString::number(static_cast<std::int32_t>(static_cast<std::uint32_t>(next))));
    }
}

void NumericFieldModel::Leave() {
    if (!HasBounds()) return;
    const auto parsed = ParseInteger(m_text);
    if (!parsed) return;
    if (*parsed < m_min || *parsed > m_max) SetValue(*parsed);
}

}  // namespace tivaro
