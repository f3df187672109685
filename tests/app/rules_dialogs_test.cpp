// The "Global Quantities", "Rules" and "Events" dialogs driven through their
// widgets from the Model Definition page, and what they commit reaching the
// saved model file; the other model dialogs refusing an edit that breaks a
// rule.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "app/app_fixture.h"
#include "app/events_dialog.h"
#include "app/global_quantities_dialog.h"
#include "app/main_window.h"
#include "app/metabolites_dialog.h"
#include "app/model_page.h"
#include "app/rules_dialog.h"
#include "support/document_fixtures.h"
#include "support/expect_close.h"

namespace vireon {
namespace {

using test::AppFixture;

class RulesDialogsTest : public AppFixture {
 protected:
  // Chooses the entry of that text as the keyboard does, from the field.
  static void Choose(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    ASSERT_GE(index, 0) << text.toStdString() << " is not offered";
    box->setFocus();
    while (box->currentIndex() > index) QTest::keyClick(box, Qt::Key_Up);
    while (box->currentIndex() < index) QTest::keyClick(box, Qt::Key_Down);
  }

  // The number of mnemonics on the widget's buttons and labels, each of
  // which must be its own.
  static int Mnemonics(const QWidget& widget) {
    QSet<QChar> seen;
    const auto take = [&seen](const QString& text) {
      const int at = text.indexOf('&');
      if (at < 0 || at + 1 >= text.size()) return;
      const QChar key = text[at + 1].toLower();
      EXPECT_FALSE(seen.contains(key))
          << "Alt+" << QString(key).toStdString() << " twice: " << text.toStdString();
      seen.insert(key);
    };
    for (const QPushButton* button : widget.findChildren<QPushButton*>()) take(button->text());
    for (const QLabel* label : widget.findChildren<QLabel*>()) take(label->text());
    return static_cast<int>(seen.size());
  }

  static QStringList Entries(const QComboBox* box) {
    QStringList entries;
    for (int i = 0; i < box->count(); ++i) entries << box->itemText(i);
    return entries;
  }

  // S -> P by mass action, with Sx -> S feeding it; Sx fixed.
  void SetUpModel(Document& document) {
    AddSteps(document, {{"feed", "Sx -> S"}, {"conversion", "S -> P"}});
    test::SetKinetics(document.model.steps[0], app_.catalogue, "Mass action (irreversible)", {1.0});
    test::SetKinetics(document.model.steps[1], app_.catalogue, "Mass action (irreversible)", {2.0});
    document.model.metabolites[static_cast<std::size_t>(document.model.FindMetabolite("Sx"))].type =
        FIXED;
    document.modified = false;
  }
};

// Every mnemonic of the page, on its buttons and its labels, is its own.
TEST_F(RulesDialogsTest, ThePageOpensBothDialogsWithMnemonicsOfTheirOwn) {
  MainWindow window(app_, sink_);
  ModelPage& page = *window.modelPage();
  ASSERT_NE(page.button("&Global Quantities"), nullptr);
  ASSERT_NE(page.button("Rule&s"), nullptr);
  ASSERT_NE(page.button("E&vents"), nullptr);
  EXPECT_EQ(Mnemonics(page), 15);

  bool opened = false;
  Drive<RulesDialog>(page, [&opened](RulesDialog& dialog) {
    opened = true;
    QTest::keyClick(&dialog, Qt::Key_Escape);
  });
  QTest::mouseClick(page.button("Rule&s"), Qt::LeftButton);
  EXPECT_TRUE(opened);
  opened = false;
  Drive<GlobalQuantitiesDialog>(page, [&opened](GlobalQuantitiesDialog& dialog) {
    opened = true;
    dialog.reject();
  });
  QTest::mouseClick(page.button("&Global Quantities"), Qt::LeftButton);
  EXPECT_TRUE(opened);
  EXPECT_FALSE(window.document().modified);

  // The contents line names global quantities and rules only when there
  // are some.
  const auto contents = [&page] {
    for (const QLabel* label : page.findChildren<QLabel*>()) {
      if (label->text().contains("compartment")) return label->text();
    }
    return QString();
  };
  EXPECT_FALSE(contents().contains("quantit"));
  window.document().model.globalQuantities = {{"kf", 1.0}, {"kr", 2.0}};
  window.document().model.rules = {Rule{
      RuleKind::kAssignment, RuleTarget{RuleTargetKind::kGlobalQuantity, "kr", ""}, "2*kf"}};
  page.Refresh();
  EXPECT_TRUE(contents().endsWith(", 2 global quantities, 1 rule")) << contents().toStdString();
}

// Quantities are added, renamed and given values in the table; a name that
// another record has is refused with the editor's message and its cell
// chosen, and nothing reaches the model before OK.
TEST_F(RulesDialogsTest, GlobalQuantitiesAreEditedInTheTableAndCheckedOnOk) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  SetUpModel(document);
  ModelPage& page = *window.modelPage();
  QSignalSpy changed(&page, &ModelPage::modelChanged);

  Drive<GlobalQuantitiesDialog>(page, [this, &document](GlobalQuantitiesDialog& dialog) {
    QTableWidget* table = dialog.table();
    QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
    QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(1, 0)->text(), "quantity2");
    table->item(0, 0)->setText("S");
    table->item(0, 1)->setText("2.5");
    sink_.Clear();
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(sink_.Said("The name S is already in use by a metabolite."));
    EXPECT_EQ(table->currentRow(), 0);
    EXPECT_TRUE(document.model.globalQuantities.empty());
    table->item(0, 0)->setText("kf");
    table->setCurrentCell(1, 0);
    QTest::mouseClick(dialog.deleteButton(), Qt::LeftButton);
    EXPECT_EQ(table->rowCount(), 1);
    QTest::keyClick(table, Qt::Key_Return);  // Enter ends the dialog with OK
  });
  page.OpenGlobalQuantities();
  ASSERT_EQ(document.model.globalQuantities.size(), 1u);
  EXPECT_EQ(document.model.globalQuantities[0].name, "kf");
  EXPECT_CLOSE(document.model.globalQuantities[0].value, 2.5, 0.0, test::kTightRel);
  EXPECT_TRUE(document.modified);
  EXPECT_EQ(changed.count(), 1);
}

// Rules are put together from the fields; a bad expression is refused with
// the position and the name, which the field selects; OK commits the list,
// and the saved file reads back with the same rules.
TEST_F(RulesDialogsTest, RulesAreMadeFromTheFieldsAndABadExpressionIsShownWhereItFails) {
  const std::string path = PathIn("rules.vrn");
  std::vector<Rule> made;
  {
    MainWindow window(app_, sink_);
    Document& document = window.document();
    SetUpModel(document);
    document.model.globalQuantities = {{"kf", 2.0}, {"total", 0.0}};
    ModelPage& page = *window.modelPage();

    Drive<RulesDialog>(page, [this](RulesDialog& dialog) {
      EXPECT_EQ(dialog.ruleList()->topLevelItemCount(), 0);
      EXPECT_FALSE(dialog.changeButton()->isEnabled());
      EXPECT_EQ(Entries(dialog.targetField()), (QStringList{"kf", "total"}));
      EXPECT_FALSE(dialog.constantField()->isEnabled());
      Choose(dialog.targetField(), "total");
      sink_.Clear();
      Type(dialog.expressionField(), "S + P*Vmax");
      QTest::keyClick(dialog.expressionField(), Qt::Key_Return);
      EXPECT_EQ(dialog.ruleList()->topLevelItemCount(), 0);
      EXPECT_TRUE(sink_.Said(
          "The assignment rule for total: Vmax at character 7 is not a metabolite, compartment "
          "or global quantity of the model."));
      EXPECT_EQ(dialog.expressionField()->selectedText(), "Vmax");
      EXPECT_EQ(dialog.focusWidget(), dialog.expressionField());
      dialog.expressionField()->setText("S + P");
      QTest::keyClick(dialog.expressionField(), Qt::Key_Return);
      ASSERT_EQ(dialog.ruleList()->topLevelItemCount(), 1);
      EXPECT_EQ(dialog.ruleList()->topLevelItem(0)->text(2), "total");
      EXPECT_TRUE(dialog.expressionField()->text().isEmpty());

      // A rate rule offers only the fixed metabolites; a kinetic constant
      // its step's constants.
      Choose(dialog.kindField(), "Rate");
      Choose(dialog.targetKindField(), "Metabolite");
      EXPECT_EQ(Entries(dialog.targetField()), (QStringList{"Sx"}));
      Choose(dialog.kindField(), "Assignment");
      // A stoichiometry its step's substrates and products, in the
      // metabolites' order.
      Choose(dialog.targetKindField(), "Stoichiometry");
      EXPECT_EQ(Entries(dialog.targetField()), (QStringList{"feed", "conversion"}));
      Choose(dialog.targetField(), "conversion");
      EXPECT_TRUE(dialog.constantField()->isEnabled());
      EXPECT_EQ(Entries(dialog.constantField()), (QStringList{"S", "P"}));
      Choose(dialog.targetKindField(), "Kinetic constant");
      EXPECT_EQ(Entries(dialog.targetField()), (QStringList{"feed", "conversion"}));
      Choose(dialog.targetField(), "conversion");
      EXPECT_TRUE(dialog.constantField()->isEnabled());
      EXPECT_EQ(Entries(dialog.constantField()), (QStringList{"k"}));
      Type(dialog.expressionField(), "kf*(1");
      QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
      EXPECT_EQ(dialog.ruleList()->topLevelItemCount(), 1);
      EXPECT_EQ(dialog.expressionField()->selectedText(), "(");  // never closed
      EXPECT_EQ(dialog.expressionField()->selectionStart(), 3);
      dialog.expressionField()->end(false);
      Type(dialog.expressionField(), ")");
      // OK takes a rule the fields hold before it commits the list.
      QTest::keyClick(dialog.targetField(), Qt::Key_Return);
    });
    page.OpenRules();
    ASSERT_EQ(document.model.rules.size(), 2u);
    EXPECT_EQ(document.model.rules[1].target,
              (RuleTarget{RuleTargetKind::kKineticConstant, "conversion", "k"}));
    EXPECT_EQ(document.model.rules[1].expression, "kf*(1)");
    EXPECT_TRUE(document.modified);
    made = document.model.rules;

    // Selecting a rule shows it; a change is taken by Change.
    Drive<RulesDialog>(page, [](RulesDialog& dialog) {
      dialog.ruleList()->setCurrentItem(dialog.ruleList()->topLevelItem(0));
      EXPECT_EQ(dialog.targetField()->currentText(), "total");
      EXPECT_EQ(dialog.expressionField()->text(), "S + P");
      dialog.expressionField()->setText("S + P + Sx");
      QTest::mouseClick(dialog.changeButton(), Qt::LeftButton);
      EXPECT_EQ(dialog.ruleList()->topLevelItem(0)->text(3), "S + P + Sx");
      dialog.accept();
    });
    page.OpenRules();
    made[0].expression = "S + P + Sx";
    EXPECT_EQ(document.model.rules, made);
    ASSERT_TRUE(window.SaveTo(QString::fromStdString(path)));
  }
  MainWindow window(app_, sink_);
  ASSERT_TRUE(window.OpenFile(QString::fromStdString(path)));
  EXPECT_EQ(window.document().model.rules, made);
  ASSERT_EQ(window.document().model.globalQuantities.size(), 2u);
}

// Escape leaves the model as it was, whatever the list went through.
TEST_F(RulesDialogsTest, CancelLeavesTheRulesAsTheyWere) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  SetUpModel(document);
  document.model.globalQuantities = {{"kf", 2.0}};
  document.model.rules = {
      Rule{RuleKind::kAssignment, RuleTarget{RuleTargetKind::kGlobalQuantity, "kf", ""}, "2*time"}};
  const std::vector<Rule> before = document.model.rules;
  Drive<RulesDialog>(*window.modelPage(), [](RulesDialog& dialog) {
    EXPECT_FALSE(dialog.deleteButton()->isEnabled());  // no rule is chosen at the start
    dialog.ruleList()->setFocus();
    QTest::keyClick(dialog.ruleList(), Qt::Key_Down);
    EXPECT_EQ(dialog.expressionField()->text(), "2*time");
    QTest::mouseClick(dialog.deleteButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.ruleList()->topLevelItemCount(), 0);
    QTest::keyClick(&dialog, Qt::Key_Escape);
  });
  window.modelPage()->OpenRules();
  EXPECT_EQ(document.model.rules, before);
  EXPECT_FALSE(document.modified);
}

// Tab walks the fields in the order of the dialog, passing over what is
// disabled (the constant of a target that is not a kinetic constant); the
// mnemonics of both dialogs are each their own.
TEST_F(RulesDialogsTest, TabWalksTheRulesDialogInItsOrder) {
  Model model;
  EXPECT_EQ(Mnemonics(GlobalQuantitiesDialog(model, sink_)), 3);
  RulesDialog dialog(model, sink_);
  EXPECT_EQ(Mnemonics(dialog), 9);
  dialog.show();
  EXPECT_EQ(dialog.focusWidget(), dialog.expressionField());
  dialog.ruleList()->setFocus();
  const std::vector<QWidget*> order = {dialog.kindField(), dialog.targetKindField(),
                                       dialog.targetField(), dialog.expressionField(),
                                       dialog.addButton()};
  for (std::size_t i = 0; i < order.size(); ++i) {
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(dialog.focusWidget(), order[i]) << "Tab number " << i + 1;
  }
  // Change and Delete wait for a rule to be chosen; OK and Cancel follow.
  QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
  auto* button = qobject_cast<QPushButton*>(dialog.focusWidget());
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), "OK");
}

// The metabolites dialog refuses to rename a metabolite that a rule reads,
// with the rule's message, and the reactions dialog keeps a metabolite
// that only a rule uses.
TEST_F(RulesDialogsTest, TheOtherModelDialogsKeepWhatTheRulesUse) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  SetUpModel(document);
  document.model.globalQuantities = {{"total", 0.0}};
  document.model.metabolites.push_back(Metabolite("X", FIXED, 0, 3.0));  // in no step
  document.model.rules = {Rule{RuleKind::kAssignment,
                               RuleTarget{RuleTargetKind::kGlobalQuantity, "total", ""}, "S + X"}};
  ModelPage& page = *window.modelPage();
  Drive<MetabolitesDialog>(page, [this](MetabolitesDialog& dialog) {
    dialog.table()->item(1, 0)->setText("T");  // S
    sink_.Clear();
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(sink_.Said(
        "The assignment rule for total: S at character 1 is not a metabolite, compartment or "
        "global quantity of the model.\nPlease change the rules first."));
    dialog.reject();
  });
  page.OpenMetabolites();
  EXPECT_GE(document.model.FindMetabolite("S"), 0);
  AddSteps(document, {{"drain", "P -> Q"}});
  EXPECT_EQ(document.model.FindMetabolite("X"), 3);
  EXPECT_GE(document.model.FindMetabolite("Q"), 0);
}

// An event typed with the keyboard alone: a trigger that names nothing of
// the model is refused with its name selected; Enter in the assignment's
// expression sets the assignment, Enter in a field of the event adds it;
// OK takes a second event still in the fields. What OK commits reaches the
// saved file and comes back from it.
TEST_F(RulesDialogsTest, EventsAreTypedWithTheKeyboardAndNothingTypedIsLost) {
  const std::string path = PathIn("events.vrn");
  std::vector<Event> made;
  {
    MainWindow window(app_, sink_);
    Document& document = window.document();
    SetUpModel(document);
    document.model.globalQuantities = {{"doses", 0.0}};
    ModelPage& page = *window.modelPage();
    bool driven = false;
    Drive<EventsDialog>(page, [this, &driven](EventsDialog& dialog) {
      driven = true;
      EXPECT_EQ(dialog.focusWidget(), dialog.nameField());
      EXPECT_FALSE(dialog.changeButton()->isEnabled());
      EXPECT_EQ(
          Entries(dialog.targetKindField()),
          (QStringList{"Metabolite", "Global quantity", "Compartment volume", "Kinetic constant"}));
      EXPECT_EQ(Entries(dialog.targetField()), (QStringList{"Sx", "S", "P"}));
      QTest::keyClicks(dialog.nameField(), "dose");
      QTest::keyClick(dialog.nameField(), Qt::Key_Tab);
      QTest::keyClicks(dialog.focusWidget(), "geq(time, t0)");
      sink_.Clear();
      QTest::keyClick(dialog.triggerField(), Qt::Key_Return);
      EXPECT_EQ(dialog.eventList()->topLevelItemCount(), 0);
      EXPECT_EQ(dialog.focusWidget(), dialog.triggerField());
      EXPECT_EQ(dialog.triggerField()->selectedText(), "t0");
      EXPECT_FALSE(sink_.messages().empty());
      dialog.triggerField()->setText("geq(time, 1)");
      Choose(dialog.targetField(), "S");
      Type(dialog.expressionField(), "S + 5");
      QTest::keyClick(dialog.expressionField(), Qt::Key_Return);
      ASSERT_EQ(dialog.assignmentList()->topLevelItemCount(), 1);
      EXPECT_TRUE(dialog.expressionField()->text().isEmpty());
      Choose(dialog.targetKindField(), "Global quantity");
      Type(dialog.expressionField(), "doses + 1");
      QTest::keyClick(dialog.expressionField(), Qt::Key_Return);
      ASSERT_EQ(dialog.assignmentList()->topLevelItemCount(), 2);
      dialog.delayField()->setFocus();
      QTest::keyClick(dialog.delayField(), Qt::Key_Return);
      ASSERT_EQ(dialog.eventList()->topLevelItemCount(), 1);
      EXPECT_EQ(dialog.eventList()->topLevelItem(0)->text(3), "S = S + 5; doses = doses + 1");
      // The fields are empty for the next event, which OK takes as it is,
      // its assignment's expression not yet set.
      EXPECT_TRUE(dialog.nameField()->text().isEmpty());
      EXPECT_EQ(dialog.assignmentList()->topLevelItemCount(), 0);
      Type(dialog.nameField(), "late");
      Type(dialog.triggerField(), "lt(S, 0.5)");
      Type(dialog.delayField(), "2");
      dialog.persistentBox()->setFocus();
      QTest::keyClick(dialog.persistentBox(), Qt::Key_Space);
      Choose(dialog.targetKindField(), "Metabolite");
      Choose(dialog.targetField(), "P");
      Type(dialog.expressionField(), "0");
      dialog.persistentBox()->setFocus();
      QTest::keyClick(dialog.persistentBox(), Qt::Key_Return);
    });
    QTest::mouseClick(page.button("E&vents"), Qt::LeftButton);
    ASSERT_TRUE(driven);
    ASSERT_EQ(document.model.events.size(), 2u);
    const Event& late = document.model.events[1];
    EXPECT_EQ(late.name, "late");
    EXPECT_EQ(late.delay, "2");
    EXPECT_FALSE(late.persistent);
    EXPECT_TRUE(late.initialValue);
    ASSERT_EQ(late.assignments.size(), 1u);
    EXPECT_EQ(late.assignments[0].target, (RuleTarget{RuleTargetKind::kMetabolite, "P", ""}));
    EXPECT_TRUE(document.modified);
    made = document.model.events;
    ASSERT_TRUE(window.SaveTo(QString::fromStdString(path)));
  }
  MainWindow window(app_, sink_);
  ASSERT_TRUE(window.OpenFile(QString::fromStdString(path)));
  EXPECT_EQ(window.document().model.events, made);
}

// Tab walks the Events dialog in its order, the mnemonics of its labels,
// buttons and boxes are each their own, Change takes a typed assignment,
// and Escape leaves the events as they were.
TEST_F(RulesDialogsTest, TheEventsDialogIsWalkedByTabAndEscapeKeepsTheEvents) {
  MainWindow window(app_, sink_);
  Document& document = window.document();
  SetUpModel(document);
  Event dose;
  dose.name = "dose";
  dose.trigger = "geq(time, 1)";
  dose.assignments = {{{RuleTargetKind::kMetabolite, "S", {}}, "S + 1"}};
  document.model.events = {dose};
  const std::vector<Event> before = document.model.events;
  Drive<EventsDialog>(*window.modelPage(), [](EventsDialog& dialog) {
    EXPECT_EQ(Mnemonics(dialog), 14);
    QSet<QChar> boxes;
    for (const QCheckBox* box : dialog.findChildren<QCheckBox*>()) {
      const QString text = box->text();
      boxes.insert(text[text.indexOf('&') + 1].toLower());
    }
    EXPECT_EQ(boxes, (QSet<QChar>{'b', 't', 'f'}));  // none of the labels' or buttons'
    dialog.eventList()->setFocus();
    QTest::keyClick(dialog.eventList(), Qt::Key_Down);
    EXPECT_EQ(dialog.nameField()->text(), "dose");
    const std::vector<QWidget*> order = {dialog.nameField(),
                                         dialog.triggerField(),
                                         dialog.delayField(),
                                         dialog.priorityField(),
                                         dialog.initialValueBox(),
                                         dialog.persistentBox(),
                                         dialog.triggerTimeValuesBox(),
                                         dialog.assignmentList(),
                                         dialog.targetKindField(),
                                         dialog.targetField(),
                                         dialog.expressionField(),
                                         dialog.setButton()};
    for (std::size_t i = 0; i < order.size(); ++i) {
      QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
      EXPECT_EQ(dialog.focusWidget(), order[i]) << "Tab number " << i + 1;
    }
    // Change takes an assignment typed but not yet set.
    Choose(dialog.targetField(), "P");
    Type(dialog.expressionField(), "1");
    QTest::mouseClick(dialog.changeButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.eventList()->topLevelItem(0)->text(3), "S = S + 1; P = 1");
    QTest::mouseClick(dialog.deleteButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.eventList()->topLevelItemCount(), 0);
    QTest::keyClick(&dialog, Qt::Key_Escape);
  });
  window.modelPage()->OpenEvents();
  EXPECT_EQ(document.model.events, before);
  EXPECT_FALSE(document.modified);
}

}  // namespace
}  // namespace vireon
