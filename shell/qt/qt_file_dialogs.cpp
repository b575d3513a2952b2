#include "shell/qt/qt_file_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <QTreeView>

namespace kelvo {

namespace {
QString Text(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}
std::string Bytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}
}  // namespace

bool InstallJapaneseQtTranslation() {
  // Lives as long as the application.
  static QTranslator* translator = nullptr;
  if (translator != nullptr) return true;
  auto* candidate = new QTranslator(qApp);
  if (!candidate->load(QStringLiteral("qtbase_ja"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete candidate;
    return false;
  }
  QApplication::installTranslator(candidate);
  translator = candidate;
  return true;
}

QStringList QtFileDialogs::NameFilters(const std::vector<TFileFilter>& filters) {
  QStringList result;
  for (const auto& [display, patterns] : filters) {
    QStringList parts = Text(patterns).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& part : parts) {
      part = part.trimmed();
      if (part == QLatin1String("*.*")) part = QStringLiteral("*");
    }
    result << Text(display) + QStringLiteral(" (") + parts.join(QLatin1Char(' ')) +
                  QStringLiteral(")");
  }
  return result;
}

void QtFileDialogs::Prepare(QFileDialog& dialog, const TDialogRequest& request) const {
  // The desktop's own dialog where it offers one (an XDG portal, the
  // platform theme); else Qt's, sized so that its columns can be read.
  dialog.resize(dialog.size().expandedTo(QSize(760, 480)));
  if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    view->header()->setSectionResizeMode(QHeaderView::Interactive);
    view->header()->setStretchLastSection(false);
    view->setColumnWidth(0, 340);
    for (int column = 1; column < view->header()->count(); ++column)
      view->resizeColumnToContents(column);
    view->header()->setMinimumSectionSize(90);
  }
  // The display texts name their patterns already.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setWindowTitle(Text(request.Title));
  if (!request.InitialDir.empty()) dialog.setDirectory(Text(request.InitialDir));
  const QStringList filters = NameFilters(request.Filters);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.front());
  }
  if (!request.DefaultExt.empty()) dialog.setDefaultSuffix(Text(request.DefaultExt));
  if (!request.ProposedName.empty()) dialog.selectFile(Text(request.ProposedName));
}

std::optional<std::vector<std::string>> QtFileDialogs::RunOpen(const TDialogRequest& request) {
  QFileDialog dialog(parent_.data());
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  Prepare(dialog, request);
  if (onShow) onShow(dialog);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> chosen;
  for (const QString& file : dialog.selectedFiles()) chosen.push_back(Bytes(file));
  if (chosen.empty()) return std::nullopt;
  if (!request.MultiSelect) chosen.resize(1);
  return chosen;
}

std::optional<std::string> QtFileDialogs::RunSave(const TDialogRequest& request) {
  QFileDialog dialog(parent_.data());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // An existing file is overwritten without a question.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  Prepare(dialog, request);
  for (;;) {
    if (onShow) onShow(dialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    // A path in a folder that does not exist is refused, and the dialog
    // asks again.
    const QString folder = QFileInfo(files.front()).absolutePath();
    if (QFileInfo(folder).isDir()) return Bytes(files.front());
    QMessageBox::warning(&dialog, dialog.windowTitle(),
                         QStringLiteral("フォルダ[%1]がありません。\n"
                                        "フォルダ名を確かめてください。")
                             .arg(QDir::toNativeSeparators(folder)));
  }
}

}  // namespace kelvo
