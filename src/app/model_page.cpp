#include "app/model_page.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_startup.h"
#include "app/compartments_dialog.h"
#include "app/events_dialog.h"
#include "app/field_binding.h"
#include "app/functions_dialog.h"
#include "app/global_quantities_dialog.h"
#include "app/kinetic_types_dialog.h"
#include "app/kinetics_dialog.h"
#include "app/links_dialog.h"
#include "app/metabolites_dialog.h"
#include "app/methods_dialog.h"
#include "app/model_edits.h"
#include "app/moieties_dialog.h"
#include "app/qt_message_sink.h"
#include "app/reactions_dialog.h"
#include "app/rules_dialog.h"
#include "app/units_dialog.h"
#include "document/document.h"
#include "document/edit_history.h"
#include "output/output_item_unit.h"

namespace vireon {
namespace {

// The buttons in the order of the page, two rows: the model's records
// first, then what is set around them. Their Alt keys differ from each
// other's, from the title's and comments' and from the menus' (File, Edit,
// Options, Help).
struct PageButton {
  const char* text;
  void (ModelPage::*open)();
};
constexpr PageButton kButtons[] = {
    {"&Reactions", &ModelPage::OpenReactions},
    {"&Kinetics", &ModelPage::OpenKinetics},
    {"Kinetic T&ypes", &ModelPage::OpenKineticTypes},
    {"&Metabolites", &ModelPage::OpenMetabolites},
    {"Mo&ieties", &ModelPage::OpenMoieties},
    {"Com&partments", &ModelPage::OpenCompartments},
    {"&Global Quantities", &ModelPage::OpenGlobalQuantities},
    {"Rule&s", &ModelPage::OpenRules},
    {"E&vents", &ModelPage::OpenEvents},
    {"Metho&ds", &ModelPage::OpenMethods},
    {"&Links", &ModelPage::OpenLinks},
    {"Fu&nctions", &ModelPage::OpenFunctions},
    {"&Units", &ModelPage::OpenUnits},
};
constexpr int kButtonsPerRow = 7;

// The model keeps the comments' line breaks as a carriage return and a line
// feed, as its file holds them; the text box has line feeds alone.
std::string ModelLineBreaks(const QString& boxText) {
  QString text = boxText;
  text.replace("\r\n", "\n");
  text.replace("\n", "\r\n");
  return text.toStdString();
}

QString BoxLineBreaks(const std::string& comments) {
  return ToQString(comments).replace("\r\n", "\n");
}

// "1 step", "2 steps".
QString Count(int n, const char* one, const char* many) {
  return QString("%1 %2").arg(n).arg(n == 1 ? one : many);
}

// The global quantities, rules and events, named only in models that have
// them.
QString Extras(const Model& model) {
  QString text;
  const int quantities = static_cast<int>(model.globalQuantities.size());
  const int rules = static_cast<int>(model.rules.size());
  const int events = static_cast<int>(model.events.size());
  if (quantities > 0) text += ", " + Count(quantities, "global quantity", "global quantities");
  if (rules > 0) text += ", " + Count(rules, "rule", "rules");
  if (events > 0) text += ", " + Count(events, "event", "events");
  return text;
}

QString SummaryLine(const Document& document) {
  const Model& model = document.model;
  return Count(model.nSteps(), "step", "steps") + ", " +
         Count(model.nMetabolites(), "metabolite", "metabolites") +
         QString(" (%1 independent, %2 dependent, %3 fixed), ")
             .arg(model.nIndependent)
             .arg(model.nDependent)
             .arg(model.nFixed) +
         Count(model.nCompartments(), "compartment", "compartments") + ", " +
         Count(model.nMoieties(), "conserved moiety", "conserved moieties") + Extras(model);
}

}  // namespace

QString UnitsLine(const Document& document) {
  const TaskSettings& s = document.settings;
  return ToQString(s.timeUnit + ", " + s.concentrationUnit + ", " + s.concentrationUnit + "/" +
                   s.timeUnit + ", " + s.volumeUnit);
}

ModelPage::ModelPage(Document& document, AppStartup& app, MessageSink& sink, QWidget* parent)
    : QWidget(parent),
      document_(document),
      app_(app),
      sink_(sink),
      show_([](QDialog& dialog) { return dialog.exec() == QDialog::Accepted; }) {
  title_ = new QLineEdit;
  comments_ = new QPlainTextEdit;
  units_ = new QLabel;
  summary_ = new QLabel;
  summary_->setWordWrap(true);

  auto* grid = new QGridLayout;
  for (int i = 0; i < static_cast<int>(std::size(kButtons)); ++i) {
    auto* button = new QPushButton(kButtons[i].text);
    button->setMinimumWidth(120);
    grid->addWidget(button, i / kButtonsPerRow, i % kButtonsPerRow);
    connect(button, &QPushButton::clicked, this, kButtons[i].open);
    buttons_.append(button);
  }
  auto* dialogs = new QGroupBox("Model");
  dialogs->setLayout(grid);

  auto* header = new QFormLayout;
  auto* titleLabel = new QLabel("&Title:");
  titleLabel->setBuddy(title_);
  header->addRow(titleLabel, title_);
  header->addRow("Units:", units_);
  header->addRow("Contents:", summary_);
  auto* commentsLabel = new QLabel("&Comments:");
  commentsLabel->setBuddy(comments_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(header);
  layout->addWidget(commentsLabel);
  layout->addWidget(comments_, 1);
  layout->addWidget(dialogs);

  BindField(title_, {[this](const QString& text) {
                       const std::string title = text.toStdString();
                       if (title == document_.model.title) return true;
                       document_.model.title = title;
                       MarkEdited();
                       return true;
                     },
                     [this] { return ToQString(document_.model.title); },
                     {}});
  connect(comments_, &QPlainTextEdit::textChanged, this, [this] {
    const std::string comments = ModelLineBreaks(comments_->toPlainText());
    if (comments == document_.model.comments) return;
    document_.model.comments = comments;
    MarkEdited();
  });
  Refresh();
}

QPushButton* ModelPage::button(const QString& text) const {
  for (QPushButton* b : buttons_) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

void ModelPage::Refresh() {
  title_->setText(ToQString(document_.model.title));
  const QString comments = BoxLineBreaks(document_.model.comments);
  if (comments_->toPlainText() != comments) comments_->setPlainText(comments);
  units_->setText(UnitsLine(document_));
  summary_->setText(SummaryLine(document_));
}

void ModelPage::MarkEdited() {
  document_.modified = true;
  emit documentEdited();
}

void ModelPage::DocumentChangedByDialog(const char* edit) {
  // Items that name a quantity the change removed go.
  CommitModelChange(document_);
  Refresh();
  emit modelChanged(edit);
}

void ModelPage::OpenReactions() {
  ReactionsDialog dialog(document_, app_.catalogue, app_.defaults.kineticConstant,
                         app_.defaults.concentration, sink_, this);
  if (show_(dialog)) DocumentChangedByDialog("Reactions");
}

void ModelPage::OpenKinetics() {
  KineticsDialog dialog(document_, app_, sink_, this);
  if (show_(dialog)) DocumentChangedByDialog("Kinetics");
}

void ModelPage::OpenKineticTypes() {
  KineticTypesDialog dialog(app_.catalogue, document_.model, app_.defaults.kineticConstant, sink_,
                            this);
  show_(dialog);
  // Whatever way the list was left, its changes are in the catalogue and
  // the model's steps are bound to types that exist.
  if (dialog.changed()) DocumentChangedByDialog("Kinetic Types");
}

void ModelPage::OpenMetabolites() {
  MetabolitesDialog dialog(document_, sink_, this);
  if (show_(dialog)) DocumentChangedByDialog("Metabolites");
}

void ModelPage::OpenMoieties() {
  MoietiesDialog dialog(document_.model, this);
  show_(dialog);
}

void ModelPage::OpenCompartments() {
  CompartmentsDialog dialog(document_.model, sink_, this);
  dialog.SetVolumeUnit(UnitText(QuantityKind::kVolume, UnitsOf(document_.settings)));
  if (show_(dialog)) DocumentChangedByDialog("Compartments");
}

void ModelPage::OpenGlobalQuantities() {
  GlobalQuantitiesDialog dialog(document_.model, sink_, this);
  if (show_(dialog)) DocumentChangedByDialog("Global Quantities");
}

void ModelPage::OpenRules() {
  RulesDialog dialog(document_.model, sink_, this);
  if (show_(dialog)) DocumentChangedByDialog("Rules");
}

void ModelPage::OpenEvents() {
  EventsDialog dialog(document_.model, sink_, this);
  if (show_(dialog)) DocumentChangedByDialog("Events");
}

void ModelPage::OpenMethods() {
  MethodsDialog dialog(document_.settings, sink_, this);
  if (show_(dialog)) DocumentChangedByDialog("Numerical Methods");
}

void ModelPage::OpenLinks() {
  LinksDialog dialog(document_, sink_, this);
  show_(dialog);
  if (dialog.editor().modified()) DocumentChangedByDialog("Links");
}

void ModelPage::OpenFunctions() {
  FunctionsDialog dialog(document_.functions, document_.model, sink_, this);
  show_(dialog);
  if (dialog.editor().modified()) DocumentChangedByDialog("Functions");
}

void ModelPage::OpenUnits() {
  UnitsDialog dialog(document_.settings, sink_, this);
  if (show_(dialog)) DocumentChangedByDialog("Units");
}

}  // namespace vireon
