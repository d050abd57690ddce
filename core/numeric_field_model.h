#pragma once
// The state of one numeric field without its widget: the text as typed and the
// bounds. The value is read afresh from the text at every use; writes, steps
// and leaving the field clamp into the bounds (0..0 means none). UI thread only.

#include <QString>
#include <cstdint>
#include <functional>

namespace tivaro {

class NumericFieldModel {
public:
    NumericFieldModel(std::int32_t value = 0, std::int32_t minValue = 0, std::int32_t maxValue = 0);

    const QString& Text() const { return m_text; }
    // What the user typed or pasted: kept as it is, never clamped here.
    void SetText(const QString& text);

    // The text read by the number rule; unreadable text yields the lower bound.
    std::int32_t Value() const;
    // A value written by a program: clamped into the bounds, written as decimal.
    void SetValue(std::int64_t value);
    // The up/down buttons and arrow keys: value ± 1, clamped.
    void Step(int steps);
    // Leaving the field: a readable but out-of-range number becomes the
    // nearest bound; unreadable text stays.
    void Leave();

    std::int32_t MinValue() const { return m_min; }
    std::int32_t MaxValue() const { return m_max; }
    bool HasBounds() const { return !(m_min == 0 && m_max == 0); }

    // Called after every change of the text, so that a bound widget can show it.
    void SetOnChanged(std::function<void()> onChanged) { m_onChanged = std::move(onChanged); }

private:
    QString m_text;
    std::int32_t m_min;
    std::int32_t m_max;
    std::function<void()> m_onChanged;
};

}  // namespace tivaro
