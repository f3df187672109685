#include "sbml/sbml_names.h"

#include "kinetics/expression.h"

namespace vireon::sbml {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Unique(const std::string& base, std::set<std::string>& taken, const char* separator,
                   bool (*usable)(const std::string&)) {
  std::string name = base;
  for (int k = 2; taken.count(name) > 0 || !usable(name); ++k) {
    name = base + separator + std::to_string(k);
  }
  taken.insert(name);
  return name;
}

bool IsUsableSymbol(const std::string& name) {
  return KineticExpressionDialect().FunctionCode(name) == 0;
}

bool AnyId(const std::string&) { return true; }

}  // namespace

std::string SymbolNamer::Name(std::string_view id) {
  std::string base;
  for (char c : id) {
    if (IsLetter(c) || IsDigit(c)) base += c;
  }
  if (base.empty() || !IsLetter(base.front())) base = "x" + base;
  return Unique(base, taken_, "", IsUsableSymbol);
}

std::string IdNamer::Name(std::string_view name) {
  std::string base;
  for (char c : name) base += IsLetter(c) || IsDigit(c) || c == '_' ? c : '_';
  if (base.empty() || IsDigit(base.front())) base = "_" + base;
  return Unique(base, taken_, "_", AnyId);
}

}  // namespace vireon::sbml
