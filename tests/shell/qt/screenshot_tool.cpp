// Draws the real main window, with a small play list playing, into a PNG
// file: kelvo_screenshot WINDOW.png [MENU.png]
// The media device is scripted and the settings live in memory, so nothing
// is played and nothing of the user's is read or written.

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "fakes/memory_registry.h"
#include "fakes/scripted_device.h"
#include "fakes/temp_dir.h"
#include "shell/file_list_form.h"
#include "shell/qt/main_window.h"
#include "shell/qt/qt_event_loop.h"

namespace {

class NoDialogs : public kelvo::IFileDialogs {
 public:
  std::optional<std::vector<std::string>> RunOpen(const kelvo::TDialogRequest&) override {
    return std::nullopt;
  }
  std::optional<std::string> RunSave(const kelvo::TDialogRequest&) override { return std::nullopt; }
};

void Settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s WINDOW.png [MENU.png]\n", argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  QApplication::setFont(kelvo::MainWindow::WindowFont());

  kelvo::testing::TempDir dir;
  const std::string music = "/home/user/音楽/";
  const std::string list = dir.Write(
      "お気に入り.ini", "[zododizuza]\r\n" + music + "序曲.mid\r\n" + music + "Canon in D.mid\r\n" +
                            music + "雨の日の午後.wav\r\n" + music + "Gymnopédie No.1.mp3\r\n" +
                            music + "夜想曲 第2番.mid\r\n" + music + "草原のワルツ.wav\r\n");

  kelvo::QtEventLoop loop;
  kelvo::testing::ScriptedDevice device(loop);
  device.lengths[music + "序曲.mid"] = 3 * 60000 + 25000;
  kelvo::testing::FakeSystemMenu menu;
  NoDialogs dialogs;
  auto store = std::make_shared<kelvo::testing::MemoryStore>();
  store->keyExists = true;
  store->values["RandomMenu"] = 0;  // plays the first row

  kelvo::MainWindow window;
  int result = 0;
  {
    kelvo::TFileListForm form(window, loop, device, menu, dialogs,
                              kelvo::testing::MemoryRegistry::Factory(store));
    window.Attach(form);
    form.FormCreate({list});
    form.PlayList.SetMark(0, true);
    form.DisplayHint("再生を開始します(P)。");
    window.show();
    Settle();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
      std::fprintf(stderr, "cannot write %s\n", argv[1]);
      result = 1;
    }
    if (argc > 2) {
      QMenu* options = window.MenuItem(QStringLiteral("OptionMenu"))->menu();
      options->popup(window.mapToGlobal(QPoint(0, window.menuBar()->height())));
      Settle();
      if (!options->grab().save(QString::fromLocal8Bit(argv[2]))) result = 1;
      options->hide();
    }
    window.Detach();
  }
  return result;
}
