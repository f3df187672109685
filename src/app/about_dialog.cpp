#include "app/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/qt_message_sink.h"
#include "document/about_lines.h"

namespace vireon {
namespace {

constexpr const char* kDisclaimer =
    "A simulator of biochemical reaction networks.\n"
    "This program comes with no warranty: check its results before you rely on them.";

}  // namespace

AboutDialog::AboutDialog(const std::string& folder, QWidget* parent)
    : QDialog(parent), lines_(AboutLines(PhysicalMemoryKb(), FreeDiskKb(folder), folder)) {
  setWindowTitle("About Vireon");
  auto* layout = new QVBoxLayout(this);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    auto* label = new QLabel(ToQString(lines_[i]));
    if (i == 0) {
      QFont bold = label->font();
      bold.setBold(true);
      label->setFont(bold);
    }
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
  }
  layout->addSpacing(8);
  layout->addWidget(new QLabel(kDisclaimer));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

}  // namespace vireon
