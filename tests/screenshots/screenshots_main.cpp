// vireon-screenshots: draws the desktop program's windows on the offscreen
// platform and saves them as PNG pictures, one scene after another.
//   vireon-screenshots OUTPUT_FOLDER EXAMPLES_FOLDER [SCENE ...]
//   vireon-screenshots --list
// Exit status: 0 every scene saved its pictures, 1 a scene failed, 2 bad
// arguments.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "scenes.h"

namespace vireon::screenshots {
namespace {

// How often the guard looks for a modal dialog.
constexpr int kGuardIntervalMs = 20;
// The pause between two rounds of events while a scene waits.
constexpr unsigned long kWaitPauseUs = 200;
// The title bar drawn above a window's picture.
constexpr int kTitleBarPadding = 5;
const QColor kTitleBarColour(0x3c, 0x4a, 0x5c);

// Closes or hands on every modal dialog that opens (see scenes.h).
class DialogGuard {
 public:
  DialogGuard() {
    timer_.setInterval(kGuardIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
    timer_.start();
  }

  void Expect(DialogHandler handler) { handlers_.push_back(std::move(handler)); }

  // The dialogs closed unannounced since the last call.
  int TakeUnexpected() {
    const int count = unexpected_;
    unexpected_ = 0;
    handlers_.clear();
    return count;
  }

 private:
  void Check() {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || busy_) return;
    busy_ = true;
    if (!handlers_.empty()) {
      DialogHandler handler = std::move(handlers_.front());
      handlers_.pop_front();
      handler(*dialog);
    } else {
      QString text = dialog->windowTitle();
      if (auto* box = qobject_cast<QMessageBox*>(dialog)) text += ": " + box->text();
      std::fprintf(stderr, "closed a dialog nobody expected: %s\n",
                   text.simplified().toLocal8Bit().constData());
      ++unexpected_;
      CloseDialog(*dialog);
    }
    busy_ = false;
  }

  QTimer timer_;
  std::deque<DialogHandler> handlers_;
  int unexpected_ = 0;
  bool busy_ = false;
};

DialogGuard* guard = nullptr;

// The offscreen platform draws no window frames: a window's picture gets a
// plain title bar with its title, so that the pictures say which window
// they show.
QPixmap WithTitleBar(QWidget& widget) {
  const QPixmap content = widget.grab();
  if (!widget.isWindow() || widget.windowTitle().isEmpty()) return content;
  QString title = widget.windowTitle();
  title.replace("[*]", widget.isWindowModified() ? "*" : "");
  const int height = widget.fontMetrics().height() + kTitleBarPadding * 2;
  QPixmap picture(content.width(), content.height() + height);
  picture.setDevicePixelRatio(content.devicePixelRatio());
  picture.fill(kTitleBarColour);
  QPainter painter(&picture);
  painter.setFont(widget.font());
  painter.setPen(Qt::white);
  painter.drawText(QRect(kTitleBarPadding * 2, 0, content.width(), height),
                   Qt::AlignVCenter | Qt::AlignLeft, title);
  painter.drawPixmap(0, height, content);
  return picture;
}

}  // namespace

std::vector<Scene>& Scenes() {
  static std::vector<Scene> scenes;
  return scenes;
}

bool Save(const SceneContext& context, QWidget& widget, const QString& name) {
  QApplication::processEvents();
  const QString path = QString::fromStdString((context.output / name.toStdString()).string()) + ".png";
  const bool saved = WithTitleBar(widget).save(path, "PNG");
  std::printf("%s %s\n", saved ? "saved" : "FAILED", path.toLocal8Bit().constData());
  std::fflush(stdout);
  return saved;
}

bool ProcessEventsUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < limitMs) {
    QApplication::processEvents();
    if (done()) return true;
    QThread::usleep(kWaitPauseUs);
  }
  std::fprintf(stderr, "gave up waiting after %d ms\n", limitMs);
  return false;
}

void DriveNextDialog(DialogHandler handler) {
  guard->Expect(std::move(handler));
}

void CloseDialog(QWidget& dialog) {
  if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
    QAbstractButton* button = box->escapeButton();
    if (button == nullptr) button = box->defaultButton();
    if (button != nullptr) {
      button->click();
      return;
    }
  }
  if (auto* modal = qobject_cast<QDialog*>(&dialog)) {
    modal->reject();
  } else {
    dialog.close();
  }
}

namespace {

// A dark palette of the kind dark desktop schemes give.
QPalette DarkPalette() {
  QPalette palette;
  const QColor window(0x2d, 0x2f, 0x33), base(0x1e, 0x1f, 0x22), text(0xe6, 0xe6, 0xe6);
  const QColor disabled(0x80, 0x80, 0x80);
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, window);
  palette.setColor(QPalette::ToolTipBase, base);
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, window);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::BrightText, Qt::red);
  palette.setColor(QPalette::Link, QColor(0x6a, 0xb0, 0xff));
  palette.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xd6));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::PlaceholderText, disabled);
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text,
                                         QPalette::ButtonText}) {
    palette.setColor(QPalette::Disabled, role, disabled);
  }
  return palette;
}

}  // namespace
}  // namespace vireon::screenshots

int main(int argc, char* argv[]) {
  using namespace vireon::screenshots;
  if (argc == 2 && std::string(argv[1]) == "--list") {
    for (const Scene& scene : Scenes()) std::printf("%s\n", scene.name);
    return 0;
  }
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: vireon-screenshots OUTPUT_FOLDER EXAMPLES_FOLDER [SCENE ...]\n"
                 "       vireon-screenshots --list\n");
    return 2;
  }
  for (int k = 3; k < argc; ++k) {
    bool known = false;
    for (const Scene& scene : Scenes()) known = known || std::string(argv[k]) == scene.name;
    if (!known) {
      std::fprintf(stderr, "no scene named %s (--list shows them)\n", argv[k]);
      return 2;
    }
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  // VIREON_SCREENSHOT_THEME=dark draws every scene in Fusion with a dark
  // palette, as on a desktop with a dark colour scheme.
  if (const char* theme = std::getenv("VIREON_SCREENSHOT_THEME");
      theme != nullptr && std::string(theme) == "dark") {
    QApplication::setStyle("Fusion");
    QApplication::setPalette(DarkPalette());
  }
  DialogGuard dialogGuard;
  guard = &dialogGuard;
  QTemporaryDir scratch(QDir::tempPath() + "/vireon-screenshots-XXXXXX");
  if (!scratch.isValid()) {
    std::fprintf(stderr, "cannot make a scratch folder: %s\n",
                 scratch.errorString().toLocal8Bit().constData());
    return 1;
  }
  SceneContext context;
  context.output = std::filesystem::absolute(argv[1]);
  context.examples = std::filesystem::absolute(argv[2]);
  std::filesystem::create_directories(context.output);
  int failed = 0;
  for (const Scene& scene : Scenes()) {
    bool wanted = argc == 3;
    for (int k = 3; k < argc; ++k) wanted = wanted || std::string(argv[k]) == scene.name;
    if (!wanted) continue;
    std::printf("scene %s\n", scene.name);
    std::fflush(stdout);
    context.work = std::filesystem::path(scratch.path().toStdString()) / scene.name;
    std::filesystem::create_directories(context.work);
    const bool done = scene.run(context);
    QApplication::processEvents();
    const int unexpected = dialogGuard.TakeUnexpected();
    if (!done || unexpected > 0) {
      std::fprintf(stderr, "scene %s failed\n", scene.name);
      ++failed;
    }
  }
  guard = nullptr;
  return failed == 0 ? 0 : 1;
}
