#include "scan/parameter_link.h"

#include "output/number_format.h"

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

void SaveParameterLink(const ParameterLink& link, std::string& out) {
  SaveOutputItem(link.target, out);
  SaveOutputItem(link.source, out);
  out += "Const=" + FormatRealExactly("%.16lf", link.constant) + "\n";
}

bool LoadParameterLink(RecordCursor& cursor, MessageSink& sink, ParameterLink& link) {
  link = ParameterLink();
  if (!LoadOutputItem(cursor, sink, link.target)) return false;
  if (!LoadOutputItem(cursor, sink, link.source)) return false;
  return ReadFieldLine(cursor, sink, "Const=%lf", &link.constant);
}

void SaveParameterLinkSection(const std::vector<ParameterLink>& links, std::string& out) {
  SaveRecordSection(kParameterLinkSection, links, SaveParameterLink, out);
}

SelectionLoadStatus LoadParameterLinkSection(RecordCursor& cursor, MessageSink& sink,
                                             std::vector<ParameterLink>& links) {
  return LoadRecordSection(cursor, sink, links, LoadParameterLink);
}

}  // namespace vireon
