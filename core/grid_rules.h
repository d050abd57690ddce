#pragma once
// The manager window's rules for its two string grids, beyond what a table
// model knows: which rows a grid shows for its entries, where the log scrolls
// after an append, and which cells a selection rectangle (grdRec) covers.
// Pure functions on values; any thread.

#include <cstdint>

namespace tivaro {

// A grid selection: anchor cell (Left, Top), current cell (Right, Bottom).
struct TGridRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;

    bool operator==(const TGridRect& o) const {
        return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
    }
    bool operator!=(const TGridRect& o) const { return !(*this == o); }
};

// The rows of a grid: the grey header row while the grid is as created (it
// goes at the first reset and never comes back), the entries in order, then
// one blank row, so an empty grid shows one blank row.
struct GridRows {
    int entries = 0;
    bool header = true;

    int FixedRows() const { return header ? 1 : 0; }
    int Count() const { return FixedRows() + entries + 1; }
    // The entry shown in row; -1 for the header row, the blank row and rows outside.
    int EntryAt(int row) const;
};

// The top row clamped into the rows below the header.
int ClampTopRow(int topRow, const GridRows& rows);

// The log's rule after an append: once the rows no longer fit into
// visibleRows, the last row sits at the bottom; until then the top row stays.
int TopRowAfterAppend(int topRow, const GridRows& rows, int visibleRows);

// A selection shows only when all four corners lie inside the grid's columns
// and below its header row; then it covers the cells between them.
bool SelectionVisible(const TGridRect& rect, int columns, const GridRows& rows);
bool CellSelected(const TGridRect& rect, int col, int row, int columns, const GridRows& rows);

}  // namespace tivaro
