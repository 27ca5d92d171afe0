#include "reply_shape.h"

#include <pugixml.hpp>

#include <cstring>

namespace {

std::string_view local_name(std::string_view name) {
  size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// A walk over the tags of the text, one level at a time.
class TagScan {
public:
  explicit TagScan(std::string_view text) : s_(text) {}

  // Moves to the next start tag of the current level, past text, comments, character data,
  // processing instructions and declarations. False at the level's end tag or the end of the text.
  bool to_child() {
    for (;;) {
      size_t lt = s_.find('<', i_);
      if (lt == std::string_view::npos) {
        i_ = s_.size();
        return false;
      }
      i_ = lt;
      if (skip("<!--", "-->") || skip("<![CDATA[", "]]>") || skip("<?", "?>") || skip("<!", ">"))
        continue;
      return s_.compare(i_, 2, "</") != 0;
    }
  }

  // Reads the start tag where to_child stopped: its name, and whether it closes itself.
  std::string_view start_tag(bool &empty) {
    size_t end = i_ + 1;
    while (end < s_.size() && std::strchr(" \t\r\n/>", s_[end]) == nullptr)
      ++end;
    std::string_view name = s_.substr(i_ + 1, end - i_ - 1);
    char quote = 0;
    for (; end < s_.size(); ++end) {
      const char c = s_[end];
      if (quote != 0)
        quote = c == quote ? 0 : quote;
      else if (c == '"' || c == '\'')
        quote = c;
      else if (c == '>')
        break;
    }
    empty = end < s_.size() && s_[end - 1] == '/';
    i_ = end < s_.size() ? end + 1 : end;
    return name;
  }

  // Skips what is left of the element whose start tag was just read, its end tag included.
  void skip_rest() {
    for (int depth = 1; depth > 0 && i_ < s_.size();) {
      if (to_child()) {
        bool empty = false;
        start_tag(empty);
        depth += empty ? 0 : 1;
      } else if (i_ < s_.size()) {
        end_tag();
        --depth;
      }
    }
  }

  void end_tag() {
    size_t gt = s_.find('>', i_);
    i_ = gt == std::string_view::npos ? s_.size() : gt + 1;
  }

private:
  bool skip(const char *open, const char *close) {
    if (s_.compare(i_, std::strlen(open), open) != 0)
      return false;
    size_t end = s_.find(close, i_ + std::strlen(open));
    i_ = end == std::string_view::npos ? s_.size() : end + std::strlen(close);
    return true;
  }

  std::string_view s_;
  size_t i_ = 0;
};

} // namespace

ReplyShape reply_shape(std::string_view reply) {
  ReplyShape shape;
  TagScan scan(reply);
  bool empty = false;
  if (!scan.to_child() || (scan.start_tag(empty), empty) || !scan.to_child())
    return shape;
  // The status comes first; a failed script names its statement inside it.
  scan.start_tag(empty);
  if (!empty) {
    while (scan.to_child()) {
      bool child_empty = false;
      shape.failed_statement |= local_name(scan.start_tag(child_empty)) == "instrucao";
      if (!child_empty)
        scan.skip_rest();
    }
    scan.end_tag();
  }
  shape.script_results = scan.to_child() && local_name(scan.start_tag(empty)) == "script";
  return shape;
}

std::optional<std::string> service_message(std::string_view reply) {
  pugi::xml_document doc;
  if (!doc.load_buffer(reply.data(), reply.size(), pugi::parse_default, pugi::encoding_utf8))
    return std::nullopt;
  pugi::xml_node status = doc.document_element().first_child();
  for (pugi::xml_node child : status.children())
    if (child.type() == pugi::node_element && local_name(child.name()) == "mensagem")
      return std::string(child.child_value());
  return std::nullopt;
}
