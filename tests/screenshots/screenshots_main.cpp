// vireon-screenshots: draws the desktop program's windows on the offscreen
// platform and saves them as PNG pictures, one scene after another.
//   vireon-screenshots OUTPUT_FOLDER EXAMPLES_FOLDER [SCENE ...]

#include <QApplication>
#include <QPixmap>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scenes.h"

namespace vireon::screenshots {

std::vector<Scene>& Scenes() {
  static std::vector<Scene> scenes;
  return scenes;
}

bool Save(const SceneContext& context, QWidget& widget, const QString& name) {
  QApplication::processEvents();
  const QString path = QString::fromStdString((context.output / name.toStdString()).string()) + ".png";
  const bool saved = widget.grab().save(path, "PNG");
  std::printf("%s %s\n", saved ? "saved" : "FAILED", path.toLocal8Bit().constData());
  return saved;
}

}  // namespace vireon::screenshots

int main(int argc, char* argv[]) {
  using namespace vireon::screenshots;
  if (argc < 3) {
    std::fprintf(stderr, "usage: vireon-screenshots OUTPUT_FOLDER EXAMPLES_FOLDER [SCENE ...]\n");
    return 2;
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  SceneContext context;
  context.output = std::filesystem::absolute(argv[1]);
  context.examples = std::filesystem::absolute(argv[2]);
  context.work = context.output / "work";
  std::filesystem::create_directories(context.work);
  int failed = 0;
  for (const Scene& scene : Scenes()) {
    bool wanted = argc == 3;
    for (int k = 3; k < argc; ++k) wanted = wanted || std::string(argv[k]) == scene.name;
    if (!wanted) continue;
    std::printf("scene %s\n", scene.name);
    if (!scene.run(context)) {
      std::fprintf(stderr, "scene %s failed\n", scene.name);
      ++failed;
    }
  }
  std::filesystem::remove_all(context.work);
  return failed == 0 ? 0 : 1;
}
