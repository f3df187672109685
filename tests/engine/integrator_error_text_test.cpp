#include "engine/integrator_error_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vireon {
namespace {

IntegratorErrorContext Context(int istate) {
  IntegratorErrorContext context;
  context.istate = istate;
  context.time = 3.25;
  context.relativeTolerance = 1e-6;
  context.absoluteTolerance = 0.0;
  return context;
}

TEST(IntegratorErrorTextTest, EveryCodeHasItsOwnSentenceWithSomethingToTry) {
  std::set<std::string> seen;
  for (int istate : {-1, -2, -3, -4, -5, -6, -7}) {
    SCOPED_TRACE(istate);
    const std::string text = ExplainIntegratorError(Context(istate));
    EXPECT_TRUE(seen.insert(text).second);
    // A sentence that ends, and that points at the settings to change.
    EXPECT_EQ(text.back(), '.');
    EXPECT_NE(text.find("Methods"), std::string::npos);
    EXPECT_EQ(text.find('\n'), std::string::npos);
  }
}

TEST(IntegratorErrorTextTest, SaysWhenAndWithWhichTolerances) {
  EXPECT_EQ(ExplainIntegratorError(Context(-6)).rfind("At time 3.25 ", 0), 0u);
  EXPECT_NE(ExplainIntegratorError(Context(-2)).find("(relative 1e-06, absolute 0)"),
            std::string::npos);
  IntegratorErrorContext starting = Context(-2);
  starting.starting = true;
  EXPECT_EQ(ExplainIntegratorError(starting).rfind("At the start of the integration ", 0), 0u);
  EXPECT_NE(ExplainIntegratorError(Context(-9)).find("code -9"), std::string::npos);
}

TEST(IntegratorErrorTextTest, TheLogLineIsIndentedAndEndsTheLine) {
  const std::string line = IntegratorErrorLogLine(Context(-4));
  EXPECT_EQ(line, "  " + ExplainIntegratorError(Context(-4)) + "\r\n");
}

}  // namespace
}  // namespace vireon
