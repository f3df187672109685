#pragma once
// A parameter link makes one model quantity a fixed multiple of another:
// target = Const x source. Links are applied in list order at the start of
// every task iteration, after the scan has set its values, so a later link
// sees what earlier ones wrote and a link whose source is scanned follows
// the scan.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/message_sink.h"
#include "model/record_cursor.h"
#include "output/output_item.h"
#include "output/output_item_record.h"

namespace vireon {

struct ParameterLink {
  OutputItem target;        // the quantity overwritten
  OutputItem source;        // the quantity read
  double constant = 1.0;    // the factor ("Const" in the model file)
  double savedValue = 0.0;  // the target's value before the run

  // The list line: "%s = %lg * %s" with the target's title, the factor and
  // the source's title.
  std::string DisplayLine() const;

  bool operator==(const ParameterLink& other) const {
    return target == other.target && source == other.source && constant == other.constant;
  }
};

// target = source x Const. A link with an unbound end changes nothing.
void ApplyLink(const ParameterLink& link);
// Every link in list order.
void ApplyLinks(const std::vector<ParameterLink>& links);
// The first step of a task iteration: the conservation totals from the
// initial concentrations, every link in order, the totals again (so that
// links onto initial concentrations or volumes count in them). The caller
// runs this inside its arithmetic-fault guard.
void ApplyLinksBetweenTotals(const std::vector<ParameterLink>& links,
                             const std::function<void()>& computeMoietyTotals);

// The record: the target's and the source's output-item records, then
// "Const=%.16lf".
void SaveParameterLink(const ParameterLink& link, std::string& out);
// Reads a record written by SaveParameterLink; a missing or bad line is
// reported through the sink and gives false.
bool LoadParameterLink(RecordCursor& cursor, MessageSink& sink, ParameterLink& link);

inline constexpr std::string_view kParameterLinkSection = "Parameter Links";

// Appends "Parameter Links\nItems=%d\n" and every link's record.
void SaveParameterLinkSection(const std::vector<ParameterLink>& links, std::string& out);
// Reads the section (the header's text is not examined), replacing `links`.
// A bad or negative count is kBadCount, a failed record kBadRecord; `links`
// then holds the links read before the failure.
SelectionLoadStatus LoadParameterLinkSection(RecordCursor& cursor, MessageSink& sink,
                                             std::vector<ParameterLink>& links);

}  // namespace vireon
