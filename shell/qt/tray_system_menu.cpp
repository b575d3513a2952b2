#include "shell/qt/tray_system_menu.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QSystemTrayIcon>
#include <QWidget>

#include "shell/file_list_form.h"

namespace kelvo {

TraySystemMenu::TraySystemMenu() {
  menu_.setObjectName(QStringLiteral("SystemMenu"));
  const auto add = [this](unsigned id, const char* text) {
    QAction* action = menu_.addAction(QString::fromUtf8(text));
    QObject::connect(action, &QAction::triggered, &menu_, [this, id] { Choose(id); });
    items_[id] = action;
  };
  add(SC_PLAYSTOP, "再生(&P)");
  add(SC_PLAYNEXT, "次を再生(&F)");
  menu_.addSeparator();
  add(kCloseCommand, "閉じる(&C)");
}

TraySystemMenu::~TraySystemMenu() {
  delete tray_;
}

void TraySystemMenu::Bind(TFileListForm& form, QWidget& window) {
  form_ = &form;
  window_ = &window;
  QObject::disconnect(titleFollower_);
  titleFollower_ =
      QObject::connect(&window, &QWidget::windowTitleChanged, &menu_, [this] { FollowTitle(); });
  FollowTitle();
}

void TraySystemMenu::FollowTitle() {
  // The window shows the player's title as it stands (its own title text is
  // escaped for Qt), so the tooltip takes the player's.
  if (form_ == nullptr) return;
  SetToolTip(QFile::decodeName(QByteArray::fromStdString(form_->Title)));
}

void TraySystemMenu::SetToolTip(const QString& text) {
  toolTip_ = text;
  if (tray_ != nullptr) tray_->setToolTip(toolTip_);
}

bool TraySystemMenu::Show(const QIcon& icon, const QString& toolTip) {
  if (form_ == nullptr) toolTip_ = toolTip;
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
  if (tray_ == nullptr) {
    tray_ = new QSystemTrayIcon();
    tray_->setContextMenu(&menu_);
    // A click on the icon brings the window back, as the task-bar button does.
    QObject::connect(tray_, &QSystemTrayIcon::activated, &menu_,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                       if (reason != QSystemTrayIcon::Trigger || window_.isNull()) return;
                       if (window_->isMinimized()) window_->showNormal();
                       window_->raise();
                       window_->activateWindow();
                     });
  }
  tray_->setIcon(icon);
  tray_->setToolTip(toolTip_);
  tray_->show();
  return true;
}

void TraySystemMenu::ModifyItem(unsigned commandId, const std::string& text) {
  if (QAction* item = Item(commandId)) item->setText(QString::fromUtf8(text));
}

std::string TraySystemMenu::ItemText(unsigned commandId) const {
  const QAction* item = Item(commandId);
  return item != nullptr ? item->text().toStdString() : std::string();
}

QAction* TraySystemMenu::Item(unsigned commandId) const {
  const auto it = items_.find(commandId);
  return it == items_.end() ? nullptr : it->second;
}

void TraySystemMenu::Choose(unsigned commandId) {
  // Every command goes through the player's hook first; what it leaves
  // (Close) is done as the system does it.
  try {
    if (form_ != nullptr && form_->AppWndProc(WM_SYSCOMMAND, commandId)) return;
  } catch (const std::exception& error) {
    if (onError) onError(error);
    return;
  }
  if (commandId == kCloseCommand && !window_.isNull()) window_->close();
}

}  // namespace kelvo
