// The Model Definition page's dialogs driven through their widgets, and
// what they change reaching a saved file and a run.

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QThread>

#include "app/app_fixture.h"
#include "app/compartments_dialog.h"
#include "app/function_dialog.h"
#include "app/functions_dialog.h"
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
#include "app/reactions_dialog.h"
#include "app/units_dialog.h"
#include "kinetics/kinetic_type.h"
#include "model/messages.h"
#include "support/document_fixtures.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::AppFixture;

// Safety limit for the event loop while a run goes on (not a timing check).
constexpr int kMaxEventRounds = 200000;
// The tolerance of LSODA's results against a closed form.
constexpr double kRunAbs = 1e-6;
constexpr double kRunRel = 1e-6;

class ModelDialogsTest : public AppFixture {
 protected:
  // Runs the window's document and waits for the run to end.
  static void RunToTheEnd(MainWindow& window) {
    ASSERT_TRUE(window.Run());
    for (int round = 0; round < kMaxEventRounds; ++round) {
      QCoreApplication::processEvents();
      if (!window.controller().IsBusy() && window.statusText() == kStatusIdle) break;
      QThread::usleep(100);
    }
    window.controller().Wait();
    QCoreApplication::processEvents();
  }

  static double ConcentrationOf(const Document& document, const char* name) {
    return document.model.metabolites[static_cast<std::size_t>(document.model.FindMetabolite(name))]
        .concentration;
  }
};

TEST_F(ModelDialogsTest, ATypeMadeInNewKineticTypeIsUsedByAStepAndSurvivesSaveAndReload) {
  const std::string path = PathIn("user type.vrn");
  {
    MainWindow window(app_, sink_);
    AddSteps(window.document(), {{"uptake", "S -> P"}});
    ModelPage& page = *window.modelPage();

    Drive<KineticTypesDialog>(page, [](KineticTypesDialog& list) {
      list.SetShowTypeDialog([](KineticTypeDialog& type) {
        type.show();
        Type(type.nameField(), "Saturable uptake");
        Type(type.functionField(), "Vmax*S/");
        QTest::keyClick(type.functionField(), Qt::Key_Return);  // typed over two lines
        QTest::keyClicks(type.functionField(), "(K+S)");
        QTest::mouseClick(type.functionButton(), Qt::LeftButton);
        EXPECT_EQ(type.functionButton()->text(), "&Edit function");
        EXPECT_EQ(type.symbolList()->count(), 3);  // Vmax, S, K
        type.symbolList()->setCurrentRow(1);
        QTest::mouseClick(type.roleButton(SymbolRole::kSubstrate), Qt::LeftButton);
        EXPECT_EQ(type.substratesField()->text(), "1");  // raised to the count
        QTest::mouseClick(type.okButton(), Qt::LeftButton);
        return type.result() == QDialog::Accepted;
      });
      list.Add();
      EXPECT_EQ(list.typeList()->count(), 1);
      list.accept();
    });
    page.OpenKineticTypes();
    const KineticType* type = app_.catalogue.Find("Saturable uptake");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->substrates, 1);
    EXPECT_EQ(type->constants, 2);

    Drive<KineticsDialog>(page, [](KineticsDialog& kinetics) {
      QComboBox* types = kinetics.typeList();
      const int index = types->findText("Saturable uptake");
      ASSERT_GE(index, 0);
      types->setFocus();
      // Choosing from the list as the keyboard does.
      for (int presses = 0; presses < types->count() && types->currentIndex() != index; ++presses) {
        QTest::keyClick(types, Qt::Key_Down);
      }
      kinetics.accept();
    });
    page.OpenKinetics();
    ASSERT_EQ(window.document().model.steps[0].kineticTypeName, "Saturable uptake");
    ASSERT_TRUE(window.SaveTo(QString::fromStdString(path)));
  }
  EXPECT_NE(ReadFile(path).find("UDKType=Saturable uptake\n"), std::string::npos);

  // Another installation, whose database has never heard of the type.
  AppStartup other;
  const std::filesystem::path otherFolder = folder_ / "other";
  std::filesystem::create_directories(otherFolder);
  ASSERT_TRUE(StartApplication(other, sink_, otherFolder / "vireon.ini", otherFolder / "vireon.kdb"));
  ASSERT_EQ(other.catalogue.Find("Saturable uptake"), nullptr);
  MainWindow window(other, sink_);
  ASSERT_TRUE(window.OpenFile(QString::fromStdString(path)));
  const Step& step = window.document().model.steps[0];
  ASSERT_NE(step.kineticType, nullptr);
  EXPECT_EQ(step.kineticType->name, "Saturable uptake");
  EXPECT_EQ(step.kineticType->userDefined, 1);
  EXPECT_EQ(step.kineticType->function->description(), "Vmax*S/(K+S)");
}

TEST_F(ModelDialogsTest, ACompartmentVolumeChangedInTheDialogReachesTheRun) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  ModelPage& page = *window.modelPage();
  // A = B at a constant flux of 1: a step changes the concentrations of its
  // metabolites by its rate whatever their volumes, so [A] falls and [B]
  // grows at 1. The volume V of B's compartment shows in the total of the
  // relation A + B, an amount in that compartment: ([A] + [B]) x V.
  AddSteps(document, {{"transfer", "A = B"}});
  document.settings.steadyState = 0;
  document.settings.endTime = 10.0;

  // The fields say the model's units.
  document.settings.volumeUnit = "l";
  document.settings.concentrationUnit = "uM";
  Drive<CompartmentsDialog>(page, [](CompartmentsDialog& dialog) {
    EXPECT_EQ(dialog.table()->horizontalHeaderItem(1)->text(), "Volume (l)");
    dialog.countField()->setValue(2);
    ASSERT_EQ(dialog.table()->rowCount(), 2);
    dialog.table()->item(1, 0)->setText("vesicle");
    dialog.table()->item(1, 1)->setText("2");
    dialog.accept();
  });
  page.OpenCompartments();
  ASSERT_EQ(document.model.nCompartments(), 2);

  Drive<MetabolitesDialog>(page, [](MetabolitesDialog& dialog) {
    QTableWidget* table = dialog.table();
    EXPECT_EQ(table->horizontalHeaderItem(1)->text(), "Initial concentration (uM)");
    table->item(0, 1)->setText("20");  // [A]
    auto* compartment = qobject_cast<QComboBox*>(table->cellWidget(1, 3));
    ASSERT_NE(compartment, nullptr);
    compartment->setCurrentIndex(1);  // B in the vesicle
    dialog.accept();
  });
  page.OpenMetabolites();
  ASSERT_TRUE(window.SaveTo(QString::fromStdString(PathIn("volumes.vrn"))));

  RunToTheEnd(window);
  EXPECT_CLOSE(ConcentrationOf(document, "A"), 10.0, kRunAbs, kRunRel);
  EXPECT_CLOSE(ConcentrationOf(document, "B"), 10.0, kRunAbs, kRunRel);
  ASSERT_EQ(document.model.nMoieties(), 1);
  EXPECT_CLOSE(document.model.moieties[0].initialConcentration, 20.0 * 2.0, kRunAbs, kRunRel);
}

TEST_F(ModelDialogsTest, TheStrategyChosenInNumericalMethodsReachesTheRun) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  AddSteps(document, {{"in", "Sx -> X"}, {"out", "X -> Px"}});
  test::SetKinetics(document.model.steps[0], app_.catalogue, "Mass action (irreversible)", {1.0});
  test::SetKinetics(document.model.steps[1], app_.catalogue, "Mass action (irreversible)", {1.0});
  document.model.metabolites[static_cast<std::size_t>(document.model.FindMetabolite("Sx"))]
      .initialConcentration = 1.0;
  Drive<MetabolitesDialog>(*window.modelPage(), [](MetabolitesDialog& dialog) {
    for (int row : {0, 2}) dialog.table()->item(row, 2)->setCheckState(Qt::Checked);  // fixed
    dialog.accept();
  });
  window.modelPage()->OpenMetabolites();
  document.settings.dynamics = 0;
  ASSERT_TRUE(window.SaveTo(QString::fromStdString(PathIn("strategy.vrn"))));

  // Newton finds dX/dt = 1 - X = 0.
  RunToTheEnd(window);
  EXPECT_CLOSE(ConcentrationOf(document, "X"), 1.0, kRunAbs, kRunRel);

  // Integrating backwards runs away from the stable state: the search fails,
  // which leaves the concentrations at -1.
  Drive<MethodsDialog>(*window.modelPage(), [](MethodsDialog& dialog) {
    dialog.strategyList()->setCurrentIndex(dialog.strategyList()->findText("Backward integration"));
    dialog.accept();
  });
  window.modelPage()->OpenMethods();
  EXPECT_EQ(document.settings.solver.steadyStateStrategy,
            SteadyStateStrategy::kBackwardIntegration);
  EXPECT_TRUE(document.modified);
  RunToTheEnd(window);
  EXPECT_CLOSE(ConcentrationOf(document, "X"), -1.0, 0.0, 0.0);

  // The integrator stays LSODA through the dialog until CVODE is chosen.
  EXPECT_EQ(document.settings.solver.integrator, Integrator::kLsoda);
  Drive<MethodsDialog>(*window.modelPage(), [](MethodsDialog& dialog) {
    EXPECT_EQ(dialog.integratorList()->currentIndex(), 0);
    dialog.integratorList()->setCurrentIndex(1);
    dialog.accept();
  });
  window.modelPage()->OpenMethods();
  EXPECT_EQ(document.settings.solver.integrator, Integrator::kCvode);
}

TEST_F(ModelDialogsTest, MetaboliteNamesAreCheckedWhenLeftAndTwinNamesRefused) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  AddSteps(document, {{"v", "S -> P"}});
  const Model before = document.model;
  Drive<MetabolitesDialog>(*window.modelPage(), [this](MetabolitesDialog& dialog) {
    dialog.table()->item(1, 0)->setText("P.1");
    EXPECT_EQ(sink_.Texts(), std::vector<std::string>{messages::kBadMetaboliteName});
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.table()->currentRow(), 1);  // back at the name
    dialog.table()->item(1, 0)->setText("S");
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    dialog.reject();
  });
  window.modelPage()->OpenMetabolites();
  EXPECT_TRUE(sink_.Said("Two metabolites are named S.\nPlease give each metabolite a name of its own."));
  EXPECT_EQ(document.model, before);
  EXPECT_FALSE(document.modified);
}

TEST_F(ModelDialogsTest, EnterInTheReactionsDialogAddsTheStepAndOkTakesTextNotYetAdded) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  Drive<ReactionsDialog>(*window.modelPage(), [this](ReactionsDialog& dialog) {
    Type(dialog.nameField(), "v1");
    Type(dialog.equationField(), "S -> P");
    QTest::keyClick(dialog.equationField(), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(dialog.stepList()->count(), 1);
    EXPECT_EQ(dialog.stepList()->item(0)->text(), "v1: S -> P");
    EXPECT_TRUE(dialog.equationField()->text().isEmpty());  // ready for the next step

    // A name of two words is refused where it was typed, and Enter in the
    // name field keeps the dialog open as well.
    Type(dialog.nameField(), "second step");
    Type(dialog.equationField(), "P -> Q");
    QTest::keyClick(dialog.nameField(), Qt::Key_Enter);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.stepList()->count(), 1);
    EXPECT_EQ(sink_.Texts(), std::vector<std::string>{messages::kBadStepName});
    // OK with a refused step in the fields keeps them, and the dialog stays.
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.equationField()->text(), "P -> Q");

    // Typed but never added: OK takes it rather than lose it.
    dialog.nameField()->setText("v2");
    dialog.accept();
    EXPECT_FALSE(dialog.isVisible());
  });
  window.modelPage()->OpenReactions();
  ASSERT_EQ(document.model.nSteps(), 2);
  EXPECT_EQ(document.model.steps[1].name, "v2");
  EXPECT_EQ(document.model.steps[1].equation, "P -> Q");
  EXPECT_EQ(document.model.nMetabolites(), 3);
}

TEST_F(ModelDialogsTest, EditsCommittedThroughTheDialogsAreUndoneAndRedoneByName) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  EXPECT_FALSE(window.undoAction()->isEnabled());
  EXPECT_EQ(window.undoAction()->shortcut(), QKeySequence(QKeySequence::Undo));
  EXPECT_EQ(window.redoAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  const auto addStep = [this, &window](const char* name, const char* equation) {
    Drive<ReactionsDialog>(*window.modelPage(), [=](ReactionsDialog& dialog) {
      dialog.nameField()->setText(name);
      dialog.equationField()->setText(equation);
      dialog.accept();
    });
    window.modelPage()->OpenReactions();
  };
  addStep("v1", "S -> P");
  addStep("v2", "P -> Q");
  ASSERT_EQ(document.model.nSteps(), 2);
  EXPECT_TRUE(window.undoAction()->isEnabled());
  EXPECT_EQ(window.undoAction()->text(), "&Undo Reactions");
  EXPECT_FALSE(window.redoAction()->isEnabled());

  window.undoAction()->trigger();
  EXPECT_EQ(document.model.nSteps(), 1);
  EXPECT_EQ(document.model.nMetabolites(), 2);  // Q went with its step
  EXPECT_TRUE(document.modified);
  EXPECT_EQ(window.redoAction()->text(), "&Redo Reactions");
  window.undoAction()->trigger();
  EXPECT_EQ(document.model.nSteps(), 0);
  EXPECT_FALSE(window.undoAction()->isEnabled());
  EXPECT_EQ(window.undoAction()->text(), "&Undo");
  window.redoAction()->trigger();
  window.redoAction()->trigger();
  ASSERT_EQ(document.model.nSteps(), 2);
  EXPECT_EQ(document.model.steps[1].name, "v2");
  ASSERT_NE(document.model.steps[1].kineticType, nullptr);

  // A run finished from the keyboard's F5 says so, with the time it took.
  EXPECT_EQ(window.runAction()->shortcut(), QKeySequence(Qt::Key_F5));
  EXPECT_EQ(window.stopAction()->shortcut(), QKeySequence(Qt::Key_Escape));
  document.settings.dynamics = 1;
  document.settings.steadyState = 0;
  ASSERT_TRUE(window.SaveTo(QString::fromStdString(PathIn("undone.vrn"))));
  window.runAction()->trigger();
  ASSERT_TRUE(window.controller().IsBusy() ||
              window.controller().outcome() == RunOutcome::kFinished);
  for (int round = 0; round < kMaxEventRounds; ++round) {
    QCoreApplication::processEvents();
    if (!window.controller().IsBusy() && window.statusText() == kStatusIdle) break;
    QThread::usleep(100);
  }
  window.controller().Wait();
  QCoreApplication::processEvents();
  EXPECT_TRUE(window.noticeText().startsWith("Run finished in ")) << window.noticeText().toStdString();
  // A new document starts a history of its own.
  document.modified = false;
  ASSERT_TRUE(window.NewDocumentCommand());
  EXPECT_FALSE(window.undoAction()->isEnabled());
}

TEST_F(ModelDialogsTest, AStepThatMayNotBeLeftStaysTheOneTheListHighlights) {
  MainWindow window(app_, sink_);
  AddSteps(window.document(), {{"v1", "S -> P"}, {"v2", "P -> Q"}});
  Drive<KineticsDialog>(*window.modelPage(), [this](KineticsDialog& dialog) {
    QComboBox* types = dialog.typeList();
    const int index = types->findText("Competitive inhibition (irr)");
    ASSERT_GE(index, 0);
    types->setCurrentIndex(index);
    emit types->activated(index);  // as a choice from the list, its inhibitor not yet chosen
    QListWidget* steps = dialog.stepList();
    const QPoint second = steps->visualItemRect(steps->item(1)).center();
    QTest::mouseClick(steps->viewport(), Qt::LeftButton, {}, second);
    QCoreApplication::processEvents();
    EXPECT_EQ(sink_.Texts(), std::vector<std::string>{messages::kModifiersUndefined});
    EXPECT_EQ(dialog.editor().currentStep(), 0);
    EXPECT_EQ(steps->currentRow(), 0);
    ASSERT_EQ(steps->selectedItems().size(), 1);
    EXPECT_EQ(steps->selectedItems()[0], steps->item(0));
    dialog.reject();
  });
  window.modelPage()->OpenKinetics();
}

TEST_F(ModelDialogsTest, AFunctionAndALinkMadeInTheirDialogsJoinTheDocument) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  AddSteps(document, {{"v", "S -> P"}});
  ModelPage& page = *window.modelPage();

  Drive<FunctionsDialog>(page, [](FunctionsDialog& list) {
    list.SetShowFunctionDialog([](FunctionDialog& dialog) {
      dialog.show();
      Type(dialog.nameField(), "double S");
      Type(dialog.functionField(), "2*s");
      EXPECT_FALSE(dialog.okButton()->isEnabled());
      QTest::mouseClick(dialog.acceptButton(), Qt::LeftButton);
      EXPECT_TRUE(dialog.okButton()->isEnabled());
      dialog.symbolList()->setCurrentRow(0);
      EXPECT_TRUE(dialog.items()->Choose("initial concentrations", "[S]i"));
      EXPECT_EQ(dialog.symbolList()->item(0)->text(), "s = [S]i");
      QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
      return dialog.result() == QDialog::Accepted;
    });
    list.Add();
    EXPECT_EQ(list.functionList()->count(), 1);
    list.accept();
  });
  page.OpenFunctions();
  ASSERT_EQ(document.functions.size(), 1u);
  EXPECT_EQ(document.functions[0].name(), "double S");

  Drive<LinksDialog>(page, [](LinksDialog& list) {
    list.SetShowLinkDialog([](LinkDialog& dialog) {
      dialog.show();
      EXPECT_FALSE(dialog.okButton()->isEnabled());
      EXPECT_TRUE(dialog.items()->Choose("compartments", "V(compartment)"));
      dialog.SetTarget();
      EXPECT_TRUE(dialog.items()->Choose("user functions", "double S"));
      dialog.SetSource();
      EXPECT_TRUE(dialog.okButton()->isEnabled());
      dialog.factorField()->setText("0.5");
      QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
      return dialog.result() == QDialog::Accepted;
    });
    list.Add();
    ASSERT_EQ(list.linkList()->count(), 1);
    EXPECT_EQ(list.linkList()->item(0)->text(), "V(compartment) = 0.5 * double S");
    list.accept();
  });
  page.OpenLinks();
  ASSERT_EQ(document.links.size(), 1u);
  EXPECT_CLOSE(document.links[0].constant, 0.5, 0.0, 0.0);
  EXPECT_TRUE(document.modified);
}

TEST_F(ModelDialogsTest, UnitsChosenInTheDialogShowOnThePage) {
  MainWindow window(app_, sink_);
  Drive<UnitsDialog>(*window.modelPage(), [](UnitsDialog& dialog) {
    dialog.timeList()->setCurrentText("min");
    EXPECT_EQ(dialog.fluxField()->text(), "mM/min");
    dialog.accept();
  });
  window.modelPage()->OpenUnits();
  EXPECT_EQ(window.modelPage()->unitsLine()->text(), "min, mM, mM/min, ml");
  EXPECT_EQ(window.document().settings.timeUnit, "min");
}

}  // namespace
}  // namespace vireon

namespace vireon {
namespace {

class KineticsDialogViewTest : public test::AppFixture {};

TEST_F(KineticsDialogViewTest, ShowsTheEquationTheRateLawAndEveryConstant) {
  MainWindow window(app_, sink_);
  AddSteps(window.document(), {{"v", "A + B = P + Q"}});
  KineticsDialog dialog(window.document(), app_, sink_);
  dialog.show();
  EXPECT_EQ(dialog.equationLabel()->text(), "A + B = P + Q");
  const int index = dialog.typeList()->findText("Ordered Bi Bi");
  ASSERT_GE(index, 0);
  dialog.typeList()->setCurrentIndex(index);
  emit dialog.typeList()->activated(index);
  const KineticType* type = dialog.editor().CurrentType();
  ASSERT_NE(type, nullptr);
  ASSERT_EQ(type->constants, 10);
  // Every constant has its row at once, named and editable, without paging.
  ASSERT_EQ(dialog.constantsForm()->rowCount(), 10);
  for (int row = 0; row < 10; ++row) {
    auto* field = qobject_cast<QLineEdit*>(
        dialog.constantsForm()->itemAt(row, QFormLayout::FieldRole)->widget());
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->accessibleName().toStdString(),
              type->constantNames[static_cast<std::size_t>(row)]);
  }
  // The rate law is written with the step's metabolites and the constants' names.
  const QString formula = dialog.formulaLabel()->text();
  EXPECT_TRUE(formula.startsWith("v = ")) << formula.toStdString();
  for (const char* name : {"A", "B", "P", "Q"}) EXPECT_TRUE(formula.contains(name));
  EXPECT_TRUE(formula.contains(QString::fromStdString(type->constantNames[0])));
  EXPECT_FALSE(formula.contains("s0")) << formula.toStdString();
  dialog.reject();
}

}  // namespace
}  // namespace vireon
