#include "shell/qt/play_list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

namespace kelvo {

namespace {
constexpr int kPathColumn = 1;
}

PlayListView::PlayListView(QWidget* parent) : QTableView(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setTabKeyNavigation(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setShowGrid(true);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setAcceptDrops(false);
  viewport()->setAcceptDrops(false);
  setFocusPolicy(Qt::StrongFocus);

  horizontalHeader()->hide();
  verticalHeader()->hide();
  // Every row has the same height: no row is ever measured, so a long list
  // costs nothing to lay out.
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setMinimumSectionSize(1);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void PlayListView::keyboardSearch(const QString&) {
  // Typed letters are the player's commands or nothing; never a search.
}

void PlayListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  // Only the rows scroll; the mark column always stays in view.
  if (!index.isValid()) return;
  QTableView::scrollTo(index.sibling(index.row(), 0), hint);
}

QModelIndex PlayListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  const QModelIndex current = currentIndex();
  const int rows = model() ? model()->rowCount() : 0;
  if (rows == 0) return QTableView::moveCursor(action, modifiers);
  switch (action) {
    case MoveHome:
      return model()->index(0, kPathColumn);
    case MoveEnd:
      return model()->index(rows - 1, kPathColumn);
    case MoveLeft:
    case MoveRight:
    case MoveNext:
    case MovePrevious:
      // Whole rows are selected: sideways there is nowhere to go.
      return current.isValid() ? current.sibling(current.row(), kPathColumn) : current;
    default: {
      const QModelIndex next = QTableView::moveCursor(action, modifiers);
      return next.isValid() ? next.sibling(next.row(), kPathColumn) : next;
    }
  }
}

void PlayListView::updateGeometries() {
  QTableView::updateGeometries();
  // No sideways scrolling: the path column is cut at the right edge.
  horizontalScrollBar()->setRange(0, 0);
}

int PlayListView::WholeRowsShown() const {
  const int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
  const int fit = viewport()->height() / rowHeight;
  const int rows = model() ? model()->rowCount() : 0;
  const int top = verticalScrollBar()->value();
  return std::max(0, std::min(fit, rows - top));
}

void PlayListView::keyPressEvent(QKeyEvent* event) {
  if (onKeyPress && onKeyPress(event)) {
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void PlayListView::wheelEvent(QWheelEvent* event) {
  if (onWheel) onWheel(event);
  event->accept();
}

int PlayListView::RowAtY(int y) const {
  const int rows = model() ? model()->rowCount() : 0;
  if (rows == 0) return -1;
  const int row = rowAt(y);
  if (row >= 0) return row;
  return y < 0 ? verticalScrollBar()->value() : rows - 1;
}

void PlayListView::mousePressEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && index.isValid() && index.column() == 0) {
    // The mark column is fixed: a press there picks the row up for moving
    // and selects nothing.
    moving_ = true;
    moveFrom_ = moveTarget_ = index.row();
    event->accept();
    return;
  }
  QTableView::mousePressEvent(event);
}

void PlayListView::mouseMoveEvent(QMouseEvent* event) {
  if (!moving_) {
    QTableView::mouseMoveEvent(event);
    return;
  }
  const int y = event->position().toPoint().y();
  // Past an edge the view follows the drag by one row per move.
  if (y < 0) {
    verticalScrollBar()->setValue(verticalScrollBar()->value() - 1);
  } else if (y >= viewport()->height()) {
    verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);
  }
  const int target = RowAtY(std::clamp(y, 0, std::max(0, viewport()->height() - 1)));
  if (target >= 0 && target != moveTarget_) {
    moveTarget_ = target;
    viewport()->update();
  }
  event->accept();
}

void PlayListView::mouseReleaseEvent(QMouseEvent* event) {
  if (!moving_) {
    QTableView::mouseReleaseEvent(event);
    return;
  }
  moving_ = false;
  viewport()->update();
  event->accept();
  const int from = moveFrom_;
  const int to = moveTarget_;
  moveFrom_ = moveTarget_ = -1;
  if (from >= 0 && to >= 0 && from != to && onRowMoved) onRowMoved(from, to);
}

void PlayListView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QTableView::mouseDoubleClickEvent(event);
    return;
  }
  const QModelIndex index = indexAt(event->position().toPoint());
  if (index.isValid() && index.column() == 0) {
    // A double click on the fixed column selects nothing, as a press there.
    mousePressEvent(event);
  } else {
    QTableView::mousePressEvent(event);
  }
  event->accept();
  if (onDoubleClick) onDoubleClick();
}

void PlayListView::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  if (!moving_ || moveTarget_ < 0 || moveTarget_ == moveFrom_) return;
  // A line where the row would land: above the target when moving up,
  // below it when moving down.
  const int top = rowViewportPosition(moveTarget_);
  const int y = moveTarget_ < moveFrom_ ? top : top + rowHeight(moveTarget_) - 1;
  QPainter painter(viewport());
  painter.setPen(QPen(palette().color(QPalette::Text), 2));
  painter.drawLine(0, y, viewport()->width(), y);
}

}  // namespace kelvo
