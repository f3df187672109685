#include "scan/scan_page_editor.h"

#include <iterator>
#include <utility>

#include "model/messages.h"
#include "model/number_text.h"
#include "scan/scan.h"

namespace vireon {

ScanPageEditor::ScanPageEditor(ScanList& scan, MessageSink& sink) : scan_(scan), sink_(sink) {
  totalIterations_ = CountIterations(scan_.items);
}

void ScanPageEditor::ToggleEnabled() {
  scan_.enabled = scan_.enabled != 0 ? 0 : 1;
  modified_ = true;
}

std::string ScanPageEditor::EnableButtonText() const {
  return scan_.enabled != 0 ? "Disable" : "Enable";
}

int ScanPageEditor::IterationsShown() const {
  return scan_.enabled != 0 ? totalIterations_ : 1;
}

int ScanPageEditor::Add(const OutputItem& quantity) {
  ScanItem item(quantity);
  scan_.items.push_back(std::move(item));
  selected_ = static_cast<int>(scan_.items.size()) - 1;
  Changed();
  return selected_;
}

bool ScanPageEditor::MoveUp() {
  if (selected_ <= 0 || selected_ >= static_cast<int>(scan_.items.size())) return false;
  std::swap(scan_.items[selected_], scan_.items[selected_ - 1]);
  --selected_;
  Changed();
  return true;
}

bool ScanPageEditor::MoveDown() {
  if (selected_ < 0 || selected_ + 1 >= static_cast<int>(scan_.items.size())) return false;
  std::swap(scan_.items[selected_], scan_.items[selected_ + 1]);
  ++selected_;
  Changed();
  return true;
}

bool ScanPageEditor::Delete() {
  if (Selected() == nullptr) return false;
  scan_.items.erase(scan_.items.begin() + selected_);
  if (selected_ >= static_cast<int>(scan_.items.size())) {
    selected_ = static_cast<int>(scan_.items.size()) - 1;
  }
  Changed();
  return true;
}

void ScanPageEditor::Select(int index) {
  selected_ = index >= 0 && index < static_cast<int>(scan_.items.size()) ? index : -1;
}

const ScanItem* ScanPageEditor::SelectedItem() const {
  if (selected_ < 0 || selected_ >= static_cast<int>(scan_.items.size())) return nullptr;
  return &scan_.items[selected_];
}

ScanItem* ScanPageEditor::Selected() {
  return const_cast<ScanItem*>(SelectedItem());
}

bool ScanPageEditor::DensityEnabled() const {
  const ScanItem* item = SelectedItem();
  return item != nullptr && item->IsMaster();
}

bool ScanPageEditor::MasterEditable() const {
  return SelectedItem() != nullptr && selected_ > 0;
}

std::string ScanPageEditor::MinLabel() const {
  const ScanItem* item = SelectedItem();
  return item != nullptr && !item->HasRange() && item->grid != kScanNone ? "Mean" : "Min";
}

std::string ScanPageEditor::MaxLabel() const {
  const ScanItem* item = SelectedItem();
  return item != nullptr && !item->HasRange() && item->grid != kScanNone ? "Std.Dev." : "Max";
}

bool ScanPageEditor::SetEnd(double value, bool isMin) {
  ScanItem* item = Selected();
  if (item == nullptr) return false;
  const double other = isMin ? item->max : item->min;
  if (item->HasRange() && value == other) {
    sink_.Warning("", messages::kScanEndsEqual);
    return false;
  }
  (isMin ? item->min : item->max) = value;
  modified_ = true;
  return true;
}

bool ScanPageEditor::SetMin(double value) {
  return SetEnd(value, true);
}
bool ScanPageEditor::SetMax(double value) {
  return SetEnd(value, false);
}

bool ScanPageEditor::SetMinText(std::string_view text) {
  return SetEndText(text, true);
}
bool ScanPageEditor::SetMaxText(std::string_view text) {
  return SetEndText(text, false);
}

bool ScanPageEditor::SetEndText(std::string_view text, bool isMin) {
  if (Selected() == nullptr) return false;
  const std::optional<double> value = ParseReal(text, NumberExtent::kPrefix);
  if (!value) {
    sink_.Warning("", RealRefusalMessage(isMin ? MinLabel() : MaxLabel(), text,
                                         NumberExtent::kPrefix));
    return false;
  }
  return SetEnd(*value, isMin);
}

bool ScanPageEditor::SetDensity(int density) {
  ScanItem* item = Selected();
  if (item == nullptr || !item->IsMaster() || density < kScanMinimumDensity) return false;
  item->density = density;
  Changed();
  return true;
}

bool ScanPageEditor::SetMaster(bool master) {
  ScanItem* item = Selected();
  if (item == nullptr) return false;
  if (!master) {
    if (selected_ == 0) return false;
    int m = selected_ - 1;
    while (m > 0 && !scan_.items[m].IsMaster()) --m;
    item->density = scan_.items[m].density;
  }
  item->independent = master ? 1 : 0;
  Changed();
  return true;
}

bool ScanPageEditor::SetKind(int kind) {
  ScanItem* item = Selected();
  if (item == nullptr || kind < kScanRegularGrid || kind > kScanPositiveNormal) return false;
  item->grid = kind;
  modified_ = true;
  return true;
}

namespace {

constexpr ScanPageEditor::RandomKind kRandomKinds[] = {
    {kScanUniform, "Uniform"}, {kScanNormal, "Normal"}, {kScanPositiveNormal, "Pos.Normal"}};

}  // namespace

std::span<const ScanPageEditor::RandomKind> ScanPageEditor::RandomKinds() {
  return kRandomKinds;
}

bool ScanPageEditor::SelectedIsRandom() const {
  return SelectedRandomChoice() >= 0;
}

int ScanPageEditor::SelectedRandomChoice() const {
  const ScanItem* item = SelectedItem();
  if (item == nullptr) return -1;
  for (std::size_t k = 0; k < std::size(kRandomKinds); ++k) {
    if (kRandomKinds[k].kind == item->grid) return static_cast<int>(k);
  }
  return -1;
}

bool ScanPageEditor::ChooseKind(bool random, int choice) {
  if (!random) return SetKind(kScanRegularGrid);
  const bool inList = choice >= 0 && choice < static_cast<int>(std::size(kRandomKinds));
  return SetKind(kRandomKinds[inList ? choice : 0].kind);
}

bool ScanPageEditor::SetLogarithmic(bool logarithmic) {
  ScanItem* item = Selected();
  if (item == nullptr) return false;
  item->log = logarithmic ? 1 : 0;
  modified_ = true;
  return true;
}

void ScanPageEditor::Changed() {
  if (!scan_.items.empty()) scan_.items[0].independent = 1;
  totalIterations_ = CountIterations(scan_.items);
  modified_ = true;
}

}  // namespace vireon
