#include "UnitMain/string_grid.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QScrollBar>
#include <algorithm>
#include <set>

GridTableModel::GridTableModel(const GridState& state, CellText cellText, QObject* parent)
    : QAbstractTableModel(parent),
      m_state(state),
      m_cellText(std::move(cellText)),
      m_rows(state.RowCount()) {}

int GridTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int GridTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_state.ColCount();
}

QVariant GridTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return m_cellText(index.column(), index.row());
    if (role == Qt::BackgroundRole && index.row() < m_state.FixedRows())
        return QPalette().brush(QPalette::Button);  // the grey header row of a grid not yet reset
    return {};
}

Qt::ItemFlags GridTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.row() < m_state.FixedRows()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void GridTableModel::AppendRows(int newCount) {
    if (newCount <= m_rows) return Reset();
    beginInsertRows({}, m_rows, newCount - 1);
    m_rows = newCount;
    endInsertRows();
}

void GridTableModel::Reset() {
    beginResetModel();
    m_rows = m_state.RowCount();
    endResetModel();
}

void GridTableModel::RowsChanged(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, m_rows - 1);
    if (first > last) return;
    emit dataChanged(index(first, 0), index(last, m_state.ColCount() - 1), {Qt::DisplayRole});
}

StringGrid::StringGrid(QWidget* parent) : QTableView(parent) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(16);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);  // a long text runs to the cell's edge and is cut there, no "..."
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAutoScroll(false);  // selecting never scrolls by itself
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    // Tab and Shift+Tab go on to the window's next control, as in any dialog;
    // the arrow keys move between cells.
    setTabKeyNavigation(false);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (m_state && !m_applying) m_state->ScrolledByUser(value);
    });
}

StringGrid::~StringGrid() { Detach(); }

void StringGrid::Attach(GridState& state, GridTableModel::CellText cellText, bool wholeRows) {
    Detach();
    m_state = &state;
    m_model = new GridTableModel(state, std::move(cellText), this);
    QItemSelectionModel* old = selectionModel();
    setModel(m_model);
    delete old;
    setSelectionBehavior(wholeRows ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    state.SetObserver(this);
    m_topDirty = m_selectionDirty = true;
    Flush();
}

void StringGrid::Detach() {
    if (m_state) m_state->SetObserver(nullptr);
    m_state = nullptr;
}

QPoint StringGrid::CellAt(const QPoint& pos) const {
    const int col = columnAt(pos.x());
    const int row = rowAt(pos.y());
    if (col < 0 || row < 0) return {-1, -1};
    return {col, row};
}

void StringGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    emit mouseReleased(event->position().toPoint());
}

void StringGrid::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        // The view's own copy would take the current cell only.
        const QString text = SelectedRowsText();
        if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

QString StringGrid::SelectedRowsText() const {
    if (!m_model) return {};
    std::set<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection())  // ranges, not a million indexes
        for (int row = range.top(); row <= range.bottom(); ++row) rows.insert(row);
    QString text;
    QStringList cells;
    for (const int row : rows) {
        cells.clear();
        bool blank = true;
        for (int col = 0; col < m_model->columnCount(); ++col) {
            cells << m_model->index(row, col).data().toString();
            blank = blank && cells.back().isEmpty();
        }
        if (blank) continue;  // every entry has a text; only the blank row has none
        text += cells.join(u'\t');
        text += u'\n';
    }
    return text;
}

void StringGrid::schedule() {
    if (m_flushPosted) return;
    // Marked only once posted: a post that finds no memory must not stop
    // every later one.
    QMetaObject::invokeMethod(this, &StringGrid::Flush, Qt::QueuedConnection);
    m_flushPosted = true;
}

void StringGrid::RowsAppended(int, int) {
    m_rowsDirty = true;
    schedule();
}

void StringGrid::RowsReset() {
    m_reset = true;
    m_changedFirst = m_changedLast = -1;
    schedule();
}

void StringGrid::RowChanged(int row) {
    m_changedFirst = m_changedFirst < 0 ? row : std::min(m_changedFirst, row);
    m_changedLast = std::max(m_changedLast, row);
    schedule();
}

void StringGrid::TopRowChanged(int) {
    m_topDirty = true;
    schedule();
}

void StringGrid::SelectionChanged() {
    m_selectionDirty = true;
    schedule();
}

void StringGrid::Flush() {
    m_flushPosted = false;
    if (!m_state || !m_model) return;
    m_applying = true;
    const bool rowsChanged = m_reset || m_rowsDirty;
    if (m_reset) {
        m_model->Reset();
    } else if (m_rowsDirty) {
        m_model->AppendRows(m_state->RowCount());
    }
    if (m_changedFirst >= 0) {
        m_model->RowsChanged(m_changedFirst, m_changedLast);
    }
    // The view lays out new rows lazily; the scroll range must know them now.
    if (rowsChanged || m_topDirty) updateGeometries();
    // Appending alone keeps the place the user scrolled to.
    if (m_reset || m_topDirty) verticalScrollBar()->setValue(m_state->TopRow());
    if (m_reset || m_selectionDirty) {
        QItemSelectionModel* selection = selectionModel();
        if (!m_state->HasVisibleSelection()) {
            selection->clearSelection();
        } else {
            const TGridRect& r = m_state->Selection();
            const QModelIndex topLeft = m_model->index(std::min(r.Top, r.Bottom), std::min(r.Left, r.Right));
            const QModelIndex bottomRight =
                m_model->index(std::max(r.Top, r.Bottom), std::max(r.Left, r.Right));
            QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
            if (selectionBehavior() == QAbstractItemView::SelectRows) flags |= QItemSelectionModel::Rows;
            selection->select(QItemSelection(topLeft, bottomRight), flags);
        }
    }
    m_reset = m_rowsDirty = m_topDirty = m_selectionDirty = false;
    m_changedFirst = m_changedLast = -1;
    m_applying = false;
}
