#include "shell/qt/qt_file_dialogs.h"

#include <QFile>
#include <QFileDialog>

namespace kelvo {

namespace {
QString Text(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}
std::string Bytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}
}  // namespace

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
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
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
  if (onShow) onShow(dialog);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
  return Bytes(files.front());
}

}  // namespace kelvo
