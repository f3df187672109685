#pragma once
// How deeply the elements of an XML text nest, found by one pass over the
// text without building anything, so that a file can be refused before a
// reader that recurses once per level sees it.

#include <cstddef>
#include <string_view>

namespace vireon::sbml {

struct XmlDepth {
  int depth = 0;        // the deepest nesting met, up to the first beyond the limit
  int line = 0;         // the line of the first element beyond the limit, else 0
  bool entity = false;  // the text declares an entity (<!ENTITY ...>)
};

// Start tags open a level and end tags close one; empty-element tags,
// comments, CDATA sections, processing instructions and declarations do
// neither, and a ">" inside a quoted attribute value ends no tag. Stops at
// the first element deeper than `limit`. Text that is not well-formed gives
// some depth and is left to the reader to refuse.
XmlDepth MeasureXmlDepth(std::string_view text, int limit);

}  // namespace vireon::sbml
