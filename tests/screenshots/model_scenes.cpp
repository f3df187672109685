// Scenes of the model side: the Model Definition page and every dialog its
// buttons open, the Options menu's dialogs and the About box, on the
// Michaelis-Menten example. Each view is one picture, named after it.

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "app/about_dialog.h"
#include "app/add_on_modules_dialog.h"
#include "app/app_startup.h"
#include "app/compartments_dialog.h"
#include "app/default_values_dialog.h"
#include "app/events_dialog.h"
#include "app/function_dialog.h"
#include "app/functions_dialog.h"
#include "app/global_quantities_dialog.h"
#include "app/help_dialog.h"
#include "app/item_tree_picker.h"
#include "app/kinetic_type_dialog.h"
#include "app/kinetic_types_dialog.h"
#include "app/kinetics_dialog.h"
#include "app/link_dialog.h"
#include "app/links_dialog.h"
#include "app/main_window.h"
#include "app/metabolites_dialog.h"
#include "app/methods_dialog.h"
#include "app/model_page.h"
#include "app/moieties_dialog.h"
#include "app/preferences_dialog.h"
#include "app/reactions_dialog.h"
#include "app/rules_dialog.h"
#include "app/units_dialog.h"
#include "scan/item_trees.h"
#include "scenes.h"

namespace vireon::screenshots {
namespace {

// The size the main window is pictured at.
constexpr int kWindowWidth = 960;
constexpr int kWindowHeight = 660;

// The program on a copy of an example, with settings of its own in the
// scratch folder. Its messages are recorded, never shown: a message box
// would wait for a click nobody gives.
struct ModelProgram {
  explicit ModelProgram(const SceneContext& context, const char* example = "michaelis_menten.vrn") {
    const std::filesystem::path folder = context.work / "model-scenes";
    std::filesystem::create_directories(folder);
    started = StartApplication(app, sink, folder / "vireon.ini", folder / "vireon.kdb");
    app.helpers.gnuplot = "gnuplot";
    window = std::make_unique<MainWindow>(app, sink);
    window->resize(kWindowWidth, kWindowHeight);
    window->show();
    const std::filesystem::path model = folder / example;
    std::filesystem::copy_file(context.examples / example, model,
                               std::filesystem::copy_options::overwrite_existing);
    loaded = started && window->OpenFile(QString::fromStdString(model.string()));
    manual = context.examples.parent_path() / "docs" / "manual.md";
  }

  AppStartup app;
  RecordingSink sink;
  std::unique_ptr<MainWindow> window;
  bool started = false;
  bool loaded = false;
  // The manual's source, beside the examples.
  std::filesystem::path manual;
};

// A user-defined rate law, accepted, with its symbols given their classes.
std::shared_ptr<KineticTypeEditor> ExampleKineticType(const KineticCatalogue& catalogue,
                                                      const std::string& name, MessageSink& sink) {
  auto editor = std::make_shared<KineticTypeEditor>(catalogue);
  editor->SetName(name);
  editor->SetExpression("V*S/(Km*(1+I/Ki)+S)");
  if (editor->AcceptFunction(sink)) {
    for (int s = 0; s < static_cast<int>(editor->symbols().size()); ++s) {
      const std::string& symbol = editor->symbols()[static_cast<std::size_t>(s)].name;
      if (symbol == "S") editor->SetRole(s, SymbolRole::kSubstrate);
      if (symbol == "I") editor->SetRole(s, SymbolRole::kModifier);
    }
  }
  return editor;
}

// One dialog: made by `make` over the program's window, pictured, closed.
struct DialogView {
  const char* name;
  std::function<std::unique_ptr<QDialog>(ModelProgram&)> make;
};

std::vector<DialogView> DialogViews() {
  return {
      {"dialog-reactions",
       [](ModelProgram& p) {
         auto dialog = std::make_unique<ReactionsDialog>(
             p.window->document(), p.app.catalogue, p.app.defaults.kineticConstant,
             p.app.defaults.concentration, p.sink, p.window.get());
         dialog->stepList()->setCurrentRow(1);
         return dialog;
       }},
      {"dialog-kinetics",
       [](ModelProgram& p) {
         auto dialog = std::make_unique<KineticsDialog>(p.window->document(), p.app, p.sink,
                                                        p.window.get());
         dialog->stepList()->setCurrentRow(1);
         return dialog;
       }},
      {"dialog-new-kinetic-type",
       [](ModelProgram& p) {
         auto editor = ExampleKineticType(p.app.catalogue, "Inhibited uptake", p.sink);
         auto dialog =
             std::make_unique<KineticTypeDialog>(*editor, p.sink, nullptr, p.window.get());
         // The dialog refers to the editor: it lives as long as the dialog.
         QObject::connect(dialog.get(), &QObject::destroyed, [editor] {});
         dialog->symbolList()->setCurrentRow(3);
         return dialog;
       }},
      {"dialog-kinetic-types",
       [](ModelProgram& p) {
         // The list shows a type entered in this run's own catalogue.
         ExampleKineticType(p.app.catalogue, "Inhibited Michaelis-Menten", p.sink)
             ->Ok(p.app.catalogue, p.sink);
         std::unique_ptr<QDialog> dialog = std::make_unique<KineticTypesDialog>(
             p.app.catalogue, p.window->document().model, p.app.defaults.kineticConstant, p.sink,
             p.window.get());
         return dialog;
       }},
      {"dialog-metabolites",
       [](ModelProgram& p) {
         return std::make_unique<MetabolitesDialog>(p.window->document(), p.sink, p.window.get());
       }},
      {"dialog-moieties",
       [](ModelProgram& p) {
         return std::make_unique<MoietiesDialog>(p.window->document().model, p.window.get());
       }},
      {"dialog-compartments",
       [](ModelProgram& p) {
         return std::make_unique<CompartmentsDialog>(p.window->document().model, p.sink,
                                                     p.window.get());
       }},
      {"dialog-global-quantities",
       [](ModelProgram& p) {
         auto dialog = std::make_unique<GlobalQuantitiesDialog>(p.window->document().model, p.sink,
                                                                p.window.get());
         dialog->table()->setCurrentCell(1, 1);
         return dialog;
       }},
      {"dialog-rules",
       [](ModelProgram& p) {
         auto dialog =
             std::make_unique<RulesDialog>(p.window->document().model, p.sink, p.window.get());
         dialog->ruleList()->setCurrentItem(dialog->ruleList()->topLevelItem(1));
         return dialog;
       }},
      {"dialog-rules-refused",
       [](ModelProgram& p) {
         // A new rule whose expression names what the model does not have:
         // the field selects the name.
         auto dialog =
             std::make_unique<RulesDialog>(p.window->document().model, p.sink, p.window.get());
         dialog->show();
         dialog->kindField()->setCurrentIndex(dialog->kindField()->findText("Initial assignment"));
         dialog->targetKindField()->setCurrentIndex(
             dialog->targetKindField()->findText("Global quantity"));
         dialog->targetField()->setCurrentIndex(dialog->targetField()->findText("Km"));
         dialog->expressionField()->setText("(kcat + koff)/kon");
         dialog->Add();
         return dialog;
       }},
      {"dialog-events",
       [](ModelProgram& p) {
         auto dialog =
             std::make_unique<EventsDialog>(p.window->document().model, p.sink, p.window.get());
         dialog->eventList()->setCurrentItem(dialog->eventList()->topLevelItem(0));
         return dialog;
       }},
      {"dialog-events-refused",
       [](ModelProgram& p) {
         // A new event whose trigger names what the model does not have:
         // the field selects the name.
         auto dialog =
             std::make_unique<EventsDialog>(p.window->document().model, p.sink, p.window.get());
         dialog->show();
         dialog->nameField()->setText("pulse");
         dialog->triggerField()->setText("gt(time, tpulse)");
         dialog->Add();
         return dialog;
       }},
      {"dialog-numerical-methods",
       [](ModelProgram& p) {
         return std::make_unique<MethodsDialog>(p.window->document().settings, p.sink,
                                                p.window.get());
       }},
      {"dialog-units",
       [](ModelProgram& p) {
         return std::make_unique<UnitsDialog>(p.window->document().settings, p.sink,
                                              p.window.get());
       }},
      {"dialog-parameter-links",
       [](ModelProgram& p) {
         return std::make_unique<LinksDialog>(p.window->document(), p.sink, p.window.get());
       }},
      {"dialog-parameter-link",
       [](ModelProgram& p) {
         auto editor = std::make_shared<ParameterLinkEditor>();
         auto dialog = std::make_unique<LinkDialog>(*editor, p.window->document().model,
                                                    std::vector<std::string>{}, p.sink,
                                                    p.window.get());
         QObject::connect(dialog.get(), &QObject::destroyed, [editor] {});
         dialog->items()->Choose("kinetic constants", "binding(k2)");
         dialog->SetTarget();
         dialog->items()->Choose("kinetic constants", "binding(k1)");
         dialog->SetSource();
         return dialog;
       }},
      {"dialog-functions",
       [](ModelProgram& p) {
         return std::make_unique<FunctionsDialog>(p.window->document().functions,
                                                  p.window->document().model, p.sink,
                                                  p.window.get());
       }},
      {"dialog-new-function",
       [](ModelProgram& p) {
         auto editor = std::make_shared<OutputFunctionEditor>(p.sink);
         editor->SetName("total enzyme");
         editor->SetExpression("e+c");
         editor->Accept();
         auto dialog =
             std::make_unique<FunctionDialog>(*editor, p.window->document().model, p.window.get());
         QObject::connect(dialog.get(), &QObject::destroyed, [editor] {});
         dialog->symbolList()->setCurrentRow(0);
         dialog->items()->Choose("trans./s.s. concentrations", "[E]");
         return dialog;
       }},
      {"dialog-default-values",
       [](ModelProgram& p) {
         return std::make_unique<DefaultValuesDialog>(p.app.defaults, p.sink, p.window.get());
       }},
      {"dialog-preferences",
       [](ModelProgram& p) {
         return std::make_unique<PreferencesDialog>(p.app.preferences, p.window.get());
       }},
      {"dialog-add-on-modules",
       [](ModelProgram& p) {
         return std::make_unique<AddOnModulesDialog>(p.app.helpers, p.window.get());
       }},
      {"dialog-help-search",
       [](ModelProgram& p) -> std::unique_ptr<QDialog> {
         std::string why;
         std::optional<ManualIndex> manual = ReadManual(p.manual, why);
         if (!manual) return std::make_unique<QDialog>(p.window.get());
         auto dialog = std::make_unique<HelpDialog>(std::move(*manual), p.window.get());
         dialog->searchField()->setText("relative tolerance");
         return dialog;
       }},
      {"dialog-about",
       [](ModelProgram& p) {
         return std::make_unique<AboutDialog>(p.window->document().folder, p.window.get());
       }},
  };
}

ScreenshotScene modelPage("model-page", [](const SceneContext& context) {
  ModelProgram program(context);
  if (!program.loaded) return false;
  program.window->sheet()->setCurrentWidget(program.window->modelPage());
  return Save(context, *program.window, "page-model-definition");
});

// Gives the document an output function, the total of the enzyme, and a
// link that ties the dissociation constant to the association constant, so
// that their lists have something to show.
void AddFunctionAndLink(ModelProgram& program) {
  Document& document = program.window->document();
  OutputFunctionEditor function(program.sink);
  function.SetName("total enzyme");
  function.SetExpression("e+c");
  function.Accept();
  for (const auto& [symbol, node, entry] :
       {std::tuple{0, "trans./s.s. concentrations", "[E]"},
        std::tuple{1, "trans./s.s. concentrations", "[ES]"}}) {
    function.SelectSymbol(symbol);
    for (const OutputDataNode& branch : BuildFunctionSymbolTree(document.model)) {
      for (const OutputDataNode& leaf : branch.children) {
        if (leaf.text != node) continue;
        for (const OutputItem& item : leaf.entries) {
          if (item.title == entry) function.Associate(&item);
        }
      }
    }
  }
  if (function.Ok()) {
    if (std::optional<OutputFunction> made = function.TakeFunction()) {
      document.functions.push_back(std::move(*made));
    }
  }
  const std::string functionName = "total enzyme";
  ParameterLinkEditor link;
  for (const OutputDataNode& node :
       BuildLinkItemTree(document.model, std::vector<std::string>{functionName})) {
    for (const OutputItem& item : node.entries) {
      if (item.title == "binding(k2)") link.SetTarget(item);
      if (item.title == "binding(k1)") link.SetSource(item);
    }
  }
  link.SetFactor(0.5);
  if (std::optional<ParameterLink> made = link.Link()) document.links.push_back(*made);
}

// Gives the model global quantities and one rule of each kind, so that the
// dialogs of both have something to show: the catalytic constant tied to a
// quantity, a substrate supply that decays, a Michaelis constant computed
// at time 0, and a cell that grows.
void AddQuantitiesAndRules(ModelProgram& program) {
  Model& model = program.window->document().model;
  model.globalQuantities = {{"kcat", 2.5}, {"Km", 0.0}, {"decay", 0.05}};
  const auto rule = [](RuleKind kind, RuleTargetKind targetKind, const char* target,
                       const char* constant, const char* expression) {
    return Rule{kind, RuleTarget{targetKind, target, constant}, expression};
  };
  model.rules = {
      rule(RuleKind::kAssignment, RuleTargetKind::kKineticConstant, "catalysis", "k", "kcat"),
      rule(RuleKind::kRate, RuleTargetKind::kMetabolite, "Sx", "", "-decay*Sx"),
      rule(RuleKind::kInitialAssignment, RuleTargetKind::kGlobalQuantity, "Km", "", "(1 + kcat)/2"),
      rule(RuleKind::kAssignment, RuleTargetKind::kCompartmentVolume, "cell", "", "1 + 0.01*time"),
  };
}

// Gives the model two events: a refill of the supply when it runs low,
// and, 5 s after time 20, a slower decay and a doubled catalytic constant,
// with a priority.
void AddEvents(ModelProgram& program) {
  Model& model = program.window->document().model;
  Event refill;
  refill.name = "refill";
  refill.trigger = "lt(Sx, 0.5)";
  refill.assignments = {{{RuleTargetKind::kMetabolite, "Sx", {}}, "Sx + 2"}};
  Event boost;
  boost.name = "boost";
  boost.trigger = "geq(time, 20)";
  boost.delay = "5";
  boost.priority = "1";
  boost.persistent = false;
  boost.assignments = {{{RuleTargetKind::kGlobalQuantity, "decay", {}}, "decay/2"},
                       {{RuleTargetKind::kGlobalQuantity, "kcat", {}}, "kcat*2"}};
  model.events = {refill, boost};
}

ScreenshotScene modelDialogs("model-dialogs", [](const SceneContext& context) {
  ModelProgram program(context);
  if (!program.loaded) return false;
  AddFunctionAndLink(program);
  AddQuantitiesAndRules(program);
  AddEvents(program);
  bool saved = true;
  for (const DialogView& view : DialogViews()) {
    std::unique_ptr<QDialog> dialog = view.make(program);
    dialog->show();
    saved = Save(context, *dialog, view.name) && saved;
    dialog->reject();
  }
  return saved;
});

}  // namespace
}  // namespace vireon::screenshots
