#pragma once
// Where an expression that the scanner or the linker refuses is wrong, and
// why, for the fields in which the user types rate laws and output
// functions.

#include <optional>
#include <string>
#include <string_view>

#include "kinetics/expression.h"
#include "model/syntax_fault.h"

namespace vireon {

// The first fault of the text as BuildExpressionNodes and
// LinkExpressionTree find it, at the character in the text where it lies;
// nullopt when the text scans and links.
std::optional<SyntaxFault> FindExpressionFault(std::string_view text,
                                               const ExpressionDialect& dialect);

// DescribeSyntaxFault of that fault, or empty when the text is taken.
std::string ExpressionFaultMessage(std::string_view text, const ExpressionDialect& dialect);

}  // namespace vireon
