#include "cli/version_text.h"

#include "output/report.h"

namespace vireon::cli {

std::string BuildLine() {
  return std::string("Compiled ") + __DATE__ + " " + __TIME__;
}

std::string VersionText(std::string_view version) {
  return ReportVersionLine(version) + "\n" + BuildLine() + "\n";
}

}  // namespace vireon::cli
