#pragma once
// The application's system menu on this system: the menu of a tray icon,
// holding "再生(&P)" (1984), "次を再生(&F)" (2000), a separator and Close.
// Without a tray the menu still exists and keeps its texts. The icon's
// tooltip is the main window's title as the window shows it.

#include <QIcon>
#include <QMenu>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <exception>
#include <functional>
#include <map>
#include <string>

#include "core/platform.h"

class QAction;
class QSystemTrayIcon;
class QWidget;

namespace kelvo {

class TFileListForm;

class TraySystemMenu : public ISystemMenu {
 public:
  TraySystemMenu();
  ~TraySystemMenu() override;
  TraySystemMenu(const TraySystemMenu&) = delete;
  TraySystemMenu& operator=(const TraySystemMenu&) = delete;

  // The player that receives the commands, and the window that Close closes.
  // From now on the tooltip follows the window's title.
  void Bind(TFileListForm& form, QWidget& window);
  // Commands go nowhere from now on (before the player is destroyed); the
  // tooltip keeps the last title.
  void Unbind() { form_ = nullptr; }
  // Shows the icon in the tray when the desktop has one; false otherwise.
  // `toolTip` is the tooltip while no window is bound: a bound window's
  // title wins.
  bool Show(const QIcon& icon, const QString& toolTip);
  // The tooltip the icon has (or would have, without a tray).
  QString ToolTip() const { return toolTip_; }

  void ModifyItem(unsigned commandId, const std::string& text) override;

  // The text of the item with that command id; empty when there is none.
  std::string ItemText(unsigned commandId) const;
  QAction* Item(unsigned commandId) const;
  QMenu& Menu() { return menu_; }
  // Chooses the item with that id, as the user does.
  void Choose(unsigned commandId);

  // Receives an error that leaves a command (Qt cannot carry it out of its
  // event loop).
  std::function<void(const std::exception&)> onError;

  // The close item's command id (the system's own).
  static constexpr unsigned kCloseCommand = 0xF060;

 private:
  void SetToolTip(const QString& text);
  void FollowTitle();

  QMenu menu_;
  QString toolTip_;
  QMetaObject::Connection titleFollower_;
  std::map<unsigned, QAction*> items_;
  QSystemTrayIcon* tray_ = nullptr;
  TFileListForm* form_ = nullptr;
  QPointer<QWidget> window_;
};

}  // namespace kelvo
