#pragma once
// The "About Vireon" box: the lines of document/about_lines.h for the
// model's folder, and a disclaimer.

#include <QDialog>
#include <string>
#include <vector>

namespace vireon {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  // `folder` is the model's folder (the working folder for a new model).
  explicit AboutDialog(const std::string& folder, QWidget* parent = nullptr);

  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

}  // namespace vireon
