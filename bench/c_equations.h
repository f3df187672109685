#pragma once
// The equations of a model as C source, for the peer of the benchmarks:
// the right-hand side over the same state (the nVariable amounts, by engine
// position) and its exact Jacobian in compressed columns, differentiated
// forward through every rate law when the source is generated. The system
// compiler turns it into a shared object that CVODE integrates.
//
// The rows are the engine's: each independent amount changes by the sum of
// its steps' rates times coefficient x volume, each dependent one by minus
// its conservation row over the independent rates. A law reads a
// metabolite's concentration as its amount over its volume; fixed amounts
// are constants. Models with rules, events or fast steps, and laws the
// generator has no formula for, are refused with the reason.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "kinetics/expression.h"
#include "kinetics/kinetic_function.h"
#include "kinetics/kinetic_type.h"
#include "model/model.h"

namespace vireon::bench {

struct CEquations {
  std::string source;
  std::string problem;  // empty when the source was generated
  int n = 0;            // variables
  std::vector<int> columnStart, rows;  // the Jacobian's pattern, 0-based
};

namespace detail {

// A rate law as the generator sees it.
struct Law {
  enum Op {
    kNumber, kVariable, kAdd, kSub, kMul, kDiv, kPow, kNeg, kFunc, kLess, kGreater, kLessEqual,
    kGreaterEqual, kEqual, kNotEqual, kAnd, kOr, kXor, kNot, kPiecewise, kMax, kMin, kQuotient,
    kRemainder, kAbs, kFloor, kCeiling
  };
  Op op = kNumber;
  double value = 0.0;     // numbers (concentrations of fixed metabolites, constants)
  int variable = -1;      // kVariable: the 0-based state index
  double volume = 1.0;    // kVariable: concentration = y / volume
  std::string function;   // kFunc: the C function
  std::vector<std::shared_ptr<Law>> args;
};
using LawPtr = std::shared_ptr<Law>;

inline LawPtr Number(double v) {
  auto l = std::make_shared<Law>();
  l->value = v;
  return l;
}
inline LawPtr Make(Law::Op op, std::vector<LawPtr> args, std::string function = {}) {
  auto l = std::make_shared<Law>();
  l->op = op;
  l->args = std::move(args);
  l->function = std::move(function);
  return l;
}

class Generator {
 public:
  explicit Generator(const Model& model) : model_(model) {}

  // The concentration a law reads of metabolite m.
  LawPtr Concentration(int m) const {
    if (m < 0 || m >= model_.nMetabolites()) return Number(0.0);
    const int position = model_.metabolitePosition[static_cast<std::size_t>(m)];
    const double volume = model_.VolumeOf(m);
    if (position < model_.nVariable) {
      auto l = std::make_shared<Law>();
      l->op = Law::kVariable;
      l->variable = position;
      l->volume = volume;
      return l;
    }
    const double amount = model_.metabolites[static_cast<std::size_t>(m)].initialConcentration * volume;
    return Number(amount / volume);
  }
  LawPtr Listed(const std::vector<int>& list, int i) const {
    if (i < 0 || i >= static_cast<int>(list.size())) return Number(0.0);
    return Concentration(list[static_cast<std::size_t>(i)]);
  }

  // The law of step k, or null with problem_ set.
  LawPtr StepLaw(int k) {
    const Step& step = model_.steps[static_cast<std::size_t>(k)];
    const KineticType* type = step.kineticType;
    if (type == nullptr) return Number(0.0);
    const auto K = [&](int i) {
      return Number(i < static_cast<int>(step.constants.size()) ? step.constants[static_cast<std::size_t>(i)] : 0.0);
    };
    const auto S = [&](int i) { return Listed(step.substrates, i); };
    const auto P = [&](int i) { return Listed(step.products, i); };
    if (type->function) return FromNodes(*type->function, step);
    const std::string& name = type->name;
    if (name.rfind("Constant flux", 0) == 0) return K(0);
    if (name == "Mass action (irreversible)" || name == "Mass action (reversible)") {
      LawPtr forward = K(0);
      for (int i = 0; i < static_cast<int>(step.substrates.size()); ++i) {
        forward = Make(Law::kMul, {forward, S(i)});
      }
      if (name == "Mass action (irreversible)") return forward;
      LawPtr backward = K(1);
      for (int j = 0; j < static_cast<int>(step.products.size()); ++j) {
        backward = Make(Law::kMul, {backward, P(j)});
      }
      return Make(Law::kSub, {forward, backward});
    }
    if (name == "Henri-Michaelis-Menten (irreversible)") {
      return Make(Law::kDiv, {Make(Law::kMul, {K(1), S(0)}), Make(Law::kAdd, {K(0), S(0)})});
    }
    if (name == "Reversible Michaelis-Menten") {
      LawPtr s = Make(Law::kDiv, {S(0), K(0)}), p = Make(Law::kDiv, {P(0), K(1)});
      return Make(Law::kDiv, {Make(Law::kSub, {Make(Law::kMul, {K(2), s}), Make(Law::kMul, {K(3), p})}),
                              Make(Law::kAdd, {Make(Law::kAdd, {Number(1.0), s}), p})});
    }
    problem_ = "no C formula for the kinetic type \"" + name + "\"";
    return nullptr;
  }

  LawPtr FromNodes(const KineticFunction& function, const Step& step) {
    const std::vector<KineticNode>& nodes = function.nodes();
    if (nodes.empty()) return Number(0.0);
    return Node(nodes, nodes[0].left, step, 0);
  }

  // The arguments of a call: the operand, or a chain of commas.
  static std::vector<int> Arguments(const std::vector<KineticNode>& nodes, int operand) {
    std::vector<int> list;
    int next = operand;
    while (next > 0 && next < static_cast<int>(nodes.size()) &&
           nodes[static_cast<std::size_t>(next)].IsOperator(node_code::kComma)) {
      list.push_back(nodes[static_cast<std::size_t>(next)].left);
      next = nodes[static_cast<std::size_t>(next)].right;
    }
    if (next != kNoNode) list.push_back(next);
    return list;
  }

  LawPtr Node(const std::vector<KineticNode>& nodes, int position, const Step& step, int depth) {
    if (!problem_.empty()) return Number(0.0);
    if (position <= 0 || position >= static_cast<int>(nodes.size()) || depth > 4000) {
      return Number(0.0);
    }
    const KineticNode& node = nodes[static_cast<std::size_t>(position)];
    const auto child = [&](int p) { return Node(nodes, p, step, depth + 1); };
    switch (node.kind) {
      case node_kind::kNumber:
        return Number(node.value);
      case node_kind::kSubstrate:
        return Listed(step.substrates, node.index);
      case node_kind::kProduct:
        return Listed(step.products, node.index);
      case node_kind::kModifier:
        return Listed(step.modifiers, node.index);
      case node_kind::kConstant:
        return Number(node.index >= 0 && node.index < step.ConstantCount()
                          ? step.constants[static_cast<std::size_t>(node.index)]
                          : 0.0);
      case node_kind::kOperator: {
        static const std::map<char, Law::Op> ops = {{node_code::kPlus, Law::kAdd},
                                                    {node_code::kMinus, Law::kSub},
                                                    {node_code::kTimes, Law::kMul},
                                                    {node_code::kDivide, Law::kDiv},
                                                    {node_code::kPower, Law::kPow}};
        const auto op = ops.find(node.code);
        if (op == ops.end()) return Number(0.0);
        return Make(op->second, {child(node.left), child(node.right)});
      }
      case node_kind::kFunction:
        return Function(nodes, node, step, depth);
      default:
        problem_ = "an unbound symbol in a rate law";
        return Number(0.0);
    }
  }

  LawPtr Function(const std::vector<KineticNode>& nodes, const KineticNode& node, const Step& step,
                  int depth) {
    const auto child = [&](int p) { return Node(nodes, p, step, depth + 1); };
    static const std::map<char, std::string> oneArgument = {
        {node_code::kLog, "log"},     {node_code::kLog10, "log10"}, {node_code::kExp, "exp"},
        {node_code::kSin, "sin"},     {node_code::kCos, "cos"},     {node_code::kArcSin, "asin"},
        {node_code::kArcCos, "acos"}, {node_code::kArcTan, "atan"}, {node_code::kSinh, "sinh"},
        {node_code::kCosh, "cosh"},   {node_code::kTanh, "tanh"},   {node_code::kArcSinh, "asinh"},
        {node_code::kArcCosh, "acosh"}, {node_code::kArcTanh, "atanh"}};
    if (node.code == node_code::kPlus) return child(node.left);
    if (node.code == node_code::kMinus) return Make(Law::kNeg, {child(node.left)});
    if (const auto f = oneArgument.find(node.code); f != oneArgument.end()) {
      return Make(Law::kFunc, {child(node.left)}, f->second);
    }
    std::vector<LawPtr> args;
    for (int p : Arguments(nodes, node.left)) args.push_back(child(p));
    static const std::map<char, Law::Op> calls = {
        {node_code::kLess, Law::kLess},       {node_code::kGreater, Law::kGreater},
        {node_code::kLessEqual, Law::kLessEqual}, {node_code::kGreaterEqual, Law::kGreaterEqual},
        {node_code::kEqual, Law::kEqual},     {node_code::kNotEqual, Law::kNotEqual},
        {node_code::kAnd, Law::kAnd},         {node_code::kOr, Law::kOr},
        {node_code::kXor, Law::kXor},         {node_code::kNot, Law::kNot},
        {node_code::kPiecewise, Law::kPiecewise}, {node_code::kMax, Law::kMax},
        {node_code::kMin, Law::kMin},         {node_code::kQuotient, Law::kQuotient},
        {node_code::kRemainder, Law::kRemainder}, {node_code::kAbs, Law::kAbs},
        {node_code::kFloor, Law::kFloor},     {node_code::kCeiling, Law::kCeiling}};
    const auto call = calls.find(node.code);
    if (call == calls.end() || args.empty()) {
      problem_ = std::string("no C formula for the function code ") + node.code;
      return Number(0.0);
    }
    return Make(call->second, std::move(args));
  }

  const std::string& problem() const { return problem_; }

 private:
  const Model& model_;
  std::string problem_;
};

// Writes a law as straight-line C: each node a value temporary and, for the
// variables it depends on, derivative temporaries (forward differentiation).
class Emitter {
 public:
  struct Value {
    std::string v;                       // the value's expression (a temporary or literal)
    std::map<int, std::string> d;        // derivative by variable, where not 0
  };

  explicit Emitter(std::string& out, bool derivatives) : out_(out), derivatives_(derivatives) {}

  static std::string Literal(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    std::string s = text;
    if (s == "inf") return "(1.0/0.0)";
    if (s == "-inf") return "(-1.0/0.0)";
    if (s == "nan" || s == "-nan") return "(0.0/0.0)";
    if (s.find_first_of(".eE") == std::string::npos) s += ".0";
    return "(" + s + ")";
  }

  std::string Temp(const std::string& expression) {
    const std::string name = "t" + std::to_string(count_++);
    out_ += "  const double " + name + " = " + expression + ";\n";
    return name;
  }

  Value Emit(const Law& law) {
    Value r;
    switch (law.op) {
      case Law::kNumber:
        r.v = Literal(law.value);
        return r;
      case Law::kVariable:
        r.v = Temp("y[" + std::to_string(law.variable) + "] / " + Literal(law.volume));
        if (derivatives_) r.d[law.variable] = Literal(1.0 / law.volume);
        return r;
      default:
        break;
    }
    std::vector<Value> a;
    for (const LawPtr& arg : law.args) a.push_back(Emit(*arg));
    const auto D = [&](const Value& x, int j) {
      auto it = x.d.find(j);
      return it == x.d.end() ? std::string() : it->second;
    };
    const auto keys = [&](std::initializer_list<const Value*> values) {
      std::set<int> k;
      for (const Value* x : values)
        for (const auto& [j, e] : x->d) k.insert(j);
      return k;
    };
    switch (law.op) {
      case Law::kAdd:
      case Law::kSub: {
        const char* sign = law.op == Law::kAdd ? " + " : " - ";
        r.v = Temp(a[0].v + sign + a[1].v);
        if (!derivatives_) return r;
        for (int j : keys({&a[0], &a[1]})) {
          const std::string x = D(a[0], j), y = D(a[1], j);
          r.d[j] = Temp(x.empty() ? (law.op == Law::kAdd ? y : "-" + y) : y.empty() ? x : x + sign + y);
        }
        return r;
      }
      case Law::kMul: {
        r.v = Temp(a[0].v + " * " + a[1].v);
        if (!derivatives_) return r;
        for (int j : keys({&a[0], &a[1]})) {
          const std::string x = D(a[0], j), y = D(a[1], j);
          std::string e;
          if (!x.empty()) e = x + " * " + a[1].v;
          if (!y.empty()) e += (e.empty() ? "" : " + ") + a[0].v + " * " + y;
          r.d[j] = Temp(e);
        }
        return r;
      }
      case Law::kDiv: {
        r.v = Temp(a[0].v + " / " + a[1].v);
        if (!derivatives_) return r;
        for (int j : keys({&a[0], &a[1]})) {
          const std::string x = D(a[0], j), y = D(a[1], j);
          std::string e = x.empty() ? "0.0" : x;
          if (!y.empty()) e = "(" + e + " - " + r.v + " * " + y + ")";
          r.d[j] = Temp(e + " / " + a[1].v);
        }
        return r;
      }
      case Law::kPow: {
        r.v = Temp("pow(" + a[0].v + ", " + a[1].v + ")");
        if (!derivatives_) return r;
        for (int j : keys({&a[0], &a[1]})) {
          const std::string x = D(a[0], j), y = D(a[1], j);
          std::string e;
          if (!x.empty()) e = a[1].v + " * pow(" + a[0].v + ", " + a[1].v + " - 1.0) * " + x;
          if (!y.empty()) e += (e.empty() ? "" : " + ") + r.v + " * log(" + a[0].v + ") * " + y;
          r.d[j] = Temp(e);
        }
        return r;
      }
      case Law::kNeg:
        r.v = Temp("-" + a[0].v);
        for (const auto& [j, e] : a[0].d) r.d[j] = Temp("-" + e);
        return r;
      case Law::kFunc: {
        const std::string& f = law.function;
        const std::string& x = a[0].v;
        r.v = Temp(f + "(" + x + ")");
        if (!derivatives_) return r;
        std::string factor;
        if (f == "exp") factor = r.v;
        else if (f == "log") factor = "1.0 / " + x;
        else if (f == "log10") factor = "1.0 / (" + x + " * 2.302585092994046)";
        else if (f == "sin") factor = "cos(" + x + ")";
        else if (f == "cos") factor = "-sin(" + x + ")";
        else if (f == "asin") factor = "1.0 / sqrt(1.0 - " + x + " * " + x + ")";
        else if (f == "acos") factor = "-1.0 / sqrt(1.0 - " + x + " * " + x + ")";
        else if (f == "atan") factor = "1.0 / (1.0 + " + x + " * " + x + ")";
        else if (f == "sinh") factor = "cosh(" + x + ")";
        else if (f == "cosh") factor = "sinh(" + x + ")";
        else if (f == "tanh") factor = "(1.0 - " + r.v + " * " + r.v + ")";
        else if (f == "asinh") factor = "1.0 / sqrt(" + x + " * " + x + " + 1.0)";
        else if (f == "acosh") factor = "1.0 / sqrt(" + x + " * " + x + " - 1.0)";
        else factor = "1.0 / (1.0 - " + x + " * " + x + ")";  // atanh
        if (a[0].d.empty()) return r;
        const std::string fv = Temp(factor);
        for (const auto& [j, e] : a[0].d) r.d[j] = Temp(fv + " * " + e);
        return r;
      }
      case Law::kLess:
      case Law::kGreater:
      case Law::kLessEqual:
      case Law::kGreaterEqual:
      case Law::kEqual:
      case Law::kNotEqual: {
        static const std::map<Law::Op, const char*> c = {
            {Law::kLess, " < "}, {Law::kGreater, " > "}, {Law::kLessEqual, " <= "},
            {Law::kGreaterEqual, " >= "}, {Law::kEqual, " == "}, {Law::kNotEqual, " != "}};
        r.v = Temp("(" + a[0].v + c.at(law.op) + a[1].v + ") ? 1.0 : 0.0");
        return r;
      }
      case Law::kAnd:
      case Law::kOr:
      case Law::kXor: {
        std::string e;
        for (std::size_t i = 0; i < a.size(); ++i) {
          const std::string term = "(" + a[i].v + " != 0.0)";
          e += i == 0 ? term : (law.op == Law::kAnd ? " && " : law.op == Law::kOr ? " || " : " != ") + term;
        }
        r.v = Temp("(" + e + ") ? 1.0 : 0.0");
        return r;
      }
      case Law::kNot:
        r.v = Temp("(" + a[0].v + " == 0.0) ? 1.0 : 0.0");
        return r;
      case Law::kFloor:
      case Law::kCeiling:
        r.v = Temp(std::string(law.op == Law::kFloor ? "floor(" : "ceil(") + a[0].v + ")");
        return r;
      case Law::kQuotient:
        r.v = Temp("trunc(" + a[0].v + " / " + a[1].v + ")");
        return r;
      case Law::kRemainder: {
        r.v = Temp("fmod(" + a[0].v + ", " + a[1].v + ")");
        if (!derivatives_) return r;
        for (int j : keys({&a[0], &a[1]})) {
          const std::string x = D(a[0], j), y = D(a[1], j);
          std::string e = x.empty() ? "0.0" : x;
          if (!y.empty()) e += " - trunc(" + a[0].v + " / " + a[1].v + ") * " + y;
          r.d[j] = Temp(e);
        }
        return r;
      }
      case Law::kAbs: {
        r.v = Temp(a[0].v + " >= 0.0 ? " + a[0].v + " : -" + a[0].v);
        for (const auto& [j, e] : a[0].d) r.d[j] = Temp(a[0].v + " >= 0.0 ? " + e + " : -" + e);
        return r;
      }
      case Law::kMax:
      case Law::kMin: {
        Value running = a[0];
        for (std::size_t i = 1; i < a.size(); ++i) {
          const std::string keep =
              Temp("(" + running.v + (law.op == Law::kMax ? " >= " : " <= ") + a[i].v + ") ? 1.0 : 0.0");
          Value next;
          next.v = Temp(keep + " != 0.0 ? " + running.v + " : " + a[i].v);
          for (int j : keys({&running, &a[i]})) {
            const std::string x = D(running, j), y = D(a[i], j);
            next.d[j] = Temp(keep + " != 0.0 ? " + (x.empty() ? "0.0" : x) + " : " +
                             (y.empty() ? "0.0" : y));
          }
          running = next;
        }
        return running;
      }
      case Law::kPiecewise: {
        // value1, condition1, value2, condition2, …, otherwise
        const auto chain = [&](auto pick) {
          std::string e;
          std::size_t i = 0;
          for (; i + 1 < a.size(); i += 2) e += "(" + a[i + 1].v + " != 0.0) ? " + pick(a[i]) + " : ";
          e += i < a.size() ? pick(a[i]) : std::string("(0.0/0.0)");
          return e;
        };
        r.v = Temp(chain([](const Value& x) { return x.v; }));
        if (!derivatives_) return r;
        std::set<int> all;
        for (std::size_t i = 0; i < a.size(); i += 2)
          for (const auto& [j, e] : a[i].d) all.insert(j);
        if (a.size() % 2 == 1)
          for (const auto& [j, e] : a.back().d) all.insert(j);
        for (int j : all) {
          r.d[j] = Temp(chain([&](const Value& x) {
            const std::string e = D(x, j);
            return e.empty() ? std::string("0.0") : e;
          }));
        }
        return r;
      }
      default:
        r.v = "0.0";
        return r;
    }
  }

 private:
  std::string& out_;
  bool derivatives_;
  int count_ = 0;
};

}  // namespace detail

// The C source of the model's right-hand side and Jacobian, with the symbols
// vireon_n, vireon_nnz, vireon_colptr, vireon_rowval, vireon_rhs(t, y, ydot)
// and vireon_jac(t, y, data) (the Jacobian's values in compressed columns).
inline CEquations GenerateCEquations(const Model& model) {
  CEquations result;
  if (!model.rules.empty() || !model.events.empty()) {
    result.problem = "rules or events";
    return result;
  }
  for (const Step& step : model.steps) {
    if (step.fast) {
      result.problem = "fast steps";
      return result;
    }
  }
  const int n = model.nVariable;
  const int nIndependent = model.nIndependent;
  const int nSteps = model.nSteps();
  result.n = n;
  detail::Generator generator(model);
  std::vector<detail::LawPtr> laws(static_cast<std::size_t>(nSteps));
  // Rows: per independent position (0-based), the steps and coefficients.
  std::vector<std::vector<std::pair<int, double>>> terms(static_cast<std::size_t>(nIndependent));
  std::vector<char> needed(static_cast<std::size_t>(nSteps), 0);
  for (int p = 0; p < nIndependent; ++p) {
    const int m = model.metaboliteOrder[static_cast<std::size_t>(p)];
    const double volume = model.VolumeOf(m);
    for (int k = 0; k < nSteps; ++k) {
      const float entry = model.stoichiometry[m][k];
      if (entry == 0.0f) continue;
      terms[static_cast<std::size_t>(p)].push_back({k, static_cast<double>(entry) * volume});
      needed[static_cast<std::size_t>(k)] = 1;
    }
  }
  for (int k = 0; k < nSteps; ++k) {
    if (!needed[static_cast<std::size_t>(k)]) continue;
    laws[static_cast<std::size_t>(k)] = generator.StepLaw(k);
    if (!generator.problem().empty()) {
      result.problem = generator.problem();
      return result;
    }
  }
  // Dependent rows over the independent ones (amounts).
  std::vector<std::vector<std::pair<int, double>>> dependent(static_cast<std::size_t>(n - nIndependent));
  for (int p = nIndependent; p < n; ++p) {
    const int mp = model.metaboliteOrder[static_cast<std::size_t>(p)];
    for (int l = 0; l < nIndependent; ++l) {
      double g = static_cast<double>(model.conservation[p][l]);
      if (g == 0.0) continue;
      const int ml = model.metaboliteOrder[static_cast<std::size_t>(l)];
      if (model.VolumeOf(mp) != model.VolumeOf(ml)) g *= model.VolumeOf(mp) / model.VolumeOf(ml);
      dependent[static_cast<std::size_t>(p - nIndependent)].push_back({l, g});
    }
  }

  std::string& out = result.source;
  out += "#include <math.h>\n#include <string.h>\n\n";
  // One function per rate law and one per law's derivatives, so that the
  // compiler works on many small functions rather than one huge one.
  std::string rhs, jac, laws_;
  std::map<std::pair<int, int>, std::vector<std::string>> sums;  // (column, row) -> terms
  std::size_t widest = 1;
  {
    std::vector<std::vector<std::pair<int, double>>> stepRows(static_cast<std::size_t>(nSteps));
    for (int p = 0; p < nIndependent; ++p) {
      for (const auto& [k, c] : terms[static_cast<std::size_t>(p)]) stepRows[static_cast<std::size_t>(k)].push_back({p, c});
    }
    rhs += "void vireon_rhs(double t, const double* y, double* ydot) {\n  (void)t;\n";
    jac += "void vireon_jac(double t, const double* y, double* J) {\n  (void)t;\n";
    std::string calls;
    for (int k = 0; k < nSteps; ++k) {
      if (!laws[static_cast<std::size_t>(k)]) continue;
      const std::string id = std::to_string(k);
      std::string body;
      detail::Emitter values(body, false);
      const std::string v = values.Emit(*laws[static_cast<std::size_t>(k)]).v;
      laws_ += "static double rate_" + id + "(const double* y) {\n" + body + "  return " + v + ";\n}\n";
      rhs += "  const double r" + id + " = rate_" + id + "(y);\n";
      std::string dbody;
      detail::Emitter derivatives(dbody, true);
      const detail::Emitter::Value value = derivatives.Emit(*laws[static_cast<std::size_t>(k)]);
      if (value.d.empty()) continue;
      laws_ += "static void drate_" + id + "(const double* y, double* d) {\n" + dbody;
      int slot = 0;
      for (const auto& [j, e] : value.d) {
        laws_ += "  d[" + std::to_string(slot) + "] = " + e + ";\n";
        for (const auto& [p, c] : stepRows[static_cast<std::size_t>(k)]) {
          sums[{j, p}].push_back("d[" + std::to_string(slot) + "]");
          (void)c;
        }
        ++slot;
      }
      laws_ += "}\n";
      widest = std::max(widest, value.d.size());
      // Each step's partials go into the entries of its rows at once.
      jac += "  drate_" + id + "(y, d);\n";
      slot = 0;
      for (const auto& [j, e] : value.d) {
        for (const auto& [p, c] : stepRows[static_cast<std::size_t>(k)]) {
          jac += "  J[@" + std::to_string(j) + "," + std::to_string(p) + "@] += d[" + std::to_string(slot) +
                 "] * " + detail::Emitter::Literal(c) + ";\n";
        }
        ++slot;
      }
    }
    for (int p = 0; p < nIndependent; ++p) {
      std::string e;
      for (const auto& [k, c] : terms[static_cast<std::size_t>(p)]) {
        e += (e.empty() ? "" : " + ") + std::string("r") + std::to_string(k) + " * " + detail::Emitter::Literal(c);
      }
      rhs += "  ydot[" + std::to_string(p) + "] = " + (e.empty() ? "0.0" : e) + ";\n";
    }
    for (int p = nIndependent; p < n; ++p) {
      std::string e;
      for (const auto& [l, g] : dependent[static_cast<std::size_t>(p - nIndependent)]) {
        e += (e.empty() ? "" : " + ") + detail::Emitter::Literal(g) + " * ydot[" + std::to_string(l) + "]";
      }
      rhs += "  ydot[" + std::to_string(p) + "] = -(" + (e.empty() ? "0.0" : e) + ");\n";
    }
    rhs += "}\n\n";
  }
  // The pattern: the independent entries, the dependent rows' and the diagonal.
  std::vector<std::set<int>> columns(static_cast<std::size_t>(n));
  for (const auto& [key, list] : sums) columns[static_cast<std::size_t>(key.first)].insert(key.second);
  for (int j = 0; j < n; ++j) {
    std::set<int>& column = columns[static_cast<std::size_t>(j)];
    std::vector<int> independentRows(column.begin(), column.end());
    for (int p = nIndependent; p < n; ++p) {
      for (const auto& [l, g] : dependent[static_cast<std::size_t>(p - nIndependent)]) {
        if (std::binary_search(independentRows.begin(), independentRows.end(), l)) {
          column.insert(p);
          break;
        }
      }
    }
    column.insert(j);
  }
  result.columnStart.assign(static_cast<std::size_t>(n) + 1, 0);
  std::map<std::pair<int, int>, int> index;
  for (int j = 0; j < n; ++j) {
    result.columnStart[static_cast<std::size_t>(j)] = static_cast<int>(result.rows.size());
    for (int i : columns[static_cast<std::size_t>(j)]) {
      index[{j, i}] = static_cast<int>(result.rows.size());
      result.rows.push_back(i);
    }
  }
  result.columnStart[static_cast<std::size_t>(n)] = static_cast<int>(result.rows.size());
  // The placeholders J[@column,row@] become the entries' places.
  {
    std::string resolved;
    std::size_t at = 0;
    for (;;) {
      const std::size_t open = jac.find("[@", at);
      if (open == std::string::npos) break;
      const std::size_t close = jac.find("@]", open);
      const std::string key = jac.substr(open + 2, close - open - 2);
      const std::size_t comma = key.find(',');
      const int j = std::stoi(key.substr(0, comma)), p = std::stoi(key.substr(comma + 1));
      resolved += jac.substr(at, open - at) + "[" + std::to_string(index.at({j, p})) + "]";
      at = close + 2;
    }
    jac = resolved + jac.substr(at);
  }
  for (int j = 0; j < n; ++j) {
    for (int p : columns[static_cast<std::size_t>(j)]) {
      if (p < nIndependent) continue;
      std::string e;
      for (const auto& [l, g] : dependent[static_cast<std::size_t>(p - nIndependent)]) {
        const auto at = index.find({j, l});
        if (at == index.end() || l >= nIndependent || !sums.count({j, l})) continue;
        e += (e.empty() ? "" : " + ") + detail::Emitter::Literal(g) + " * J[" + std::to_string(at->second) + "]";
      }
      jac += "  J[" + std::to_string(index.at({j, p})) + "] = -(" + (e.empty() ? "0.0" : e) + ");\n";
    }
  }
  jac += "}\n\n";

  out += "const int vireon_n = " + std::to_string(n) + ";\n";
  out += "const int vireon_nnz = " + std::to_string(result.rows.size()) + ";\n";
  const auto array = [&](const char* name, const std::vector<int>& values) {
    out += std::string("const int ") + name + "[] = {";
    for (std::size_t i = 0; i < values.size(); ++i) out += (i % 20 == 0 ? "\n  " : "") + std::to_string(values[i]) + ",";
    out += "0};\n";
  };
  array("vireon_colptr", result.columnStart);
  array("vireon_rowval", result.rows);
  out += "\n" + laws_ + "\n" + rhs;
  // The entries no law touches are structural zeros (the diagonal, say).
  out += jac.substr(0, jac.find("  (void)t;\n") + 11) + "  double d[" + std::to_string(widest) +
         "];\n  memset(J, 0, sizeof(double) * " +
         std::to_string(std::max<std::size_t>(result.rows.size(), 1)) + ");\n" +
         jac.substr(jac.find("  (void)t;\n") + 11);
  return result;
}

}  // namespace vireon::bench
