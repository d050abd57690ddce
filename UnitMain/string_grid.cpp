#include "UnitMain/string_grid.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <set>

namespace tivaro {

namespace {

// Paints the model's header row with the button colour, as a grid not yet reset shows it.
class HeaderRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(GridListModel::kHeaderRowRole).toBool())
            option->backgroundBrush = option->palette.brush(QPalette::Button);
    }
};

}  // namespace

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
        if (m_model && !m_applying) m_model->ScrolledByUser(value);
    });
    setItemDelegate(new HeaderRowDelegate(this));
}

void StringGrid::SetGridModel(GridListModel* model, bool wholeRows) {
    disconnect(m_modelConnection);
    m_model = model;
    QItemSelectionModel* old = selectionModel();
    setModel(model);
    delete old;
    setSelectionBehavior(wholeRows ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    m_modelConnection = connect(model, &GridListModel::viewStateChanged, this, &StringGrid::applyViewState);
    applyViewState(true, true, true);
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

void StringGrid::applyViewState(bool rows, bool topRow, bool selection) {
    m_applying = true;
    // The view lays out new rows lazily; the scroll range must know them now.
    if (rows || topRow) updateGeometries();
    // Appending alone keeps the place the user scrolled to.
    if (topRow) verticalScrollBar()->setValue(m_model->TopRow());
    if (selection) {
        QItemSelectionModel* selected = selectionModel();
        if (!m_model->HasVisibleSelection()) {
            selected->clearSelection();
        } else {
            const TGridRect& r = m_model->Selection();
            const QModelIndex topLeft = m_model->index(std::min(r.Top, r.Bottom), std::min(r.Left, r.Right));
            const QModelIndex bottomRight =
                m_model->index(std::max(r.Top, r.Bottom), std::max(r.Left, r.Right));
            QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
            if (selectionBehavior() == QAbstractItemView::SelectRows) flags |= QItemSelectionModel::Rows;
            selected->select(QItemSelection(topLeft, bottomRight), flags);
        }
    }
    m_applying = false;
}

}  // namespace tivaro
