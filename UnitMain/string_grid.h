#pragma once
// A string grid view over a GridState: row count, header row, top row and
// selection follow the state; cell texts come from a function, so a million
// log rows cost the view no item objects. Texts are shown unchanged and
// clipped at the cell's edge. Tab leaves the grid for the window's next
// control; Ctrl+C copies the selected rows as tab-separated text. Reports
// mouse releases with the point. UI thread only.

#include <QAbstractTableModel>
#include <QTableView>
#include <functional>

#include "UnitMain/grid_state.h"

class GridTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using CellText = std::function<QString(int col, int row)>;

    GridTableModel(const GridState& state, CellText cellText, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void AppendRows(int newCount);
    void Reset();
    void RowsChanged(int first, int last);

private:
    const GridState& m_state;
    CellText m_cellText;
    int m_rows;
};

class StringGrid : public QTableView, private GridObserver {
    Q_OBJECT
public:
    explicit StringGrid(QWidget* parent = nullptr);
    ~StringGrid() override;

    // Shows state from now on; both must outlive the grid or be detached.
    void Attach(GridState& state, GridTableModel::CellText cellText, bool wholeRows);
    void Detach();
    GridTableModel* Model() const { return m_model; }

    // The cell under a point of the viewport: (-1, -1) outside every cell.
    QPoint CellAt(const QPoint& pos) const;

    // Brings the view up to the state now. Changes are otherwise gathered and
    // applied once per turn of the event loop, so a burst of appends costs the
    // view one layout instead of one per row.
    void Flush();

    // Every row that holds a selected cell, top to bottom, all columns joined
    // by tabs, each row ended by a line break; the blank last row is left out.
    QString SelectedRowsText() const;

signals:
    void mouseReleased(const QPoint& pos);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void RowsAppended(int first, int last) override;
    void RowsReset() override;
    void RowChanged(int row) override;
    void TopRowChanged(int topRow) override;
    void SelectionChanged() override;

    void schedule();

    GridState* m_state = nullptr;
    GridTableModel* m_model = nullptr;
    bool m_flushPosted = false;
    bool m_applying = false;  // the view is being set from the state
    bool m_rowsDirty = false;
    bool m_reset = false;
    bool m_topDirty = false;
    bool m_selectionDirty = false;
    int m_changedFirst = -1;
    int m_changedLast = -1;
};
