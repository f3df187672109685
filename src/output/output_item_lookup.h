#pragma once
// Finding a time-course quantity by what a person types for it on a command
// line: an output item's title as the time-course data file's dialog shows
// it ("[A]t", "J(R1)", "V(c)", "k(t)"), or the plain name of one of the
// model's records, which stands for the record's value during a time
// course.

#include <string_view>
#include <vector>

#include "output/output_item.h"

namespace vireon {

class Model;

// The quantities `text` names, unbound. A name of the model's records is
// taken before any title: a metabolite's name stands for its transient
// concentration ([A]t), a step's for its transient flux (J(R1)) unless
// `stepNames` is false, a compartment's for its current volume (V(c)t) and
// a global quantity's for its current value (k(t)); a text that is no
// record's name is looked up among the titles of the time-course data
// file's items, all but the time itself ("time"), which a table of the time
// course has as its first column already. No item means that nothing is
// called so; more than one, that the text is ambiguous (a name that two
// kinds of record share, or a title that two items share).
std::vector<OutputItem> FindTimeCourseItems(const Model& model, std::string_view text,
                                            bool stepNames = true);

}  // namespace vireon
