#include "shell/qt/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <limits>

#include "shell/qt/play_list_table_model.h"
#include "shell/qt/play_list_view.h"
#include "shell/qt/svg_icons.h"

namespace kelvo {

namespace {

constexpr int kToolBarHeight = 31;
constexpr int kButtonWidth = 25;
constexpr int kButtonHeight = 24;
constexpr int kSeparatorWidth = 8;
constexpr int kPanelHeight = 40;
constexpr int kListNameLeft = 120;  // the list-file name's place while the count leaves room
constexpr int kLabelGap = 6;        // between the count text and the list-file name
constexpr int kStatusLineHeight = 21;
constexpr int kMarkColumnWidth = 18;
constexpr int kPathColumnWidth = 1024;
constexpr int kFontPixels = 12;
constexpr int kWheelDelta = 120;  // one notch of a wheel
constexpr const char* kHintProperty = "kelvoHint";

// Texts of the player: UTF-8 of our own, or bytes of the file system that
// the file system's decoding shows (the two agree on this system).
QString Text(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// A window title that shows as it stands: Qt takes "[*]" in a title for the
// place of its modified mark and drops it; doubled, it shows once (a file
// may be named so).
QString TitleText(const std::string& bytes) {
  QString title = Text(bytes);
  title.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
  return title;
}

// A tooltip that shows its text as it stands, also when it looks like markup.
QString PlainToolTip(const QString& text) {
  if (!Qt::mightBeRichText(text)) return text;
  return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
         QStringLiteral("</p>");
}

// The toolbar: buttons at fixed places, with a border line above and below.
class ToolBarFrame : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QPalette& colours = palette();
    const int w = width();
    const int h = height();
    painter.setPen(colours.color(QPalette::Dark));
    painter.drawLine(0, 0, w, 0);
    painter.drawLine(0, h - 2, w, h - 2);
    painter.setPen(colours.color(QPalette::Light));
    painter.drawLine(0, 1, w, 1);
    painter.drawLine(0, h - 1, w, h - 1);
  }
};

// The local files of a drag, as the file system's bytes; empty when none.
std::vector<std::string> LocalFileNames(const QMimeData* mime) {
  std::vector<std::string> names;
  if (mime == nullptr || !mime->hasUrls()) return names;
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) continue;
    // Decoded from the URL's own percent-encoding, so that a name that is
    // not valid UTF-8 keeps its bytes.
    const QByteArray path =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!path.isEmpty()) names.push_back(path.toStdString());
  }
  return names;
}

// The names of one drop, released by the player when it is done with them.
class DropHandle : public IDropHandle {
 public:
  explicit DropHandle(std::vector<std::string> names) : names_(std::move(names)) {}
  int Count() const override { return static_cast<int>(names_.size()); }
  std::string Name(int index) const override {
    if (index < 0 || index >= Count()) return {};
    return names_[static_cast<std::size_t>(index)];
  }
  void Finish() override { names_.clear(); }

 private:
  std::vector<std::string> names_;
};

// Sets a flag for the life of a scope.
class Flag {
 public:
  explicit Flag(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
  ~Flag() { flag_ = before_; }
  Flag(const Flag&) = delete;
  Flag& operator=(const Flag&) = delete;

 private:
  bool& flag_;
  bool before_;
};

}  // namespace

// ---------------------------------------------------------------- building

struct MainWindow::MenuItemDef {
  const char* name;  // "-" for a separator
  const char* caption;
  const char* hint;
  std::function<void(TFileListForm&)> handler;
};

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("FileListForm"));
  setFont(WindowFont());
  setWindowTitle(QStringLiteral("オーディオ再生"));
  setWindowIcon(ProgramIcon());
  setAcceptDrops(false);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* bar = new ToolBarFrame(central);
  bar->setObjectName(QStringLiteral("ToolBar"));
  bar->setFixedHeight(kToolBarHeight);
  BuildToolBar(bar);
  layout->addWidget(bar);

  auto* panel = new QWidget(central);
  panel->setObjectName(QStringLiteral("PanelTop"));
  panel->setFixedHeight(kPanelHeight);
  BuildPanel(panel);
  layout->addWidget(panel);

  rows_ = new PlayListTableModel(this);
  playList_ = new PlayListView(central);
  BuildPlayList();
  layout->addWidget(playList_, 1);
  setCentralWidget(central);

  auto* status = new QStatusBar(this);
  status->setObjectName(QStringLiteral("StatusLine"));
  status->setFixedHeight(kStatusLineHeight);
  setStatusBar(status);

  BuildMenus();

  // The design size is that of the client area, below the menu bar; no
  // window is larger than the screen.
  resize(QSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height())
             .boundedTo(MaximumOuterSize()));
  playList_->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() {
  if (hintsInstalled_) qApp->removeEventFilter(this);
  Detach();
}

QFont MainWindow::WindowFont() {
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                    QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                    QStringLiteral("VL PGothic"), QStringLiteral("TakaoPGothic")});
  font.setPixelSize(kFontPixels);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

void MainWindow::BuildMenus() {
  const auto option = [this](void (TFileListForm::*click)()) {
    return [click](TFileListForm& form) { (form.*click)(); };
  };
  struct MenuDef {
    const char* name;
    const char* caption;
    std::vector<MenuItemDef> items;
  };
  const std::vector<MenuDef> menus{
      {"FileMenu",
       "ファイル(&F)",
       {
           {"OpenMenu", "開く(&O)...", "演奏リストを読み込みます。",
            [](TFileListForm& f) { f.OpenMenuClick(); }},
           {"SaveMenu", "上書き保存(&S)", "演奏リストを保存します。",
            [](TFileListForm& f) { f.SaveMenuClick(); }},
           {"SaveAsMenu", "名前を付けて保存(&A)...", "演奏リストを別名で保存します。",
            [](TFileListForm& f) { f.SaveAsMenuClick(); }},
           {"N1", "-", "", nullptr},
           {"AddMenu", "追加(&I)...", "演奏リストに追加するファイルを選択します。",
            [](TFileListForm& f) { f.ButtonAddClick(); }},
           {"ClearMenu", "演奏リストをクリア(&D)", "演奏リストを空にします。",
            [](TFileListForm& f) { f.ClearMenuClick(); }},
           {"N2", "-", "", nullptr},
           {"ExitMenu", "終了(&X)", "プログラムを終了します。",
            [](TFileListForm& f) { f.ButtonQuitClick(); }},
       }},
      {"PlayMenu",
       "演奏(&P)",
       {
           {"PlayStartMenu", "再生(&P)", "再生を開始します。",
            [](TFileListForm& f) { f.ButtonPlayClick(); }},
           {"PlayStopMenu", "停止(&S)", "再生を停止します。",
            [](TFileListForm& f) { f.ButtonStopClick(); }},
           {"PlayNextMenu", "次を再生(&T)", "次の曲を再生します。",
            [](TFileListForm& f) { f.ButtonPlayNextClick(); }},
       }},
      {"OptionMenu",
       "オプション(&O)",
       {
           {"RandomMenu", "ランダム(&A)", "シャッフル再生をON/OFFします。",
            option(&TFileListForm::RandomMenuClick)},
           {"RepeatMenu", "リピート(&R)", "繰り返し再生をON/OFFします。",
            option(&TFileListForm::RepeatMenuClick)},
           {"StatusBarMenu", "ステータスバーを表示(&S)",
            "ステータスバーの表示/非表示を切り替えます。",
            option(&TFileListForm::StatusBarMenuClick)},
           {"WindowPosMenu", "ウインドウ位置を保存(&W)",
            "終了時にウインドウ位置を保存するか指定します。",
            option(&TFileListForm::WindowPosMenuClick)},
           {"InsertModeMenu", "曲追加はその場に挿入(&I)",
            "リストの最後に追加するか、その場に挿入するかを選択します。",
            option(&TFileListForm::InsertModeMenuClick)},
       }},
      {"HelpMenu",
       "ヘルプ(&H)",
       {
           {"AboutMenu", "このプログラムについて(&A)...", "",
            [](TFileListForm& f) { f.AboutMenuClick(); }},
       }},
  };
  const QStringList optionNames{"RandomMenu", "RepeatMenu", "StatusBarMenu", "WindowPosMenu",
                                "InsertModeMenu"};

  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  for (const MenuDef& def : menus) {
    QMenu* menu = bar->addMenu(QString::fromUtf8(def.caption));
    menu->setObjectName(QString::fromUtf8(def.name));
    menu->setFont(font());
    menu->setToolTipsVisible(false);
    menu->menuAction()->setObjectName(QString::fromUtf8(def.name));
    menuItems_[QString::fromUtf8(def.name)] = menu->menuAction();
    // A menu's title has no hint.
    connect(menu->menuAction(), &QAction::hovered, this, [this] { SetHint(QString()); });
    // A closed menu leaves no hint behind; the next pointer move brings one.
    connect(menu, &QMenu::aboutToHide, this, [this] { SetHint(QString()); });
    for (const MenuItemDef& item : def.items) {
      const QString name = QString::fromUtf8(item.name);
      QAction* action = nullptr;
      if (QString::fromUtf8(item.caption) == QLatin1String("-")) {
        action = menu->addSeparator();
      } else {
        action = menu->addAction(QString::fromUtf8(item.caption));
        const auto handler = item.handler;
        const bool isOption = optionNames.contains(name);
        action->setCheckable(isOption);
        connect(action, &QAction::triggered, this, [this, handler, isOption] {
          Run(handler);
          // The check marks are the player's: whatever Qt toggled, show those.
          if (isOption) ShowOptions();
        });
      }
      action->setObjectName(name);
      menuItems_[name] = action;
      // The highlighted item's hint goes to the status line.
      const QString hint = QString::fromUtf8(item.hint);
      connect(action, &QAction::hovered, this, [this, hint] { SetHint(hint); });
    }
  }
  ShowOptions();
}

void MainWindow::BuildToolBar(QWidget* bar) {
  struct ButtonDef {
    const char* name;
    int left;
    int image;  // -1: a separator
    const char* hint;
    std::function<void(TFileListForm&)> handler;
  };
  const std::vector<ButtonDef> buttons{
      {"ButtonLoad", 4, 10, "演奏リストを読み込みます(O)。",
       [](TFileListForm& f) { f.OpenMenuClick(); }},
      {"ToolButton1", 29, -1, "", nullptr},
      {"ButtonAdd", 37, 5, "演奏リストに追加するファイルを選択します(A)。",
       [](TFileListForm& f) { f.ButtonAddClick(); }},
      {"ButtonRemove", 62, 6, "選択されている曲を演奏リストからはずします(D)。",
       [](TFileListForm& f) { f.ButtonRemoveClick(); }},
      {"ButtonUp", 87, 7, "選択されている曲を、1行上に移動します(B)。",
       [](TFileListForm& f) { f.ButtonUpClick(); }},
      {"ButtonDown", 112, 8, "選択されている曲を、1行下に移動します(N)。",
       [](TFileListForm& f) { f.ButtonDownClick(); }},
      {"ToolButton2", 137, -1, "", nullptr},
      {"ButtonQuit", 145, 12, "プログラムを終了します。",
       [](TFileListForm& f) { f.ButtonQuitClick(); }},
      {"ToolButton3", 170, -1, "", nullptr},
      {"ButtonPlay", 178, 0, "再生を開始します(P)。",
       [](TFileListForm& f) { f.ButtonPlayClick(); }},
      {"ButtonStop", 203, 1, "再生を停止します(S)。",
       [](TFileListForm& f) { f.ButtonStopClick(); }},
      {"ButtonPlayNext", 228, 4, "次の曲を再生します(T)。",
       [](TFileListForm& f) { f.ButtonPlayNextClick(); }},
  };
  // Buttons sit below the upper border line.
  constexpr int top = 2;
  for (const ButtonDef& def : buttons) {
    const QString name = QString::fromUtf8(def.name);
    if (def.image < 0) {
      auto* gap = new QWidget(bar);
      gap->setObjectName(name);
      gap->setGeometry(def.left, top, kSeparatorWidth, kButtonHeight);
      continue;
    }
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setGeometry(def.left, top, kButtonWidth, kButtonHeight);
    button->setIcon(ToolbarImage(def.image));
    button->setIconSize(QSize(kToolbarImageSize, kToolbarImageSize));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setAutoRaise(false);
    // Only the grid takes the keyboard focus; the keys keep working there.
    button->setFocusPolicy(Qt::NoFocus);
    const QString hint = QString::fromUtf8(def.hint);
    button->setToolTip(hint);
    button->setProperty(kHintProperty, hint);
    button->setProperty("imageIndex", def.image);
    const auto handler = def.handler;
    connect(button, &QToolButton::clicked, this, [this, handler] { Run(handler); });
    buttons_[name] = button;
  }
}

void MainWindow::BuildPanel(QWidget* panel) {
  struct LabelDef {
    const char* name;
    int left;
    int top;
    const char* caption;
  };
  const std::vector<LabelDef> labels{
      {"Label1", 4, 20, "演奏リスト:"},
      {"PlayStatus", 4, 4, "演奏停止:"},
      {"CurrentFileName", 68, 4, "演奏中のファイル名"},
      {"NumberofList", 68, 20, "0 曲"},
      {"Nameoflist", kListNameLeft, 20, "リストファイル名"},
  };
  for (const LabelDef& def : labels) {
    auto* label = new QLabel(panel);
    const QString name = QString::fromUtf8(def.name);
    label->setObjectName(name);
    // Names of files are shown as they are, never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    label->setFocusPolicy(Qt::NoFocus);
    label->move(def.left, def.top);
    label->setText(QString::fromUtf8(def.caption));
    label->adjustSize();
    labels_[name] = label;
  }
  LayOutListLabels();
}

void MainWindow::BuildPlayList() {
  playList_->setObjectName(QStringLiteral("PlayList"));
  playList_->setModel(rows_);
  playList_->horizontalHeader()->resizeSection(PlayListTableModel::kMarkColumn, kMarkColumnWidth);
  playList_->horizontalHeader()->resizeSection(PlayListTableModel::kPathColumn, kPathColumnWidth);
  playList_->verticalHeader()->setDefaultSectionSize(18);  // until the start-up sets the font's
  playList_->viewport()->installEventFilter(this);

  playList_->onKeyPress = [this](QKeyEvent* event) { return PlayListKey(event); };
  playList_->onWheel = [this](QWheelEvent* event) { Wheel(event); };
  playList_->onDoubleClick = [this] { Run([](TFileListForm& f) { f.PlayListDblClick(); }); };
  playList_->onRowMoved = [this](int from, int to) {
    Run([from, to](TFileListForm& f) { f.PlayListRowMoved(from, to); });
  };

  // A reset that the table does on its own (see PlayListTableModel::Flush)
  // forgets the view's selection and scroll position: the player's stand.
  connect(rows_, &QAbstractItemModel::modelReset, this, [this] {
    if (syncing_ || form_ == nullptr) return;
    playList_->doItemsLayout();
    ShowTopRow();
    ShowSelectedRow(false);
  });

  QItemSelectionModel* selection = playList_->selectionModel();
  connect(selection, &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (syncing_ || form_ == nullptr || !current.isValid()) return;
            form_->PlayList.SetRow(current.row());
          });
  connect(selection, &QItemSelectionModel::selectionChanged, this, [this] {
    // One row is always selected; the grid never lets it go.
    if (syncing_ || form_ == nullptr) return;
    if (!playList_->selectionModel()->hasSelection()) ShowSelectedRow(false);
  });
  connect(playList_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (syncing_ || form_ == nullptr) return;
    form_->PlayList.SetTopRow(value);
    UpdateVisibleRowCount();
  });
}

// ---------------------------------------------------------------- the player

void MainWindow::Attach(TFileListForm& form) {
  Detach();
  form_ = &form;
  rows_->SetSource(&form.PlayList);
  form.PlayList.SetListener([this](const ListChange& change) { OnListChange(change); });
  ShowAll();
  ShowSelectedRow(false);
  ShowTopRow();

  // The smallest size is the player's to say.
  TMinMaxInfo info;
  TMessage message{WM_GETMINMAXINFO, 0, reinterpret_cast<std::intptr_t>(&info), 0};
  if (Run([&](TFileListForm& f) { f.Dispatch(message); })) {
    minimumOuter_ = QSize(info.MinTrackWidth, info.MinTrackHeight);
  }
  UpdateFrame();
  Flag guard(resizing_);
  setMinimumSize((minimumOuter_ - frameExtra_).expandedTo(QSize(1, 1)));
}

void MainWindow::Detach() {
  if (form_ == nullptr) return;
  form_->PlayList.SetListener(nullptr);
  form_ = nullptr;
  rows_->SetSource(nullptr);
}

bool MainWindow::Run(const std::function<void(TFileListForm&)>& handler) {
  if (form_ == nullptr || !handler) return false;
  // Qt cannot carry an error out of an event handler: it is shown here, as
  // the player shows the errors that leave its handlers.
  try {
    handler(*form_);
    return true;
  } catch (const std::exception& error) {
    ShowException(error);
  }
  return false;
}

void MainWindow::ShowException(const std::exception& error) {
  const std::string caption = form_ != nullptr ? form_->Title : std::string("オーディオ再生");
  MessageBox(error.what(), caption, MB_OK | MB_ICONSTOP);
}

void MainWindow::ShowAll() {
  if (form_ == nullptr) return;
  for (const FormElement element :
       {FormElement::PlayStatus, FormElement::CurrentFileName, FormElement::NumberofList,
        FormElement::Nameoflist, FormElement::Title, FormElement::Options,
        FormElement::StatusLine}) {
    Changed(element);
  }
}

void MainWindow::ShowLabel(const QString& name, const TLabel& source) {
  QLabel* label = Label(name);
  if (label == nullptr) return;
  label->setText(Text(source.Caption));
  const QString hint = Text(source.Hint);
  label->setToolTip(PlainToolTip(hint));
  label->setProperty(kHintProperty, hint);
  label->adjustSize();
  if (name == QLatin1String("NumberofList") || name == QLatin1String("Nameoflist"))
    LayOutListLabels();
}

void MainWindow::LayOutListLabels() {
  QLabel* count = Label(QStringLiteral("NumberofList"));
  QLabel* name = Label(QStringLiteral("Nameoflist"));
  if (count == nullptr || name == nullptr) return;
  // From 10 000 entries on the count text reaches the name's design place:
  // the name then begins a gap after the count's real text.
  const int afterCount = count->x() + count->width() + kLabelGap;
  name->move(std::max(kListNameLeft, afterCount), name->y());
}

void MainWindow::ShowOptions() {
  if (form_ == nullptr) {
    // Before the player is there, the items show the window's design.
    const std::map<QString, bool> design{{"RandomMenu", true},
                                         {"RepeatMenu", true},
                                         {"StatusBarMenu", true},
                                         {"WindowPosMenu", true},
                                         {"InsertModeMenu", false}};
    for (const auto& [name, checked] : design) {
      if (QAction* item = MenuItem(name)) item->setChecked(checked);
    }
    return;
  }
  const std::vector<std::pair<const char*, bool>> checks{
      {"RandomMenu", form_->RandomMenu.Checked},
      {"RepeatMenu", form_->RepeatMenu.Checked},
      {"StatusBarMenu", form_->StatusBarMenu.Checked},
      {"WindowPosMenu", form_->WindowPosMenu.Checked},
      {"InsertModeMenu", form_->InsertModeMenu.Checked},
  };
  for (const auto& [name, checked] : checks) {
    if (QAction* item = MenuItem(QString::fromUtf8(name))) item->setChecked(checked);
  }
}

void MainWindow::Changed(FormElement element) {
  if (form_ == nullptr) return;
  switch (element) {
    case FormElement::PlayStatus:
      ShowLabel(QStringLiteral("PlayStatus"), form_->PlayStatus);
      break;
    case FormElement::CurrentFileName:
      ShowLabel(QStringLiteral("CurrentFileName"), form_->CurrentFileName);
      break;
    case FormElement::NumberofList:
      ShowLabel(QStringLiteral("NumberofList"), form_->NumberofList);
      break;
    case FormElement::Nameoflist:
      ShowLabel(QStringLiteral("Nameoflist"), form_->Nameoflist);
      break;
    case FormElement::Title:
      setWindowTitle(TitleText(form_->Title));
      break;
    case FormElement::Options:
      ShowOptions();
      break;
    case FormElement::StatusLine:
      statusBar()->showMessage(Text(form_->StatusLineText));
      break;
  }
}

int MainWindow::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  QMessageBox box(this);
  box.setFont(font());
  box.setWindowTitle(TitleText(caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(Text(text));
  switch (flags & 0xF0u) {
    case MB_ICONSTOP:
      box.setIcon(QMessageBox::Critical);
      break;
    case 0x20u:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONEXCLAMATION:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  QPushButton* cancel = nullptr;
  if ((flags & 0x0Fu) == MB_OKCANCEL) {
    cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
  }
  box.setDefaultButton(ok);
  // Escape and the close box answer Cancel where there is one, else OK.
  box.setEscapeButton(cancel != nullptr ? cancel : ok);
  box.exec();
  return cancel != nullptr && box.clickedButton() == cancel ? IDCANCEL : IDOK;
}

void MainWindow::FocusPlayList() {
  playList_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::SetStatusBarVisible(bool visible) {
  statusBar()->setVisible(visible);
}

int MainWindow::ScreenWidth() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry().width() : 0;
}

int MainWindow::ScreenHeight() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry().height() : 0;
}

TWindowPlacement MainWindow::Placement() const {
  // What the window really is, frame included, whatever was asked of it.
  const QRect frame = frameGeometry();
  const QSize size =
      minimumOuter_.isValid() ? frame.size().expandedTo(minimumOuter_) : frame.size();
  TWindowPlacement placement;
  placement.Top = frame.top();
  placement.Left = frame.left();
  placement.Height = size.height();
  placement.Width = size.width();
  return placement;
}

void MainWindow::SetPlacement(const TWindowPlacement& placement) {
  // Only what changes is applied: a stored Left alone leaves the size as
  // it is, also before the frame is known.
  const TWindowPlacement current = Placement();
  // A top-level window's position is that of its frame.
  if (placement.Left != current.Left || placement.Top != current.Top)
    move(placement.Left, placement.Top);
  if (placement.Height != current.Height) askedOuterHeight_ = placement.Height;
  if (placement.Width != current.Width) askedOuterWidth_ = placement.Width;
  ApplyOuterSize();
}

QSize MainWindow::MaximumOuterSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  return screen->availableGeometry().size();
}

QSize MainWindow::FittedOuterSize(QSize outer) const {
  // A window is never larger than the screen it is made for; the smallest
  // size wins on a screen smaller still.
  outer = outer.boundedTo(MaximumOuterSize());
  if (minimumOuter_.isValid()) outer = outer.expandedTo(minimumOuter_);
  return outer;
}

QSize MainWindow::FrameExtra() const {
  return (frameGeometry().size() - geometry().size()).expandedTo(QSize(0, 0));
}

void MainWindow::ApplyOuterSize() {
  if (!askedOuterWidth_ && !askedOuterHeight_) return;
  const QSize extra = FrameExtra();
  QSize outer = frameGeometry().size();
  if (askedOuterWidth_) outer.setWidth(*askedOuterWidth_);
  if (askedOuterHeight_) outer.setHeight(*askedOuterHeight_);
  // Fitted before the frame is taken off, so that no stored value overflows.
  const QSize client = (FittedOuterSize(outer) - extra).expandedTo(QSize(1, 1));
  if (client == size()) return;
  Flag guard(resizing_);
  resize(client);
}

void MainWindow::UpdateFrame() {
  const QSize extra = FrameExtra();
  if (extra == frameExtra_) return;
  frameExtra_ = extra;
  // The frame became known (or changed): the smallest size and an outer size
  // asked for counted it as zero until now.
  if (minimumOuter_.isValid() && !minimumOuter_.isEmpty()) {
    Flag guard(resizing_);
    setMinimumSize((minimumOuter_ - frameExtra_).expandedTo(QSize(1, 1)));
  }
  ApplyOuterSize();
}

int MainWindow::PlayListFontHeight() const {
  const int pixels = playList_->font().pixelSize();
  return pixels > 0 ? -pixels : -kFontPixels;
}

void MainWindow::SetDefaultRowHeight(int pixels) {
  if (pixels <= 0) return;
  playList_->verticalHeader()->setDefaultSectionSize(pixels);
  playList_->doItemsLayout();
  UpdateVisibleRowCount();
}

unsigned MainWindow::RegisterWindowMessage(const std::string& name) {
  // Ids of registered messages lie from 0xC000 on; one name keeps its id.
  const auto it = registered_.find(name);
  if (it != registered_.end()) return it->second;
  const unsigned id = 0xC000u + static_cast<unsigned>(registered_.size());
  registered_[name] = id;
  return id;
}

void MainWindow::DragAcceptFiles(bool accept) {
  setAcceptDrops(accept);
}

void MainWindow::InstallHintHandler() {
  if (hintsInstalled_) return;
  hintsInstalled_ = true;
  qApp->installEventFilter(this);
}

void MainWindow::Close() {
  close();
}

// ---------------------------------------------------------------- parts

QAction* MainWindow::MenuItem(const QString& name) const {
  const auto it = menuItems_.find(name);
  return it == menuItems_.end() ? nullptr : it->second;
}

QToolButton* MainWindow::ToolButton(const QString& name) const {
  const auto it = buttons_.find(name);
  return it == buttons_.end() ? nullptr : it->second;
}

QLabel* MainWindow::Label(const QString& name) const {
  const auto it = labels_.find(name);
  return it == labels_.end() ? nullptr : it->second;
}

QString MainWindow::StatusText() const {
  return statusBar()->currentMessage();
}

// ---------------------------------------------------------------- the play list

void MainWindow::OnListChange(const ListChange& change) {
  if (form_ == nullptr) return;
  switch (change.What) {
    case ListChange::Kind::SelectionChanged:
      rows_->Flush();
      ShowSelectedRow(true);
      break;
    case ListChange::Kind::TopRowChanged:
      rows_->Flush();
      ShowTopRow();
      break;
    default: {
      {
        // Qt may move its current row or its scroll position while it
        // follows the rows; the player's selection stands.
        Flag guard(syncing_);
        rows_->Apply(change);
        playList_->doItemsLayout();
      }
      ShowSelectedRow(false);
      break;
    }
  }
}

void MainWindow::ShowSelectedRow(bool scroll) {
  if (form_ == nullptr) return;
  {
    Flag guard(syncing_);
    const QModelIndex index = rows_->index(form_->PlayList.Row(), PlayListTableModel::kPathColumn);
    if (index.isValid()) {
      playList_->selectionModel()->setCurrentIndex(
          index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      // As the grid does, a newly selected row is brought into view.
      if (scroll) playList_->scrollTo(index);
    }
  }
  ReadBackTopRow();
}

void MainWindow::ShowTopRow() {
  if (form_ == nullptr) return;
  {
    Flag guard(syncing_);
    playList_->verticalScrollBar()->setValue(form_->PlayList.TopRow());
  }
  ReadBackTopRow();
}

void MainWindow::ReadBackTopRow() {
  if (form_ == nullptr) return;
  // The view cannot scroll past its last page: the row it really shows on
  // top is the player's top row.
  const int top = playList_->verticalScrollBar()->value();
  UpdateVisibleRowCount();
  if (form_->PlayList.TopRow() != top) form_->PlayList.SetTopRow(top);
}

void MainWindow::UpdateVisibleRowCount() {
  if (form_ == nullptr) return;
  form_->PlayList.SetVisibleRowCount(playList_->WholeRowsShown());
}

bool MainWindow::PlayListKey(QKeyEvent* event) {
  if (form_ == nullptr) return false;
  const int key = event->key();
  if (key == Qt::Key_Delete || key == Qt::Key_Insert) {
    std::uint16_t code = key == Qt::Key_Delete ? VK_DELETE : VK_INSERT;
    Run([&code](TFileListForm& f) { f.PlayListKeyDown(code); });
    return code == 0;
  }
  // Characters typed with Alt belong to the menu bar's letters.
  if (event->modifiers() & (Qt::AltModifier | Qt::MetaModifier)) return false;
  char character = 0;
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    character = '\r';
  } else {
    const QString text = event->text();
    if (text.size() == 1 && text.at(0).unicode() > 0 && text.at(0).unicode() < 0x80) {
      character = static_cast<char>(text.at(0).unicode());
    }
  }
  if (character == 0) return false;
  Run([&character](TFileListForm& f) { f.PlayListKeyPress(character); });
  return character == 0;
}

void MainWindow::Wheel(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) return;
  // Small steps of fine wheels add up to notches; a turn the other way
  // starts afresh.
  if ((delta > 0) != (wheelRest_ > 0)) wheelRest_ = 0;
  wheelRest_ += delta;
  while (wheelRest_ >= kWheelDelta || wheelRest_ <= -kWheelDelta) {
    const int notch = wheelRest_ > 0 ? kWheelDelta : -kWheelDelta;
    wheelRest_ -= notch;
    const auto distance = static_cast<std::uint16_t>(static_cast<std::int16_t>(notch));
    TMessage message{WM_MOUSEWHEEL, static_cast<std::uintptr_t>(distance) << 16, 0, 0};
    if (!Run([&message](TFileListForm& f) { f.Dispatch(message); })) break;
  }
}

// ---------------------------------------------------------------- hints

QString MainWindow::HintOf(const QWidget* widget) const {
  // A control without a hint shows that of the control it lies on.
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    const QVariant hint = w->property(kHintProperty);
    if (hint.isValid()) return hint.toString();
    if (w->isWindow()) break;
  }
  return {};
}

void MainWindow::SetHint(const QString& hint) {
  if (!hintsInstalled_ || hint == currentHint_) return;
  currentHint_ = hint;
  const std::string bytes = hint.toStdString();
  Run([&bytes](TFileListForm& f) { f.DisplayHint(bytes); });
}

// ---------------------------------------------------------------- events

bool MainWindow::event(QEvent* event) {
  // The status line shows the player's hint only, never Qt's status tips.
  if (event->type() == QEvent::StatusTip) return true;
  return QMainWindow::event(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == playList_->viewport() && type == QEvent::Resize) {
    UpdateVisibleRowCount();
  } else if (hintsInstalled_ && (type == QEvent::Enter || type == QEvent::Leave) &&
             watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() == this) {
      if (type == QEvent::Enter) {
        SetHint(HintOf(widget));
      } else {
        // Left for the control below, or out of the window altogether.
        SetHint(widget == this ? QString() : HintOf(widget->parentWidget()));
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (form_ == nullptr) {
    event->accept();
    return;
  }
  bool close = false;
  Run([&close](TFileListForm& f) { close = f.FormClose(); });
  if (close) {
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  UpdateFrame();
  // Shown by the program (not restored from the task bar): the show handler.
  if (!event->spontaneous()) Run([](TFileListForm& f) { f.FormShow(); });
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  UpdateFrame();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // Sized by the user (or the window manager) on the screen: that size
  // stands, and no frame that appears later brings back the one asked for.
  if (!resizing_ && isVisible()) askedOuterWidth_ = askedOuterHeight_ = std::nullopt;
  UpdateFrame();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalFileNames(event->mimeData()).empty()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (!LocalFileNames(event->mimeData()).empty()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> names = LocalFileNames(event->mimeData());
  if (names.empty()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  // The drop is handled as a message of its own once the drag is over, so
  // that the program the files came from is not kept waiting by a box.
  QMetaObject::invokeMethod(
      this, [this, names = std::move(names)]() mutable { Drop(std::move(names)); },
      Qt::QueuedConnection);
}

void MainWindow::Drop(std::vector<std::string> names) {
  DropHandle handle(std::move(names));
  TMessage message{WM_DROPFILES, reinterpret_cast<std::uintptr_t>(&handle), 0, 0};
  Run([&message](TFileListForm& f) { f.Dispatch(message); });
}

void MainWindow::wheelEvent(QWheelEvent* event) {
  // The wheel anywhere on the window scrolls the list.
  Wheel(event);
  event->accept();
}

}  // namespace kelvo
