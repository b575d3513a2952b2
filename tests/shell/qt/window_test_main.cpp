// The window tests run on Qt's offscreen platform unless told otherwise.

#include <gtest/gtest.h>

#include <QApplication>

#include "shell/qt/qt_file_dialogs.h"

namespace {
// The offscreen platform says, for every window, that it cannot pass size
// hints on; that is no news to the tests.
QtMessageHandler qtDefault = nullptr;
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("propagateSizeHints"))) return;
  if (qtDefault != nullptr) qtDefault(type, context, message);
}
}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  qtDefault = qInstallMessageHandler(QuietOffscreen);
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  // As the program does: Qt's own texts in Japanese.
  kelvo::InstallJapaneseQtTranslation();
  return RUN_ALL_TESTS();
}
