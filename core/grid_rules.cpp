#include "core/grid_rules.h"

#include <algorithm>

namespace tivaro {

int GridRows::EntryAt(int row) const {
    const int index = row - FixedRows();
    return index >= 0 && index < entries ? index : -1;
}

int ClampTopRow(int topRow, const GridRows& rows) {
    return std::clamp(topRow, rows.FixedRows(), rows.Count() - 1);
}

int TopRowAfterAppend(int topRow, const GridRows& rows, int visibleRows) {
    if (rows.Count() <= visibleRows) return topRow;
    return ClampTopRow(rows.Count() - visibleRows, rows);
}

bool SelectionVisible(const TGridRect& rect, int columns, const GridRows& rows) {
    const auto inCols = [columns](std::int32_t c) { return c >= 0 && c < columns; };
    const auto inRows = [&rows](std::int32_t r) { return r >= rows.FixedRows() && r < rows.Count(); };
    return inCols(rect.Left) && inCols(rect.Right) && inRows(rect.Top) && inRows(rect.Bottom);
}

bool CellSelected(const TGridRect& rect, int col, int row, int columns, const GridRows& rows) {
    if (!SelectionVisible(rect, columns, rows)) return false;
    const auto [l, r] = std::minmax(rect.Left, rect.Right);
    const auto [t, b] = std::minmax(rect.Top, rect.Bottom);
    return col >= l && col <= r && row >= t && row <= b;
}

}  // namespace tivaro
