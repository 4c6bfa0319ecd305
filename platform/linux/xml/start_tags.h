// A linear look over a document's start tags before libxml2 parses it. libxml2 2.9 spends time
// quadratic in the number of attributes of one element (its check for repeated names, and the
// node it builds appends each attribute by walking the list), and looks each prefixed name up
// through every namespace declared around it: a file well under the size limit can take seconds
// to parse either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform::linux_adapter {

// Where the first start tag begins that has more than `maxAttributes` attributes or brings the
// document's namespace declarations (xmlns attributes) past `maxNamespaces`; the document's size
// when none does. Comments, CDATA sections, processing instructions and end tags are passed
// over; the look ends at a DOCTYPE or other `<!` markup, where the parse ends too. For a
// well-formed tag the counts are exact; in a broken one they are never less than what libxml2
// gets through before it stops at the fault.
std::size_t firstCrowdedStartTag(std::span<const uint8_t> doc, std::size_t maxAttributes,
                                 std::size_t maxNamespaces);

}  // namespace platform::linux_adapter
