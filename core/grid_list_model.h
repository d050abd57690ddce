#pragma once
// The common part of the manager window's two list models: a table of
// entries laid out by GridRows (header row, entries, blank row), the top row
// and selection the window applies to its view, and the batching that
// announces the entries appended in one turn of the event loop with one
// rowsInserted, so a burst of a thousand datagrams costs a view one layout.
// Subclasses own the entries. UI thread only.

#include <QAbstractTableModel>

#include "core/grid_rules.h"

namespace tivaro {

class GridListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // data() of this role is true in the grey header row.
    static constexpr int kHeaderRowRole = Qt::UserRole + 1;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The rows after every change so far; rowCount() catches up at Flush.
    GridRows Rows() const { return {entryCount(), m_header}; }
    // Text of a cell by row of Rows(); "" in the header and blank rows and outside.
    QString CellText(int col, int row) const;

    // Drops the header row: every entry stays, one blank row after them.
    void ResetRows();

    int TopRow() const { return m_topRow; }
    // Clamped into the rows below the header; the view follows.
    void SetTopRow(int topRow);
    // The user scrolled the view: the model follows without telling it back.
    void ScrolledByUser(int topRow) { m_topRow = ClampTopRow(topRow, Rows()); }

    // Kept unchanged; only cells inside the grid and below the header show it.
    void SetSelection(const TGridRect& rect);
    const TGridRect& Selection() const { return m_selection; }
    bool HasVisibleSelection() const { return SelectionVisible(m_selection, m_columns, Rows()); }
    bool IsSelected(int col, int row) const { return CellSelected(m_selection, col, row, m_columns, Rows()); }

    // Announces what changed since the last flush now. Otherwise it runs once
    // per turn of the event loop (never without a QCoreApplication).
    void Flush();

signals:
    // At the end of a flush: the rows were announced (rows), and the view is
    // to scroll to TopRow() (topRow) and show Selection() (selection).
    void viewStateChanged(bool rows, bool topRow, bool selection);

protected:
    GridListModel(int columns, QObject* parent);

    virtual int entryCount() const = 0;
    virtual QString entryCell(int index, int col) const = 0;

    // After one entry was appended; dropped: the oldest entry gave way, so
    // every row shown moved up by one.
    void entryAppended(bool dropped);
    // Clears the entries inside a model reset; the header row goes with them.
    template <typename ClearEntries>
    void clearEntries(ClearEntries clear) {
        beginResetModel();
        clear();
        resetDone();
    }

private:
    void resetDone();
    void schedule();

    int m_columns;
    bool m_header = true;
    int m_announced = 0;  // entries the views know of
    int m_topRow = 1;
    TGridRect m_selection{};
    bool m_flushPosted = false;
    bool m_moved = false;  // entries moved up since the last flush
    bool m_rowsDirty = false;
    bool m_topDirty = false;
    bool m_selectionDirty = false;
};

}  // namespace tivaro
