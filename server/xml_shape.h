#pragma once

// The size of an XML document's element tree, read in one pass before the document is parsed: a
// request of a hundred thousand empty elements costs the parser far more memory than its bytes.

#include <cstddef>
#include <string_view>

struct XmlShape {
  std::size_t elements = 0;
  std::size_t depth = 0; // of the deepest element
};

// The shape of `xml`; counting stops once either figure passes its cap. Markup that is not well
// formed is counted as far as it reads; the parser refuses it later.
XmlShape xml_shape(std::string_view xml, std::size_t element_cap, std::size_t depth_cap);
