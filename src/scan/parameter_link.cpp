#include "scan/parameter_link.h"

#include <cstdio>

namespace vireon {

std::string ParameterLink::DisplayLine() const {
  char factor[64];
  std::snprintf(factor, sizeof factor, "%lg", constant);
  return target.title + " = " + factor + " * " + source.title;
}

void ApplyLink(const ParameterLink& link) {
  if (link.target.value == nullptr || link.source.value == nullptr) return;
  *link.target.value = *link.source.value * link.constant;
}

void ApplyLinks(const std::vector<ParameterLink>& links) {
  for (const ParameterLink& link : links) ApplyLink(link);
}

void ApplyLinksBetweenTotals(const std::vector<ParameterLink>& links,
                             const std::function<void()>& computeMoietyTotals) {
  if (computeMoietyTotals) computeMoietyTotals();
  ApplyLinks(links);
  if (computeMoietyTotals) computeMoietyTotals();
}

}  // namespace vireon
