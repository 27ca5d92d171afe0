#include "xml_shape.h"

#include <algorithm>

namespace {

// The end of what begins at `from` and ends with `end`; npos when it never ends.
size_t past(std::string_view xml, size_t from, std::string_view end) {
  size_t found = xml.find(end, from);
  return found == std::string_view::npos ? found : found + end.size();
}

// The ">" that ends the tag beginning at `from`, past quoted attribute values.
size_t tag_end(std::string_view xml, size_t from) {
  char quote = 0;
  for (size_t i = from; i < xml.size(); ++i) {
    char c = xml[i];
    if (quote)
      quote = c == quote ? 0 : quote;
    else if (c == '"' || c == '\'')
      quote = c;
    else if (c == '>')
      return i;
  }
  return std::string_view::npos;
}

} // namespace

XmlShape xml_shape(std::string_view xml, std::size_t element_cap, std::size_t depth_cap) {
  XmlShape shape;
  size_t open_elements = 0;
  size_t at = 0;
  while (shape.elements <= element_cap && shape.depth <= depth_cap) {
    size_t open = xml.find('<', at);
    if (open == std::string_view::npos)
      break;
    std::string_view rest = xml.substr(open);
    if (rest.starts_with("<![CDATA["))
      at = past(xml, open, "]]>");
    else if (rest.starts_with("<!--"))
      at = past(xml, open, "-->");
    else if (rest.starts_with("<?"))
      at = past(xml, open, "?>");
    else if (rest.starts_with("<!") || rest.starts_with("</")) {
      if (rest.starts_with("</") && open_elements > 0)
        --open_elements;
      at = tag_end(xml, open);
    } else {
      ++shape.elements;
      at = tag_end(xml, open);
      if (at != std::string_view::npos && xml[at - 1] != '/')
        shape.depth = std::max(shape.depth, ++open_elements);
    }
    if (at == std::string_view::npos)
      break;
  }
  return shape;
}
