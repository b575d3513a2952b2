#pragma once
// The player's open and save dialogs as Qt file dialogs. Results are the
// file system's bytes of the chosen paths.

#include <QPointer>
#include <QStringList>
#include <functional>

#include "shell/file_list_form.h"

class QFileDialog;
#include <QWidget>

namespace kelvo {

// Qt's own texts (dialogs, standard buttons) in Japanese, as the player's
// are: Qt's Japanese translation is installed in the application. False
// when it is not found (Debian: qt6-translations-l10n).
bool InstallJapaneseQtTranslation();

class QtFileDialogs : public IFileDialogs {
 public:
  explicit QtFileDialogs(QWidget* parent = nullptr) : parent_(parent) {}

  // The window the dialogs are modal to.
  void SetParent(QWidget* parent) { parent_ = parent; }

  std::optional<std::vector<std::string>> RunOpen(const TDialogRequest& request) override;
  std::optional<std::string> RunSave(const TDialogRequest& request) override;

  // The filters as Qt name filters, in the given order: the display text,
  // then the patterns in parentheses, separated by blanks. "*.*" matches
  // every file, as it does where the filters come from.
  static QStringList NameFilters(const std::vector<TFileFilter>& filters);

  // Called with each dialog, set up, just before it runs (for tests).
  std::function<void(QFileDialog&)> onShow;

 private:
  void Prepare(QFileDialog& dialog, const TDialogRequest& request) const;

  QPointer<QWidget> parent_;
};

}  // namespace kelvo
