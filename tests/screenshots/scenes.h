#pragma once
// The scenes of the screenshot program: each sets up the program's windows
// as a user would and saves pictures of them. Every file of this folder may
// add scenes of its own with a static ScreenshotScene.

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

}  // namespace vireon::screenshots
