#pragma once
// The player's main window: menus, toolbar, the labels of the top panel, the
// play list's grid and the status line. It shows the state that the player
// object holds and forwards every user event to the player's handler of the
// same name; it holds no player logic of its own.

#include <QMainWindow>
#include <QString>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "shell/file_list_form.h"

class QAction;
class QLabel;
class QMenu;
class QToolButton;

namespace kelvo {

class PlayListTableModel;
class PlayListView;

class MainWindow : public QMainWindow, public IFormView {
  Q_OBJECT

 public:
  // The window's design size, without the menu bar.
  static constexpr int kClientWidth = 280;
  static constexpr int kClientHeight = 248;

  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The player this window shows and forwards to. The window reads its whole
  // state at once, follows the play list from now on and asks it for the
  // smallest window size. `form` must stay until Detach or the window's end.
  void Attach(TFileListForm& form);
  // Lets go of the player (before it is destroyed): the grid shows no rows,
  // and user events go nowhere.
  void Detach();

  // The window's font: the player's Japanese UI font by family, 12 pixels.
  static QFont WindowFont();

  // Shows an error that left a handler, as the player does: its text in a
  // box with the title as caption and a stop icon.
  void ShowException(const std::exception& error);

  // --- IFormView ---
  void Changed(FormElement element) override;
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  void FocusPlayList() override;
  void SetStatusBarVisible(bool visible) override;
  int ScreenWidth() const override;
  int ScreenHeight() const override;
  TWindowPlacement Placement() const override;
  void SetPlacement(const TWindowPlacement& placement) override;
  int PlayListFontHeight() const override;
  void SetDefaultRowHeight(int pixels) override;
  unsigned RegisterWindowMessage(const std::string& name) override;
  void DragAcceptFiles(bool accept) override;
  void InstallHintHandler() override;
  void Close() override;

  // --- the parts, for the program and its tests ---
  PlayListView* PlayList() const { return playList_; }
  PlayListTableModel* PlayListRows() const { return rows_; }
  // The menu item or toolbar button of that component name, or nullptr.
  QAction* MenuItem(const QString& name) const;
  QToolButton* ToolButton(const QString& name) const;
  QLabel* Label(const QString& name) const;
  QString StatusText() const;
  // The smallest outer size the player asked for.
  QSize MinimumOuterSize() const { return minimumOuter_; }

  // Runs a handler of the player; an error that leaves it is shown in a box.
  // False when there is no player or an error came out.
  bool Run(const std::function<void(TFileListForm&)>& handler);

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  struct MenuItemDef;

  void BuildMenus();
  void BuildToolBar(QWidget* bar);
  void BuildPanel(QWidget* panel);
  void BuildPlayList();

  void ShowLabel(const QString& name, const TLabel& label);
  // The list-file name follows the count text, however wide that grows.
  void LayOutListLabels();
  void ShowOptions();
  void ShowAll();

  // The play list.
  void OnListChange(const ListChange& change);
  void ShowSelectedRow(bool scroll);
  void ShowTopRow();
  void ReadBackTopRow();
  void UpdateVisibleRowCount();
  bool PlayListKey(QKeyEvent* event);
  void Wheel(QWheelEvent* event);

  // Hints.
  void SetHint(const QString& hint);
  QString HintOf(const QWidget* widget) const;

  // Placement and the smallest size, measured with the frame.
  QSize FrameExtra() const;
  void UpdateFrame();
  void ApplyOuterSize();
  // The largest outer size the window is given: the primary screen's
  // available area.
  static QSize MaximumOuterSize();
  // An outer size the window may take: no smaller than the smallest size,
  // no larger than the screen's available area.
  QSize FittedOuterSize(QSize outer) const;

  void Drop(std::vector<std::string> names);

  TFileListForm* form_ = nullptr;
  PlayListView* playList_ = nullptr;
  PlayListTableModel* rows_ = nullptr;
  std::map<QString, QAction*> menuItems_;
  std::map<QString, QToolButton*> buttons_;
  std::map<QString, QLabel*> labels_;

  bool syncing_ = false;
  bool hintsInstalled_ = false;
  QString currentHint_;
  int wheelRest_ = 0;
  QSize frameExtra_;
  QSize minimumOuter_;
  // Outer width and height the player asked for, applied again while the
  // frame around the window changes, until the user sizes the window.
  std::optional<int> askedOuterWidth_;
  std::optional<int> askedOuterHeight_;
  // True while the window resizes itself (not the user).
  bool resizing_ = false;
  std::map<std::string, unsigned> registered_;
};

}  // namespace kelvo
