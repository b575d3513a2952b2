// kelvo: the play-list player's program entry.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "playback/gst/gst_media_device.h"
#include "settings/qt/qsettings_registry.h"
#include "shell/file_list_form.h"
#include "shell/qt/main_window.h"
#include "shell/qt/mpris.h"
#include "shell/qt/qt_event_loop.h"
#include "shell/qt/qt_file_dialogs.h"
#include "shell/qt/svg_icons.h"
#include "shell/qt/tray_system_menu.h"

namespace {

// SIGTERM, SIGINT and SIGHUP (the terminal or the session went away) reach the event loop through
// this pair of sockets, so that the window closes as it does from its close box and the settings
// are written.
int signalSockets[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(signalSockets[0], &byte, 1);
}

bool CatchTerminationSignals() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) return false;
  ::fcntl(signalSockets[0], F_SETFL, O_NONBLOCK);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
         ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGHUP, &action, nullptr) == 0;
}

std::int64_t NowNs() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Prints "kelvo-timing: mapped NS" at the window's first expose and
// "kelvo-timing: ready NS" when the loop first runs idle.
void ReportTimes(QWidget& window) {
  struct ExposeWatch : QObject {
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Expose && !seen) {
        seen = true;
        std::fprintf(stderr, "kelvo-timing: mapped %lld\n", static_cast<long long>(NowNs()));
      }
      return false;
    }
    bool seen = false;
  };
  if (QWindow* handle = window.windowHandle()) handle->installEventFilter(new ExposeWatch);
  QTimer::singleShot(0, &window, [] {
    std::fprintf(stderr, "kelvo-timing: ready %lld\n", static_cast<long long>(NowNs()));
  });
}

}  // namespace

int main(int argc, char* argv[]) {
  // The play-list files named on the command line, as the bytes given; or,
  // after --add (a file manager's "open with"), media files to add.
  std::vector<std::string> args;
  std::vector<std::string> added;
  const bool adding = argc > 1 && std::string(argv[1]) == "--add";
  for (int i = adding ? 2 : 1; i < argc; ++i) {
    if (!adding) {
      args.emplace_back(argv[i]);
      continue;
    }
    // Absolute, for a player that runs in another folder.
    std::string path = argv[i];
    if (!path.empty() && path[0] != '/') {
      std::vector<char> cwd(4096);
      if (::getcwd(cwd.data(), cwd.size()) != nullptr) path = std::string(cwd.data()) + "/" + path;
    }
    added.push_back(std::move(path));
  }

  // Qt is given the program's name only: every argument is a play-list
  // file, also one that looks like an option of Qt's.
  int qtArgc = 1;
  // Set by a termination signal; outlives everything that reads it.
  bool terminated = false;
  QApplication app(qtArgc, argv);
  QApplication::setOrganizationName(QStringLiteral("Tessen"));
  QApplication::setApplicationName(QStringLiteral("kelvo"));
  // One player in a session: files to add go to the one that runs.
  if (adding && kelvo::AddFilesToRunningKelvo(added)) return 0;
  QApplication::setWindowIcon(kelvo::ProgramIcon());
  QApplication::setFont(kelvo::MainWindow::WindowFont());
  kelvo::InstallJapaneseQtTranslation();

  kelvo::QtEventLoop loop;
  kelvo::MainWindow window;
  // Without a sound output the player still runs, silently, on a fake sink,
  // and says so: on standard error, and in the window, once, when the
  // first file is opened (GStreamer is not loaded before that).
  auto deviceOptions = kelvo::GstMediaDevice::Options::FromEnvironment();
  deviceOptions.probeOutput = true;
  kelvo::TFileListForm* shownForm = nullptr;
  deviceOptions.onNoOutput = [&window, &shownForm] {
    if (shownForm != nullptr)
      shownForm->DisplayHint("音声の出力先がないため、音を出さずに再生しています。");
    QTimer::singleShot(0, &window, [&window] {
      window.MessageBox(
          "音声の出力先が見つからないため、音を出さずに再生します。\n"
          "サウンドサーバー（PipeWire や PulseAudio）が動いているか、サウンドカードが"
          "使えるかを確かめてから、もう一度起動してください。"
          "環境変数 KELVO_AUDIO_SINK で出力先を指定することもできます"
          "（例: KELVO_AUDIO_SINK=pulsesink）。",
          "オーディオ再生", kelvo::MB_OK | kelvo::MB_ICONINFORMATION);
    });
  };
  kelvo::GstMediaDevice device(loop, deviceOptions);
  kelvo::TraySystemMenu menu;
  kelvo::QtFileDialogs dialogs(&window);
  {
    // The desktop's media controls follow what the window shows.
    kelvo::MprisObservingView view(window);
    kelvo::TFileListForm form(view, loop, device, menu, dialogs, kelvo::QSettingsRegistryFactory());
    shownForm = &form;
    window.Attach(form);
    kelvo::MprisService mpris(
        form,
        [&window] {
          window.showNormal();
          window.raise();
          window.activateWindow();
        },
        [&window] { window.close(); });
    view.SetService(&mpris);
    mpris.Register();  // no session bus: no outside control, nothing else changes
    menu.Bind(form, window);
    menu.onError = [&window](const std::exception& error) { window.ShowException(error); };
    loop.SetErrorHandler([&window](const std::exception& error) { window.ShowException(error); });
    menu.Show(kelvo::ProgramIcon(), QStringLiteral("オーディオ再生"));

    // A termination signal closes the window as its close box does; once it
    // is closed the program ends, also from inside a box of the start-up.
    if (CatchTerminationSignals()) {
      auto* notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, &app);
      QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, &terminated] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalSockets[1], &byte, 1);
        if (terminated || !window.close()) return;
        terminated = true;
        QApplication::exit(0);
      });
    }

    form.FormCreate(args);
    if (!added.empty()) form.Handle([&] { form.AddFiles(added); });
    if (!terminated) {
      window.show();
      // For the start-up benchmarks: the wall-clock times (ns since the
      // epoch) when the window is first exposed on the screen and when the
      // loop first runs idle; and an end at that first idle moment.
      if (std::getenv("KELVO_TIMING") != nullptr) ReportTimes(window);
      if (std::getenv("KELVO_QUIT_WHEN_IDLE") != nullptr)
        QTimer::singleShot(0, &app, [] { QApplication::exit(0); });
      QApplication::exec();
    }

    // Nothing reaches the player once it is gone.
    view.SetService(nullptr);
    loop.SetErrorHandler(nullptr);
    menu.onError = nullptr;
    menu.Unbind();
    window.Detach();
    shownForm = nullptr;
  }
  return 0;
}
