#pragma once
// The rules of the scan page, without the drawing: the scan switch, the
// list of scan items (add, up, down, delete), the fields of the selected
// item and the count of iterations. The page forwards the user's actions
// here and draws what this object says. It edits the document's scan in
// place, as the page does, and remembers that the document was modified.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/message_sink.h"
#include "scan/scan_item.h"

namespace vireon {

class ScanPageEditor {
 public:
  ScanPageEditor(ScanList& scan, MessageSink& sink);

  // "Enable" / "Disable": the button's text names the action it performs.
  void ToggleEnabled();
  std::string EnableButtonText() const;
  // "Iterations": 1 with the scan off, otherwise totalIterations.
  int IterationsShown() const;
  int totalIterations() const { return totalIterations_; }

  // "&Add": appends the chosen quantity as a new item with the defaults
  // (Min 1, Max 2, density 2, regular grid, linear, master) and selects it.
  // Returns its index.
  int Add(const OutputItem& quantity);
  // "Up" / "Down" swap the selected item with its neighbour (the selection
  // follows it); "&Delete" removes it. False when there is nothing to do.
  bool MoveUp();
  bool MoveDown();
  bool Delete();

  // -1 selects nothing.
  void Select(int index);
  int selected() const { return selected_; }
  const ScanItem* SelectedItem() const;

  // With no item selected every field is disabled; the density field is
  // enabled only for masters; the first item's "Master" box cannot be cleared.
  bool FieldsEnabled() const { return SelectedItem() != nullptr; }
  bool DensityEnabled() const;
  bool MasterEditable() const;
  // "Min"/"Max" for a grid or uniform item, "Mean"/"Std.Dev." for the normal kinds.
  std::string MinLabel() const;
  std::string MaxLabel() const;

  // Editing an end of a grid or uniform item to the value of the other end
  // shows message 5026, keeps the old value and returns false (the page then
  // puts the focus back into the field).
  bool SetMin(double value);
  bool SetMax(double value);
  // The same from the text typed into the field, read as "%lf" reads (the
  // number at the start of the text, finite); text that holds none is
  // refused, with the field's label and the reason, and the end stays.
  bool SetMinText(std::string_view text);
  bool SetMaxText(std::string_view text);
  // Accepts integers from 2 upwards, for masters only.
  bool SetDensity(int density);
  // Clearing "Master" makes the item follow the nearest master before it
  // and copies that master's density; refused for the first item.
  bool SetMaster(bool master);
  // A ScanKind from 0 to 3.
  bool SetKind(int kind);

  // The random kinds in the order of the page's "Random" list, with their
  // names there: "Uniform", "Normal", "Pos.Normal".
  struct RandomKind {
    int kind;
    const char* name;
  };
  static std::span<const RandomKind> RandomKinds();
  // Whether the selected item draws random values (any kind but the grid
  // and an unknown kind read from a file), and which entry of RandomKinds
  // it is (-1 for none).
  bool SelectedIsRandom() const;
  int SelectedRandomChoice() const;
  // The page's kind buttons: the grid, or the random kind at position
  // `choice` of RandomKinds (a position outside the list means the first).
  bool ChooseKind(bool random, int choice);
  bool SetLogarithmic(bool logarithmic);

  bool modified() const { return modified_; }
  void ClearModified() { modified_ = false; }

 private:
  ScanItem* Selected();
  bool SetEnd(double value, bool isMin);
  bool SetEndText(std::string_view text, bool isMin);
  // After every change of the list: item 0 is a master, the count is redone.
  void Changed();

  ScanList& scan_;
  MessageSink& sink_;
  int selected_ = -1;
  int totalIterations_ = 1;
  bool modified_ = false;
};

}  // namespace vireon
