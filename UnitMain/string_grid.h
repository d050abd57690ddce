#pragma once
// A string grid view over one of the manager window's list models: it shows
// the model's rows as they are announced (at most once per turn of the event
// loop), paints the header row grey, and scrolls to the model's top row and
// selects its selection whenever the model asks. Texts are shown unchanged
// and clipped at the cell's edge. Tab leaves the grid for the window's next
// control; Ctrl+C copies the selected rows as tab-separated text. Reports
// mouse releases with the point. UI thread only.

#include <QPointer>
#include <QTableView>

#include "core/grid_list_model.h"

namespace tivaro {

class StringGrid : public QTableView {
    Q_OBJECT
public:
    explicit StringGrid(QWidget* parent = nullptr);

    // Shows model from now on. The model is not owned; the grid lets go of it
    // when it is destroyed first.
    void SetGridModel(GridListModel* model, bool wholeRows);

    // The cell under a point of the viewport: (-1, -1) outside every cell.
    QPoint CellAt(const QPoint& pos) const;

    // Every row that holds a selected cell, top to bottom, all columns joined
    // by tabs, each row ended by a line break; the blank last row is left out.
    QString SelectedRowsText() const;

signals:
    void mouseReleased(const QPoint& pos);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyViewState(bool rows, bool topRow, bool selection);

    QPointer<GridListModel> m_model;
    QMetaObject::Connection m_modelConnection;
    bool m_applying = false;  // the view is being set from the model
};

}  // namespace tivaro
