#pragma once
// The play list's grid: a table that selects whole rows one at a time,
// scrolls only vertically and row by row, never edits, and lets a row be
// dragged to another place by its mark cell. What the keys, the wheel and a
// double click mean is left to the owner through the hooks below.

#include <QTableView>
#include <functional>

namespace kelvo {

class PlayListView : public QTableView {
  Q_OBJECT

 public:
  explicit PlayListView(QWidget* parent = nullptr);

  // A key pressed on the grid; true when it was used up, otherwise the grid
  // handles it as grids do (arrows, Page Up/Down, Home, End).
  std::function<bool(QKeyEvent*)> onKeyPress;
  // A turn of the wheel over the grid; the grid itself never scrolls on it.
  std::function<void(QWheelEvent*)> onWheel;
  std::function<void()> onDoubleClick;
  // A row dragged by its mark cell from one place to another.
  std::function<void(int from, int to)> onRowMoved;

  // The row a mark-cell drag now points at, -1 when no drag runs.
  int MoveTarget() const { return moving_ ? moveTarget_ : -1; }

  // Rows shown whole in the view, counting only rows that exist from `top` on.
  int WholeRowsShown() const;

  void keyboardSearch(const QString& search) override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  void updateGeometries() override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  int RowAtY(int y) const;

  bool moving_ = false;
  int moveFrom_ = -1;
  int moveTarget_ = -1;
};

}  // namespace kelvo
