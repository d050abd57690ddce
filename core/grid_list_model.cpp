#include "core/grid_list_model.h"

#include <QCoreApplication>

namespace tivaro {

GridListModel::GridListModel(int columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(columns) {}

int GridListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : GridRows{m_announced, m_header}.Count();
}

int GridListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_columns; }

QVariant GridListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.model() != this) return {};
    const GridRows announced{m_announced, m_header};
    if (role == kHeaderRowRole) return index.row() < announced.FixedRows();
    if (role != Qt::DisplayRole) return {};
    const int entry = announced.EntryAt(index.row());
    return entry < 0 ? QString() : entryCell(entry, index.column());
}

Qt::ItemFlags GridListModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || index.row() < (m_header ? 1 : 0)) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QString GridListModel::CellText(int col, int row) const {
    const int entry = Rows().EntryAt(row);
    if (col < 0 || col >= m_columns || entry < 0) return {};
    return entryCell(entry, col);
}

void GridListModel::ResetRows() {
    beginResetModel();
    resetDone();
}

void GridListModel::resetDone() {
    m_header = false;
    m_announced = entryCount();
    m_moved = false;
    endResetModel();
    m_topRow = ClampTopRow(m_topRow, Rows());
    m_rowsDirty = m_topDirty = m_selectionDirty = true;
    schedule();
}

void GridListModel::SetTopRow(int topRow) {
    topRow = ClampTopRow(topRow, Rows());
    if (topRow == m_topRow) return;
    m_topRow = topRow;
    m_topDirty = true;
    schedule();
}

void GridListModel::SetSelection(const TGridRect& rect) {
    m_selection = rect;
    m_selectionDirty = true;
    schedule();
}

void GridListModel::entryAppended(bool dropped) {
    m_moved = m_moved || dropped;
    m_rowsDirty = true;
    schedule();
}

void GridListModel::schedule() {
    if (m_flushPosted) return;
    // Without an application there is no event loop and no view to tell:
    // what changed waits for an explicit Flush().
    if (!QCoreApplication::instance()) return;
    // Marked only once posted: a post that finds no memory must not stop
    // every later one.
    QMetaObject::invokeMethod(this, &GridListModel::Flush, Qt::QueuedConnection);
    m_flushPosted = true;
}

void GridListModel::Flush() {
    m_flushPosted = false;
    const int fixed = m_header ? 1 : 0;
    if (m_moved && m_announced > 0)
        emit dataChanged(index(fixed, 0), index(fixed + m_announced - 1, m_columns - 1), {Qt::DisplayRole});
    const int entries = entryCount();
    if (entries > m_announced) {
        beginInsertRows({}, fixed + m_announced, fixed + entries - 1);
        m_announced = entries;
        endInsertRows();
    }
    const bool rows = m_rowsDirty, topRow = m_topDirty, selection = m_selectionDirty;
    m_moved = m_rowsDirty = m_topDirty = m_selectionDirty = false;
    if (rows || topRow || selection) emit viewStateChanged(rows, topRow, selection);
}

}  // namespace tivaro
