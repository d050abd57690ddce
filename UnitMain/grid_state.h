#pragma once
// The row bookkeeping of one string grid without its widget: row count, fixed
// (header) rows, top visible row and the selection rectangle as last applied.
// The event log and the unit list each own one; their views follow it through
// GridObserver. UI thread only.

#include <cstdint>

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

// Told about every change, so that a view can follow without polling.
class GridObserver {
public:
    virtual ~GridObserver() = default;
    virtual void RowsAppended(int first, int last) = 0;  // rows first..last are new at the end
    virtual void RowsReset() = 0;                        // row count or every cell changed
    virtual void RowChanged(int row) = 0;                // cell texts of one row changed
    virtual void TopRowChanged(int topRow) = 0;
    virtual void SelectionChanged() = 0;
};

class GridState {
public:
    GridState(int colCount, int visibleRows);

    int ColCount() const { return m_colCount; }
    int RowCount() const { return m_rowCount; }
    int FixedRows() const { return m_fixedRows; }
    int TopRow() const { return m_topRow; }
    int VisibleRows() const { return m_visibleRows; }
    const TGridRect& Selection() const { return m_selection; }

    // Sets the row count (at least 1). A count that leaves no room for the
    // header row drops it; the top row moves up when it would lie past the end.
    void SetRowCount(int rowCount);
    // One blank row more at the bottom.
    void AppendRow();
    void NotifyRowChanged(int row);
    void NotifyReset();
    void SetTopRow(int topRow);
    // The user scrolled the view: the state follows without telling the view back.
    void ScrolledByUser(int topRow);
    // The log's rule: once the rows no longer fit, the last row sits at the bottom.
    void ScrollLastRowIntoView();
    // Stored unchanged; only cells inside the grid and below the header show it.
    void SetSelection(const TGridRect& rect);
    // Whether the applied selection covers a valid range at all.
    bool HasVisibleSelection() const;
    bool IsSelected(int col, int row) const;

    void SetObserver(GridObserver* observer) { m_observer = observer; }

private:
    int m_colCount;
    int m_visibleRows;
    int m_rowCount = 2;  // as created: one grey header row and one blank row
    int m_fixedRows = 1;
    int m_topRow = 1;
    TGridRect m_selection{};
    GridObserver* m_observer = nullptr;
};
