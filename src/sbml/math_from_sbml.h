#pragma once
// Translation of SBML's MathML (libSBML's ASTNode) into a rate-law tree.
// Function definitions are inlined; every name is resolved by the caller
// (species, parameters, compartments, reaction ids); MathML functions that
// the rate-law dialect lacks are written through exact identities (roots
// through powers, tan through sin and cos, the hyperbolic functions through
// exp, arcsec through arccos, ...). The time symbol is the tree the caller
// gives for it, and rateOf of a name the tree the caller gives for that
// name's rate, and delay(x, tau) the tree the caller gives for it. What has
// no equivalent is refused.

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sbml/libsbml_names.h"
#include "sbml/rate_math.h"


namespace vireon::sbml {

// A construct the import cannot take, named as the user reads it
// ("delay in the kinetic law of reaction R1"). Thrown inside the SBML code
// only; the import catches it.
class Refusal : public std::runtime_error {
 public:
  explicit Refusal(const std::string& what) : std::runtime_error(what) {}
};

// Trees larger than this are refused, so that neither inlining nor a
// hostile file can exhaust the memory. Every node counts, those a name's
// value or an identity copies included. Trees are no deeper than a rate law
// may be (kMaxExpressionDepth, the limit the export keeps too), so that
// neither can exhaust the stack.
inline constexpr int kMaxMathNodes = 200000;

class MathTranslator {
 public:
  // `resolve` gives the tree a name stands for (species, constant, or a
  // reaction's inlined law), or nothing for an unknown name.
  using Resolver = std::function<std::optional<MathNode>(const std::string& name)>;

  MathTranslator(const lib::Model& model, Resolver resolve);

  // The tree that the time symbol stands for; without one it is refused.
  void AllowTime(MathNode time) { time_ = std::move(time); }
  // The tree of rateOf(name), which throws Refusal for a name whose rate
  // it cannot give; without one rateOf is refused.
  using RateResolver = std::function<MathNode(const std::string& name)>;
  void AllowRateOf(RateResolver rateOf) { rateOf_ = std::move(rateOf); }
  // The tree of delay(x, tau) from the trees of x and tau; without one
  // delay is refused.
  using DelayResolver = std::function<MathNode(MathNode argument, MathNode tau)>;
  void AllowDelay(DelayResolver delay) { delay_ = std::move(delay); }

  // The tree of `math`; `where` names its place for refusals ("the kinetic
  // law of reaction R1"). Throws Refusal.
  MathNode Translate(const lib::ASTNode& math, const std::string& where);
  // The nodes the last translation created, copies included.
  int nodes() const { return nodes_; }

 private:
  MathNode Node(const lib::ASTNode& ast);
  // The families of MathML elements; nothing when `ast` is of another family.
  std::optional<MathNode> Leaf(const lib::ASTNode& ast);
  std::optional<MathNode> Arithmetic(const lib::ASTNode& ast);
  std::optional<MathNode> Trigonometric(const lib::ASTNode& ast);
  std::optional<MathNode> Hyperbolic(const lib::ASTNode& ast);
  std::optional<MathNode> Logic(const lib::ASTNode& ast);
  MathNode Unary(const lib::ASTNode& ast);
  [[noreturn]] void RefuseElement(const lib::ASTNode& ast) const;
  std::vector<MathNode> Children(const lib::ASTNode& ast);
  MathNode ChildAt(const lib::ASTNode& ast, unsigned int i);
  MathNode UserFunction(const lib::ASTNode& ast);
  MathNode Relation(char code, std::vector<MathNode> operands);
  // A copy of `value` where an identity names an operand again; it counts
  // towards the limits as a name's value does.
  MathNode Copy(const MathNode& value);
  [[noreturn]] void Refuse(const std::string& construct) const;
  [[noreturn]] void RefuseTooDeep() const;
  [[noreturn]] void RefuseTooLarge() const;
  void Count();

  const lib::Model& model_;
  Resolver resolve_;
  std::optional<MathNode> time_;
  RateResolver rateOf_;
  DelayResolver delay_;
  std::string where_;
  // The arguments of the function definitions being inlined, innermost last.
  std::vector<std::vector<std::pair<std::string, MathNode>>> arguments_;
  std::vector<std::string> inlining_;  // names of those functions
  int depth_ = 0;
  int nodes_ = 0;
};

}  // namespace vireon::sbml
