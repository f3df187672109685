#include "app/kinetic_type_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <climits>

#include "app/help_dialog.h"
#include "app/qt_message_sink.h"

namespace vireon {
namespace {

// The classes of a symbol, in the order of their codes.
constexpr const char* kRoleNames[] = {"Substrate", "Product", "Modifier", "Constant"};

// A line edit that says when it loses the focus, so that its value can be
// checked then (editingFinished is not sent for text its validator refuses).
class CountField : public QLineEdit {
 public:
  std::function<void()> left;

 protected:
  void focusOutEvent(QFocusEvent* event) override {
    QLineEdit::focusOutEvent(event);
    // A field whose signals are blocked is being refreshed, not left.
    if (left && !signalsBlocked()) left();
  }
};

}  // namespace

KineticTypeDialog::KineticTypeDialog(KineticTypeEditor& editor, MessageSink& sink,
                                     std::function<bool()> finish, QWidget* parent)
    : QDialog(parent), editor_(editor), sink_(sink), finish_(std::move(finish)) {
  setWindowTitle("New Kinetic Type");
  name_ = new QLineEdit(ToQString(editor_.name()));
  function_ = new QPlainTextEdit(ToQString(editor_.expression()));
  function_->setTabChangesFocus(true);
  function_->setMinimumHeight(60);
  functionButton_ = new QPushButton;
  auto* substrates = new CountField;
  auto* products = new CountField;
  substrates_ = substrates;
  products_ = products;
  for (QLineEdit* count : {substrates_, products_}) {
    count->setValidator(new QIntValidator(0, INT_MAX, count));
    count->setMaximumWidth(80);
  }
  substrates->left = [this] { LeaveCount(substrates_, true); };
  products->left = [this] { LeaveCount(products_, false); };
  reversible_ = new QCheckBox("Reversible");
  symbols_ = new QListWidget;
  roles_ = new QButtonGroup(this);
  auto* classBox = new QGroupBox("Class");
  auto* classLayout = new QVBoxLayout(classBox);
  for (int role = 0; role < 4; ++role) {
    auto* button = new QRadioButton(kRoleNames[role]);
    roles_->addButton(button, role);
    classLayout->addWidget(button);
  }
  classLayout->addStretch();
  ok_ = new QPushButton(ToQString(editor_.okButtonText()));
  ok_->setDefault(true);
  cancel_ = new QPushButton("Cancel");

  name_->setToolTip("The kinetic type's name, unique among all kinetic types.");
  function_->setToolTip("The rate law: an expression in the symbols you choose.");
  function_->setAccessibleName("Kinetic function");
  functionButton_->setToolTip(
      "Checks the rate law and lists its symbols, or makes it editable again.");
  substrates_->setToolTip("How many substrates a step of this type has.");
  products_->setToolTip("How many products a step of this type has.");
  reversible_->setToolTip("Whether the rate law may run backwards (for reversible steps).");
  symbols_->setToolTip("The rate law's symbols: choose one and give it its class.");
  ok_->setToolTip("Enters the kinetic type into the list of kinetic types.");
  cancel_->setToolTip("Closes without entering the kinetic type.");
  auto* top = new QFormLayout;
  top->addRow("Name:", name_);
  auto* functionLabel = new QLabel("Kinetic function:");
  // The expression language in brief, beside the field that uses it.
  auto* syntax = new QLabel(
      "Numbers (2, 0.5, 1e-3), names (Vmax, S1), + - * / ^ and parentheses; functions exp, log, "
      "log10, sin, cos, abs, floor, ceiling, min, max, piecewise(v1, c1, ..., otherwise), "
      "lt gt leq geq eq neq, and or xor not. Example: <b>Vmax*S/(Km + S)</b>. Accept it, then "
      "tell which symbols are substrates, products and modifiers; the rest are constants.");
  syntax->setWordWrap(true);
  syntax->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  syntax->setObjectName("functionSyntax");
  syntax->setForegroundRole(QPalette::PlaceholderText);
  auto* functionRow = new QHBoxLayout;
  functionRow->addWidget(function_, 1);
  functionRow->addWidget(functionButton_, 0, Qt::AlignTop);
  auto* counts = new QFormLayout;
  counts->addRow("Substrates:", substrates_);
  counts->addRow("Products:", products_);
  counts->addRow(reversible_);
  auto* symbolsColumn = new QVBoxLayout;
  symbolsColumn->addWidget(new QLabel("Symbols"));
  symbolsColumn->addWidget(symbols_);
  auto* middle = new QHBoxLayout;
  middle->addLayout(counts);
  middle->addLayout(symbolsColumn, 1);
  middle->addWidget(classBox);
  auto* help = new QDialogButtonBox;
  AddHelpButton(help, "User-defined kinetic types", sink_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(help);
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(functionLabel);
  layout->addLayout(functionRow);
  layout->addWidget(syntax);
  layout->addLayout(middle, 1);
  layout->addLayout(buttons);

  connect(functionButton_, &QPushButton::clicked, this, &KineticTypeDialog::PressFunctionButton);
  connect(symbols_, &QListWidget::currentRowChanged, this, [this] { Refresh(); });
  connect(roles_, &QButtonGroup::idClicked, this, &KineticTypeDialog::OnRoleChosen);
  connect(reversible_, &QCheckBox::toggled, this,
          [this](bool on) { editor_.SetReversible(on); });
  connect(ok_, &QPushButton::clicked, this, &KineticTypeDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &KineticTypeDialog::reject);
  resize(560, 420);
  Refresh();
}

QRadioButton* KineticTypeDialog::roleButton(SymbolRole role) const {
  return qobject_cast<QRadioButton*>(roles_->button(static_cast<int>(role)));
}

void KineticTypeDialog::TakeFields() {
  editor_.SetName(name_->text().toStdString());
  editor_.SetExpression(function_->toPlainText().toStdString());
  editor_.SetReversible(reversible_->isChecked());
}

void KineticTypeDialog::PressFunctionButton() {
  TakeFields();
  editor_.PressFunctionButton(sink_);
  Refresh();
}

void KineticTypeDialog::LeaveCount(QLineEdit* field, bool substrates) {
  if (!isVisible()) return;
  const std::string text = field->text().toStdString();
  const bool fine =
      substrates ? editor_.LeaveSubstrates(text, sink_) : editor_.LeaveProducts(text, sink_);
  if (!fine) {
    // Back to the field once the focus change that left it is over.
    QTimer::singleShot(0, field, [field] {
      field->setFocus();
      field->selectAll();
    });
  }
  Refresh();
}

void KineticTypeDialog::OnRoleChosen(int role) {
  const int symbol = symbols_->currentRow();
  if (symbol < 0) return;
  editor_.SetRole(symbol, static_cast<SymbolRole>(role));
  Refresh();
}

void KineticTypeDialog::accept() {
  TakeFields();
  if (!editor_.LeaveSubstrates(sink_) || !editor_.LeaveProducts(sink_)) return;
  if (finish_ && !finish_()) {
    Refresh();
    return;
  }
  QDialog::accept();
}

void KineticTypeDialog::Refresh() {
  const QSignalBlocker blockSymbols(symbols_);
  const QSignalBlocker blockRoles(roles_);
  const QSignalBlocker blockSubstrates(substrates_);
  const QSignalBlocker blockProducts(products_);
  const QSignalBlocker blockReversible(reversible_);
  const int chosen = symbols_->currentRow();
  if (function_->toPlainText().toStdString() != editor_.expression() &&
      !editor_.expressionEditable()) {
    function_->setPlainText(ToQString(editor_.expression()));
  }
  function_->setReadOnly(!editor_.expressionEditable());
  functionButton_->setText(ToQString(editor_.functionButtonText()));
  substrates_->setText(QString::number(editor_.substrates()));
  products_->setText(QString::number(editor_.products()));
  reversible_->setChecked(editor_.reversible());
  symbols_->clear();
  for (const KineticTypeEditor::Symbol& symbol : editor_.symbols()) {
    symbols_->addItem(ToQString(symbol.name));
  }
  const int count = static_cast<int>(editor_.symbols().size());
  const int row = chosen >= 0 && chosen < count ? chosen : (count > 0 ? 0 : -1);
  symbols_->setCurrentRow(row);
  for (QAbstractButton* button : roles_->buttons()) {
    button->setEnabled(editor_.rolesEnabled() && row >= 0);
  }
  if (row >= 0) {
    roles_->button(static_cast<int>(editor_.symbols()[static_cast<std::size_t>(row)].role))
        ->setChecked(true);
  }
  ok_->setEnabled(editor_.okEnabled());
  ok_->setText(ToQString(editor_.okButtonText()));
  cancel_->setEnabled(editor_.cancelEnabled());
}

}  // namespace vireon
