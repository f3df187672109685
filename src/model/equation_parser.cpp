#include "model/equation_parser.h"

#include <algorithm>
#include <string>
#include <vector>

namespace vireon {

namespace {

// The characters removed from an equation before parsing. A carriage return
// is not among them.
bool IsRemovedWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f';
}

// The characters "%d" skips before a number (the C locale's white space).
bool IsFormattedInputSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

enum class NumberRead { kNothing, kRead, kTooLarge };

// Reads a whole number at the start of text as "%d" does: optional white
// space, an optional sign, then digits. A value outside the int range is
// reported as kTooLarge instead of being read.
NumberRead ReadLeadingInt(std::string_view text, int& value) {
  std::size_t i = 0;
  while (i < text.size() && IsFormattedInputSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || !IsDigit(text[i])) return NumberRead::kNothing;
  // Accumulate as a negative number so that the most negative int fits.
  constexpr long long kLowest = -2147483648LL;
  long long magnitude = 0;
  bool tooLarge = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (!tooLarge) {
      magnitude = magnitude * 10 - (text[i] - '0');
      if (magnitude < kLowest) tooLarge = true;
    }
  }
  if (tooLarge) return NumberRead::kTooLarge;
  long long result = negative ? magnitude : -magnitude;
  if (result > 2147483647LL) return NumberRead::kTooLarge;
  value = static_cast<int>(result);
  return NumberRead::kRead;
}

std::string RemoveWhitespace(std::string_view text) {
  std::string cleaned;
  cleaned.reserve(text.size());
  for (char c : text) {
    if (!IsRemovedWhitespace(c)) cleaned.push_back(c);
  }
  return cleaned;
}

bool ValidStep(const StepTable& steps, int index) {
  return index >= 0 && index < steps.count();
}

bool ValidWorkingStep(const Model& working, int index) {
  return index >= 0 && index < working.nSteps() && index < working.stoichiometry.columns();
}

// Whether the working model has a stoichiometry row for a metabolite index.
bool WorkingHasRow(const Model& working, int metabolite) {
  return metabolite >= 0 && metabolite < working.stoichiometry.rows();
}

// Records a term in the working model's stoichiometry and lists.
void AddToWorking(ParseTarget& target, int metabolite, int sign, int coefficient) {
  if (!ValidWorkingStep(target.working, target.stepIndex)) return;
  if (!WorkingHasRow(target.working, metabolite)) return;
  target.working.AddStoichiometry(target.stepIndex, metabolite, sign, coefficient);
}

int FindInTable(const ParseTarget& target, std::string_view name) {
  if (target.names != nullptr) return target.names->InTable(name);
  const MetaboliteTable& table = target.metabolites;
  for (int i = 0; i < table.count(); ++i) {
    if (table.records[static_cast<std::size_t>(i)].name == name) return i;
  }
  return -1;
}

int FindInReference(const ParseTarget& target, std::string_view name) {
  if (target.names != nullptr) return target.names->InReference(name);
  return target.reference.FindMetabolite(name);
}

// Steps 3 to 6 of the equation: the text is already free of whitespace.
int ParseCleanEquation(std::string_view text, ParseMode mode, ParseTarget& target) {
  if (text == "->") return -1;

  std::size_t separator = std::string_view::npos;
  std::size_t separatorLength = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '=') {
      separator = i;
      separatorLength = 1;
      break;
    }
    if (text[i] == '-' && i + 1 < text.size() && text[i + 1] == '>') {
      separator = i;
      separatorLength = 2;
      break;
    }
  }
  if (separator == std::string_view::npos) return -1;

  std::string_view left = text.substr(0, separator);
  std::string_view right = text.substr(separator + separatorLength);
  if (right.find('=') != std::string_view::npos) return -1;
  if (right.find("->") != std::string_view::npos) return -1;

  if (mode == ParseMode::kCountMetabolites && ValidStep(target.steps, target.stepIndex)) {
    target.steps.records[static_cast<std::size_t>(target.stepIndex)].reversible =
        separatorLength == 1 ? 1 : 0;
  }

  int leftUnits = ParseSide(left, -1, mode, target);
  if (leftUnits < 0) return -1;
  int rightUnits = ParseSide(right, +1, mode, target);
  if (rightUnits < 0) return -1;
  // Both are at most kMaxEquationUnits, so the sum cannot overflow.
  int units = leftUnits + rightUnits;
  if (units > kMaxEquationUnits) return -1;
  return units;
}

// Stand-ins for the tables when only the syntax is tested.
struct SyntaxOnly {
  Model reference;
  Model working;
  StepTable steps;
  MetaboliteTable metabolites;
};

}  // namespace

MetaboliteNameIndex::MetaboliteNameIndex(const MetaboliteTable& table, const Model& reference) {
  table_.reserve(table.records.size());
  for (std::size_t i = 0; i < table.records.size(); ++i) {
    table_.emplace(table.records[i].name, static_cast<int>(i));
  }
  reference_.reserve(reference.metabolites.size());
  for (std::size_t i = 0; i < reference.metabolites.size(); ++i) {
    reference_.emplace(reference.metabolites[i].name, static_cast<int>(i));
  }
}

void MetaboliteNameIndex::AddToTable(std::string_view name, int position) {
  table_.emplace(std::string(name), position);
}

int MetaboliteNameIndex::Find(const Map& map, std::string_view name) {
  const auto found = map.find(name);
  return found == map.end() ? -1 : found->second;
}

int InitialTableCapacity(int count) {
  if (count < kSmallTableCount) return kInitialTableCapacity;
  double scaled = count * kTableGrowthFactor;
  return scaled < 2147483647.0 ? static_cast<int>(scaled) : 2147483647;
}

int ParseEquation(std::string_view text, ParseMode mode, ParseTarget& target) {
  // 1. The step's counts start again from zero.
  if (ValidStep(target.steps, target.stepIndex)) {
    Step& step = target.steps.records[static_cast<std::size_t>(target.stepIndex)];
    step.nSubstrates = 0;
    step.nProducts = 0;
  }

  // 2. Whitespace goes.
  std::string cleaned = RemoveWhitespace(text);

  if (mode == ParseMode::kTestSyntax) return ParseCleanEquation(cleaned, mode, target);

  // The collecting modes change the tables term by term, so the whole text is
  // checked first: a text with an error in its last term must not leave the
  // metabolites of its first terms behind.
  if (ParseCleanEquation(cleaned, ParseMode::kTestSyntax, target) < 0) return -1;

  if (mode == ParseMode::kFillStoichiometry && ValidWorkingStep(target.working, target.stepIndex)) {
    Step& step = target.working.steps[static_cast<std::size_t>(target.stepIndex)];
    step.SizeSubstrates(step.nSubstrates);
    step.SizeProducts(step.nProducts);
    Matrix<float>& n = target.working.stoichiometry;
    for (int m = 0; m < n.rows(); ++m) n[m][target.stepIndex] = 0.0f;
  }
  return ParseCleanEquation(cleaned, mode, target);
}

int ParseEquation(std::string_view text, ParseMode mode, const Model& reference, Model& working,
                  StepTable& steps, MetaboliteTable& metabolites, int stepIndex) {
  ParseTarget target{reference, working, steps, metabolites, stepIndex};
  return ParseEquation(text, mode, target);
}

int TestEquation(std::string_view text) {
  SyntaxOnly tables;
  ParseTarget target{tables.reference, tables.working, tables.steps, tables.metabolites, -1};
  return ParseEquation(text, ParseMode::kTestSyntax, target);
}

namespace {

// An equation with its whitespace removed and, for every character kept,
// where it stood in the text as typed.
struct CleanedEquation {
  std::string text;
  std::vector<std::size_t> origin;
  std::size_t typedSize = 0;

  std::size_t Typed(std::size_t cleaned) const {
    return cleaned < origin.size() ? origin[cleaned] : typedSize;
  }
};

CleanedEquation CleanWithOrigins(std::string_view text) {
  CleanedEquation cleaned;
  cleaned.typedSize = text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsRemovedWhitespace(text[i])) continue;
    cleaned.text.push_back(text[i]);
    cleaned.origin.push_back(i);
  }
  return cleaned;
}

// The fault of one term, which starts at `from` in the cleaned text;
// `units` counts the units so far and grows by the term's coefficient.
std::optional<SyntaxFault> FindTermFault(const CleanedEquation& cleaned, std::size_t from,
                                         std::string_view term, int& units) {
  const std::string limit = std::to_string(kMaxEquationUnits);
  if (std::size_t point = term.find('.'); point != std::string_view::npos) {
    return SyntaxFault{cleaned.Typed(from + point), "a term holds no \".\": coefficients are whole numbers"};
  }
  int coefficient = 1;
  std::string_view name = term;
  std::size_t star = term.find('*');
  if (star != std::string_view::npos) {
    NumberRead read = ReadLeadingInt(term, coefficient);
    if (read == NumberRead::kNothing) {
      return SyntaxFault{cleaned.Typed(from), "a whole number must come before \"*\""};
    }
    if (read == NumberRead::kTooLarge) coefficient = kMaxEquationUnits + 1;
    name = term.substr(star + 1);
  }
  if (coefficient < 1 || coefficient > kMaxEquationUnits) {
    return SyntaxFault{cleaned.Typed(from), "a coefficient is a whole number from 1 to " + limit};
  }
  if (name.empty()) {
    return SyntaxFault{cleaned.Typed(from + star), "a name is missing after \"*\""};
  }
  if (std::size_t second = name.find('*'); second != std::string_view::npos) {
    return SyntaxFault{cleaned.Typed(from + star + 1 + second), "a term holds one \"*\" at most"};
  }
  units += coefficient;
  if (units > kMaxEquationUnits) {
    return SyntaxFault{cleaned.Typed(from),
                       "the equation holds more than " + limit + " molecules in all"};
  }
  return std::nullopt;
}

// The fault of one side, which spans [from, to) of the cleaned text.
std::optional<SyntaxFault> FindSideFault(const CleanedEquation& cleaned, std::size_t from,
                                         std::size_t to, int& units) {
  std::size_t position = from;
  while (position < to) {
    if (cleaned.text[position] == '+') {
      return SyntaxFault{cleaned.Typed(position), "a term is missing before \"+\""};
    }
    std::size_t plus = cleaned.text.find('+', position);
    if (plus >= to) plus = to;
    std::string_view term(cleaned.text.data() + position, plus - position);
    if (auto fault = FindTermFault(cleaned, position, term, units)) return fault;
    if (plus == to) return std::nullopt;
    if (plus + 1 == to) {
      return SyntaxFault{cleaned.Typed(plus), "a term is missing after \"+\""};
    }
    position = plus + 1;
  }
  return std::nullopt;
}

}  // namespace

std::optional<SyntaxFault> FindEquationFault(std::string_view text) {
  if (TestEquation(text) >= 0) return std::nullopt;
  const CleanedEquation cleaned = CleanWithOrigins(text);
  const std::string& clean = cleaned.text;
  if (clean == "->") {
    return SyntaxFault{cleaned.Typed(0), "a step needs a substrate or a product"};
  }
  std::size_t separator = std::string::npos;
  std::size_t separatorLength = 0;
  for (std::size_t i = 0; i < clean.size(); ++i) {
    if (clean[i] == '=') {
      separator = i;
      separatorLength = 1;
      break;
    }
    if (clean[i] == '-' && i + 1 < clean.size() && clean[i + 1] == '>') {
      separator = i;
      separatorLength = 2;
      break;
    }
  }
  if (separator == std::string::npos) {
    return SyntaxFault{text.size(), "\"=\" or \"->\" must stand between substrates and products"};
  }
  const std::size_t rightStart = separator + separatorLength;
  const std::size_t second =
      std::min(clean.find('=', rightStart), clean.find("->", rightStart));
  if (second != std::string::npos) {
    return SyntaxFault{cleaned.Typed(second), "an equation has one \"=\" or \"->\""};
  }
  int units = 0;
  if (auto fault = FindSideFault(cleaned, 0, separator, units)) return fault;
  if (auto fault = FindSideFault(cleaned, rightStart, clean.size(), units)) return fault;
  // TestEquation refused what this walk takes: say so rather than nothing.
  return SyntaxFault{0, ""};
}

std::string EquationFaultMessage(std::string_view text) {
  const std::optional<SyntaxFault> fault = FindEquationFault(text);
  return fault ? DescribeSyntaxFault(text, *fault) : std::string();
}

int ParseSide(std::string_view side, int sign, ParseMode mode, ParseTarget& target) {
  int units = 0;
  std::string_view rest = side;
  for (;;) {
    if (!rest.empty() && rest.front() == '+') return -1;  // leading or doubled "+"
    if (rest.empty()) return units;
    std::size_t plus = rest.find('+');
    std::string_view term = rest.substr(0, plus);
    int coefficient = ParseTerm(term, sign, mode, target);
    if (coefficient < 1) return coefficient;
    units += coefficient;
    if (units > kMaxEquationUnits) return -1;
    if (plus == std::string_view::npos) return units;
    rest = rest.substr(plus + 1);
    if (rest.empty()) return -1;  // trailing "+"
  }
}

int ParseTerm(std::string_view term, int sign, ParseMode mode, ParseTarget& target) {
  // 1. A decimal point is never part of a term.
  if (term.find('.') != std::string_view::npos) return -1;

  // 2. Coefficient and name.
  int coefficient = 1;
  std::string_view name = term;
  std::size_t star = term.find('*');
  if (star != std::string_view::npos) {
    if (ReadLeadingInt(term, coefficient) != NumberRead::kRead) return -1;
    name = term.substr(star + 1);
  }

  // 3. A count of molecules is a whole number from 1 up; a negative one is
  // not chemistry and is refused like zero.
  if (coefficient < 1 || coefficient > kMaxEquationUnits) return -1;
  if (name.empty()) return -1;
  if (name.find('*') != std::string_view::npos) return -1;

  if (mode == ParseMode::kTestSyntax) return coefficient;

  // 4. The step's counts.
  if (mode == ParseMode::kCountMetabolites && ValidStep(target.steps, target.stepIndex)) {
    Step& step = target.steps.records[static_cast<std::size_t>(target.stepIndex)];
    if (sign < 0) {
      step.nSubstrates += coefficient;
    } else {
      step.nProducts += coefficient;
    }
  }

  // 5. The metabolite: known in the table, known in the document, or new.
  MetaboliteTable& table = target.metabolites;
  int index = FindInTable(target, name);
  if (index >= 0) {
    if (mode == ParseMode::kFillStoichiometry) AddToWorking(target, index, sign, coefficient);
    return coefficient;
  }

  int newIndex = table.count();
  // The stoichiometry of the working model was sized from the table, so a
  // name the table lacks cannot be filled in.
  if (mode == ParseMode::kFillStoichiometry && !WorkingHasRow(target.working, newIndex)) return -1;

  GrowTableIfFull(table);
  int known = FindInReference(target, name);
  if (known >= 0) {
    table.records.push_back(target.reference.metabolites[static_cast<std::size_t>(known)]);
  } else {
    table.records.emplace_back(std::string(name), INDEPENDENT, 0, target.defaultConcentration);
  }
  if (target.names != nullptr) target.names->AddToTable(name, newIndex);
  if (mode == ParseMode::kFillStoichiometry) AddToWorking(target, newIndex, sign, coefficient);

  // 6.
  return coefficient;
}

void RebuildEquations(Model& model) {
  auto appendNames = [&model](std::string& text, const std::vector<int>& list) {
    bool first = true;
    for (int index : list) {
      // An index outside the model names nothing and is left out.
      if (index < 0 || index >= model.nMetabolites()) continue;
      if (!first) text += " + ";
      text += model.metabolites[static_cast<std::size_t>(index)].name;
      first = false;
    }
  };
  for (Step& step : model.steps) {
    std::string text;
    appendNames(text, step.substrates);
    text += step.reversible != 0 ? " = " : " -> ";
    appendNames(text, step.products);
    step.equation = std::move(text);
  }
}

}  // namespace vireon
