#pragma once
// The expression engine shared by user-defined rate laws and user-defined
// output functions: a node list built from a table-driven scan (node 0 is the
// root sentinel, nodes 1..n-1 are the tokens in text order), a
// precedence-climbing linker that builds a tree over the list and validates
// it, and a recursive evaluator. The two families differ only in their
// dialect (which texts are symbols and function names, one extra validation
// rule) and in how their symbols get values, both passed in by the caller.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vireon {

// Node kinds and codes. They are stored in files as their decimal character
// codes, so the characters are fixed.
namespace node_kind {
inline constexpr char kRoot = '%';
inline constexpr char kOperator = 'O';
inline constexpr char kFunction = 'F';
inline constexpr char kNumber = 'N';
inline constexpr char kSymbol = 'I';  // a symbol not bound to a role
inline constexpr char kSubstrate = 's';
inline constexpr char kProduct = 'p';
inline constexpr char kModifier = 'm';
inline constexpr char kConstant = 'k';
}  // namespace node_kind

namespace node_code {
inline constexpr char kNone = '@';  // the kind has no code
inline constexpr char kPlus = '+';
inline constexpr char kMinus = '-';
inline constexpr char kTimes = '*';
inline constexpr char kDivide = '/';
inline constexpr char kPower = '^';
inline constexpr char kOpen = '(';
inline constexpr char kClose = ')';
inline constexpr char kComma = ',';  // separates the arguments of a call function
inline constexpr char kLog = 'l';    // natural logarithm
inline constexpr char kLog10 = 'L';  // decimal logarithm
inline constexpr char kExp = 'e';
inline constexpr char kSin = 'S';
inline constexpr char kCos = 'C';
inline constexpr char kRand = 'R';   // uniform random factor (output functions)
inline constexpr char kGauss = 'G';  // normal random factor (output functions)
inline constexpr char kBoltz = 'B';  // normal random factor (output functions)
// Call functions of rate laws: names that are functions only when an opening
// parenthesis follows, with their arguments separated by commas. Truth is 1,
// falsehood 0; a condition is true when it is not 0.
inline constexpr char kPiecewise = 'P';  // piecewise(v1, c1, v2, c2, ..., otherwise)
inline constexpr char kLess = '<';          // lt(a, b)
inline constexpr char kGreater = '>';       // gt(a, b)
inline constexpr char kLessEqual = '{';     // leq(a, b)
inline constexpr char kGreaterEqual = '}';  // geq(a, b)
inline constexpr char kEqual = '=';         // eq(a, b)
inline constexpr char kNotEqual = '#';      // neq(a, b)
inline constexpr char kAnd = '&';           // and(a, b, ...)
inline constexpr char kOr = '|';            // or(a, b, ...)
inline constexpr char kXor = 'X';           // xor(a, b, ...): an odd number of them true
inline constexpr char kNot = '~';           // not(a)
inline constexpr char kFloor = 'f';
inline constexpr char kCeiling = 'c';
inline constexpr char kFactorial = '!';  // factorial(n) = gamma(n + 1)
inline constexpr char kAbs = 'a';        // abs(x): x when x >= 0, else -x
inline constexpr char kMax = 'M';        // max(a, b, ...): a running a >= b ? a : b
inline constexpr char kMin = 'W';        // min(a, b, ...): a running a <= b ? a : b
// The inverse trigonometric functions and the hyperbolic functions and
// their inverses, call functions of one argument (a text that uses one of
// these names as a symbol reads as it always did). The tangent stays
// sin(x)/cos(x): tan(x) has always been refused.
inline constexpr char kArcSin = 'V';
inline constexpr char kArcCos = 'J';
inline constexpr char kArcTan = 'Y';
inline constexpr char kSinh = 'H';
inline constexpr char kCosh = 'K';
inline constexpr char kTanh = 'Z';
inline constexpr char kArcSinh = 'U';
inline constexpr char kArcCosh = 'Q';
inline constexpr char kArcTanh = 'D';
// Integer division as MathML has it: quotient(a, b) is a / b truncated
// towards zero, rem(a, b) what is left, with the sign of a.
inline constexpr char kQuotient = 'q';
inline constexpr char kRemainder = 'r';
// rateOf(x), in the expressions of rules only: the rate of change of the
// quantity x names. Its argument is a symbol, whose value the bindings give
// as that rate; the call passes it on.
inline constexpr char kRateOf = 'd';
// delay(x, tau), in the expressions of rules only: the value the expression
// x had tau time units before. The bindings give it (DelayValue); the
// engine alone evaluates neither argument.
inline constexpr char kDelay = 'T';
}  // namespace node_code

// A reference to no node. A link equal to 0 (the root) means "not taken by
// the parser" while linking.
inline constexpr int kNoNode = -1;

// Nesting allowed in an expression: parentheses, prefix signs and functions
// each count one level, and the tree may be no taller than this. Deeper texts
// are refused as syntax errors so that neither the linker nor the recursive
// evaluator can exhaust the stack, even on a worker thread.
inline constexpr int kMaxExpressionDepth = 1000;

// One token of an expression and, after linking, one vertex of its tree.
struct ExpressionNode {
  char kind = node_kind::kRoot;
  char code = node_code::kNone;
  int left = kNoNode;
  int right = kNoNode;
  double value = 0.0;  // numbers
  int index = -1;      // bound symbols: which substrate, product, ... (-1 unbound)
  std::string name;    // symbols

  bool IsOperator(char c) const { return kind == node_kind::kOperator && code == c; }
  bool operator==(const ExpressionNode&) const = default;
};

// What kind of token the scanner recognised.
enum class TokenClass { kNumber, kFunction, kOperator, kSymbol, kBlank, kInvalid };

struct ExpressionDialect;

// One line of a scanner table: how long a token of this class at the start
// of `text` is (0 = no match). Matchers may read the dialect's function names.
struct TokenRule {
  TokenClass tokenClass;
  std::size_t (*match)(std::string_view text, const ExpressionDialect& dialect);
};

// One spelling of a function name and the code of its node.
struct FunctionSpelling {
  std::string_view text;
  char code;
};

// A function that is a function only when an opening parenthesis follows its
// name (blanks between are allowed), so that texts which use the name as a
// symbol read as they always did. Its arguments are separated by commas.
struct CallFunction {
  std::string_view text;
  char code;
  int minimumArguments;
  int maximumArguments;  // kAnyArgumentCount: no limit
};
inline constexpr int kAnyArgumentCount = -1;

// Names that stand for more than a quantity of the model where the names of
// quantities are read (the expressions of rules): the model's time, and the
// named constants below. A quantity of the model cannot be read under one.
inline constexpr std::string_view kTimeName = "time";

// A name that stands for a fixed number.
struct NamedConstant {
  std::string_view text;
  double value;
};
// Avogadro's number, per mole, as libSBML and the SBML Test Suite take it
// (CODATA 2006), so that a model reads the same number in either program.
inline constexpr double kAvogadroNumber = 6.02214179e23;
// The named constants: "avogadro".
std::span<const NamedConstant> NamedConstants();
// The constant of that name, or null.
const NamedConstant* FindNamedConstant(std::string_view name);

// The call functions of rate laws, in a fixed order.
std::span<const CallFunction> KineticCallFunctions();
// Those of rules: the same, rateOf and delay.
std::span<const CallFunction> RuleCallFunctions();
// The call function of a code, or null.
const CallFunction* FindCallFunction(char code);

// Everything that distinguishes one family of expressions from another.
struct ExpressionDialect {
  // The scanner's token classes, in order: the longest match wins, and among
  // equal lengths the earlier line. A character no line matches is invalid.
  std::span<const TokenRule> rules;
  std::span<const FunctionSpelling> functions;
  // Functions that need an opening parenthesis after their name (rate laws
  // only); the dialect's operators then include the comma.
  std::span<const CallFunction> callFunctions;
  // The node kinds that are symbols, unbound and bound ("Ispmk").
  std::string_view symbolKinds;
  // Symbol nodes carry their first letter as code instead of '@'.
  bool symbolCodeIsLetter = false;
  // Refuse an operator whose right operand is a parenthesis taken as an
  // operator, so that 1+a(b) is a syntax error.
  bool refuseParenthesisOperand = false;

  bool IsSymbolKind(char kind) const;
  // The code of a function spelling, or 0 when the text is not a function name.
  char FunctionCode(std::string_view text) const;
};

// Rate laws: symbols are a letter followed by letters and digits; functions
// log, log10, exp, sin, cos in lower or upper case, and the call functions
// (piecewise, the comparisons lt, gt, leq, geq, eq, neq, the connectives
// and, or, xor, not, floor, ceiling, factorial, abs, max and min, and asin,
// acos, atan, sinh, cosh, tanh, asinh, acosh, atanh, quotient, rem) before a
// parenthesis.
const ExpressionDialect& KineticExpressionDialect();
// The expressions of rules: the rate-law dialect, rateOf and delay.
const ExpressionDialect& RuleExpressionDialect();
// Output functions: symbols are single letters, and a run of two or more
// letters and digits that is neither a function name nor a number is
// invalid; rand, gauss and boltz are functions too; 1+a(b) is refused.
const ExpressionDialect& OutputExpressionDialect();

// Scans `text` and replaces `nodes` by the root sentinel and one node per
// token: 'O' for the operator characters, 'F' for function names, 'N'
// for numbers, 'I' for symbols. Blanks, tabs, carriage returns and line
// feeds are skipped. Returns false, with `nodes` empty, at the first invalid
// token; `invalidOffset` (if given) then receives its offset in the text.
bool BuildExpressionNodes(std::string_view text, const ExpressionDialect& dialect,
                          std::vector<ExpressionNode>& nodes, std::size_t* invalidOffset = nullptr);

// Why the linker refused a node list, for the first error it found.
enum class LinkFault {
  kNone,
  kEmpty,                 // no token at all
  kMissingOperand,        // an operator, sign or function without its operand
  kMissingOperator,       // two operands side by side
  kUnclosedParenthesis,   // "(" without its ")"
  kMisplacedParenthesis,  // a parenthesis where none may stand
  kMisplacedComma,        // a comma outside the arguments of a call
  kArgumentCount,         // a call with too few or too many arguments
  kTooDeep,               // nested deeper than kMaxExpressionDepth
};

struct LinkResult {
  int errors = 0;              // 0: the tree is valid
  int firstErrorPosition = 0;  // node position of the first error, 0 when unknown
  LinkFault fault = LinkFault::kNone;  // what the first error is
};

// Links the tree over a node list whose node 0 is the root sentinel and
// validates it. Prefix signs taken as such become 'F' nodes. Node 0's left
// becomes the root of the tree (kNoNode when there is none).
LinkResult LinkExpressionTree(std::vector<ExpressionNode>& nodes, const ExpressionDialect& dialect);

// Where an expression's symbols and dialect-specific functions get their
// values during evaluation.
class ExpressionBindings {
 public:
  virtual ~ExpressionBindings() = default;
  // The value of any node that is not a number, operator or function.
  virtual double SymbolValue(const ExpressionNode& node) = 0;
  // The value of a function whose code the engine does not know itself
  // (log, log10, exp, sin, cos and the prefix signs); 0 unless overridden.
  virtual double FunctionValue(char code, double operand);
  // The value of delay(x, tau), whose node is nodes[call] and whose
  // arguments are nodes[argument] (x) and nodes[tau]. Without a history
  // the delayed value is the value now, which is what a delay is at a
  // steady state: x evaluated here.
  virtual double DelayValue(std::span<const ExpressionNode> nodes, int call, int argument, int tau);
};

// The value of node 0's left, computed recursively: numbers give their value,
// symbols ask the bindings, 'F' and 'O' nodes apply their function or
// operator, and everything else ('(' and ')' nodes, unknown codes, missing
// operands) gives 0. A call function evaluates only the arguments it needs
// (piecewise stops at the first true condition). Division by zero and domain errors are not checked: the
// infinite or undefined value flows on. Operands are evaluated left first.
double EvaluateExpression(std::span<const ExpressionNode> nodes, ExpressionBindings& bindings);
// The value of the subtree at nodes[position], as EvaluateExpression
// computes it.
double EvaluateExpressionNode(std::span<const ExpressionNode> nodes, int position,
                              ExpressionBindings& bindings);
// The arguments of the call at nodes[call], in order (kNoNode for none).
std::vector<int> CallArguments(std::span<const ExpressionNode> nodes, int call);

}  // namespace vireon
