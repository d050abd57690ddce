#include "UnitMain/grid_state.h"

#include <algorithm>

GridState::GridState(int colCount, int visibleRows) : m_colCount(colCount), m_visibleRows(visibleRows) {}

void GridState::SetRowCount(int rowCount) {
    rowCount = std::max(1, rowCount);
    if (rowCount == m_rowCount) return;
    if (m_fixedRows >= rowCount) m_fixedRows = rowCount - 1;
    m_rowCount = rowCount;
    m_topRow = std::clamp(m_topRow, m_fixedRows, m_rowCount - 1);
    if (m_observer) m_observer->RowsReset();
}

void GridState::AppendRow() {
    ++m_rowCount;
    if (m_observer) m_observer->RowsAppended(m_rowCount - 1, m_rowCount - 1);
}

void GridState::NotifyRowChanged(int row) {
    if (m_observer) m_observer->RowChanged(row);
}

void GridState::NotifyReset() {
    if (m_observer) m_observer->RowsReset();
}

void GridState::SetTopRow(int topRow) {
    topRow = std::clamp(topRow, m_fixedRows, m_rowCount - 1);
    if (topRow == m_topRow) return;
    m_topRow = topRow;
    if (m_observer) m_observer->TopRowChanged(m_topRow);
}

void GridState::ScrolledByUser(int topRow) { m_topRow = std::clamp(topRow, m_fixedRows, m_rowCount - 1); }

void GridState::ScrollLastRowIntoView() {
    if (m_rowCount > m_visibleRows) SetTopRow(m_rowCount - m_visibleRows);
}

void GridState::SetSelection(const TGridRect& rect) {
    m_selection = rect;
    if (m_observer) m_observer->SelectionChanged();
}

bool GridState::HasVisibleSelection() const {
    const auto inCols = [this](std::int32_t c) { return c >= 0 && c < m_colCount; };
    const auto inRows = [this](std::int32_t r) { return r >= m_fixedRows && r < m_rowCount; };
    return inCols(m_selection.Left) && inCols(m_selection.Right) && inRows(m_selection.Top) &&
           inRows(m_selection.Bottom);
}

bool GridState::IsSelected(int col, int row) const {
    if (!HasVisibleSelection()) return false;
    const auto [l, r] = std::minmax(m_selection.Left, m_selection.Right);
    const auto [t, b] = std::minmax(m_selection.Top, m_selection.Bottom);
    return col >= l && col <= r && row >= t && row <= b;
}
