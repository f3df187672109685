#pragma once
// The scenes of the screenshot program: each sets up the program's windows
// as a user would and saves pictures of them. Every file of this folder may
// add scenes of its own with a static ScreenshotScene.
//
// Nobody sits at the offscreen screen, so a modal dialog would wait for
// ever. A guard looks for one many times a second, also from inside the
// dialog's own event loop: a dialog the scene announced with DriveNextDialog
// goes to the scene's handler; any other is closed as if the user had
// pressed Escape, its text is printed and the scene counts as failed.

#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <vector>

namespace vireon::screenshots {

struct SceneContext {
  std::filesystem::path output;    // where the pictures go
  std::filesystem::path examples;  // the example models
  std::filesystem::path work;      // a scratch folder for models and their files
};

using SceneFunction = std::function<bool(const SceneContext&)>;

struct Scene {
  const char* name;
  SceneFunction run;
};

std::vector<Scene>& Scenes();

// Registers a scene when the program starts.
struct ScreenshotScene {
  ScreenshotScene(const char* name, SceneFunction run) { Scenes().push_back({name, std::move(run)}); }
};

// Saves a picture of the widget as output/name.png; false when it cannot.
bool Save(const SceneContext& context, QWidget& widget, const QString& name);

// The longest a scene waits for one thing (a run to reach a point, a run to
// end) before it gives up.
inline constexpr int kWaitLimitMs = 30000;

// Processes events until done() holds; false when the limit passed first.
bool ProcessEventsUntil(const std::function<bool()>& done, int limitMs = kWaitLimitMs);

// The next modal dialog goes to the handler, which must close it (it may
// save a picture of it first). Handlers are used in the order given.
using DialogHandler = std::function<void(QWidget& dialog)>;
void DriveNextDialog(DialogHandler handler);

// Closes a dialog as Escape would (a message box through its escape or
// default button, any other dialog through reject).
void CloseDialog(QWidget& dialog);

}  // namespace vireon::screenshots
