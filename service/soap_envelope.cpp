#include "soap_envelope.h"

#include "Exception.h"
#include "text.h"
#include "uwsselectxml.h"

#include <pugixml.hpp>

namespace soap {
namespace {

constexpr const char *envelope_ns = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char *encoding_ns = "http://schemas.xmlsoap.org/soap/encoding/";

std::string_view local_name(const pugi::xml_node &node) {
  std::string_view name = node.name();
  size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node first_element(const pugi::xml_node &parent) {
  for (pugi::xml_node child : parent.children())
    if (child.type() == pugi::node_element)
      return child;
  return {};
}

pugi::xml_node child_named(const pugi::xml_node &parent, std::string_view name) {
  for (pugi::xml_node child : parent.children())
    if (child.type() == pugi::node_element && local_name(child) == name)
      return child;
  return {};
}

std::string_view attribute_named(const pugi::xml_node &node, std::string_view name) {
  for (pugi::xml_attribute a : node.attributes()) {
    std::string_view n = a.name();
    size_t colon = n.find(':');
    if ((colon == std::string_view::npos ? n : n.substr(colon + 1)) == name)
      return a.value();
  }
  return {};
}

// The text of a part: its text and CDATA pieces joined (section 5 parts hold no elements).
std::string part_text(const pugi::xml_node &node) {
  std::string out;
  for (pugi::xml_node child : node.children())
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
      out += child.value();
  return out;
}

// Section 5 multi-reference: a part with href="#id" takes its value from the element with that id.
pugi::xml_node resolve_reference(const pugi::xml_node &body, const pugi::xml_node &part) {
  std::string_view href = attribute_named(part, "href");
  if (href.empty() || href.front() != '#')
    return part;
  std::string id(href.substr(1));
  for (pugi::xml_node candidate : body.children())
    if (candidate.type() == pugi::node_element && attribute_named(candidate, "id") == id)
      return candidate;
  throw Exception("SOAP: referência \"" + std::string(href) + "\" não encontrada na resposta");
}

// Escapes UTF-8 text for element content of an envelope in ISO-8859-1: characters beyond it are
// written as character references. Carriage returns and other control characters are too, so that a
// reader's line-end normalisation keeps every byte.
void append_escaped(std::string &out, std::string_view text) {
  const std::u16string units = text::utf8_to_utf16(text);
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"')
      out += "&quot;";
    else if ((c < 0x20 && c != '\n' && c != '\t') || c > 0xFF)
      out += "&#" + std::to_string(static_cast<uint32_t>(c)) + ";";
    else
      out += static_cast<char>(c);
  }
}

const std::string envelope_start =
    std::string("<?xml version=\"1.0\" encoding=\"") + ValidadorRegistration::Encoding + "\"?>\n" +
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"" + envelope_ns + "\" xmlns:SOAP-ENC=\"" + encoding_ns +
    "\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">";
const std::string envelope_end = "</SOAP-ENV:Body></SOAP-ENV:Envelope>";

// The namespace that the element's prefix (or the default namespace) stands for.
std::string namespace_of(const pugi::xml_node &node) {
  std::string_view name = node.name();
  size_t colon = name.find(':');
  std::string attr =
      colon == std::string_view::npos ? "xmlns" : "xmlns:" + std::string(name.substr(0, colon));
  for (pugi::xml_node n = node; n; n = n.parent())
    if (pugi::xml_attribute a = n.attribute(attr.c_str()))
      return a.value();
  return {};
}

} // namespace

std::string write_envelope(const Message &message) {
  std::string out = envelope_start;
  out += "<SOAP-ENV:Body SOAP-ENV:encodingStyle=\"";
  out += encoding_ns;
  out += "\"><NS1:" + message.operation + " xmlns:NS1=\"";
  append_escaped(out, message.ns);
  out += "\">";
  for (const auto &[name, value] : message.parts) {
    out += "<" + name + " xsi:type=\"xsd:string\">";
    append_escaped(out, value);
    out += "</" + name + ">";
  }
  out += "</NS1:" + message.operation + ">" + envelope_end;
  return out;
}

std::string write_fault(std::string_view code, std::string_view text) {
  std::string out = envelope_start + "<SOAP-ENV:Body><SOAP-ENV:Fault><faultcode>";
  append_escaped(out, code);
  out += "</faultcode><faultstring>";
  append_escaped(out, text);
  out += "</faultstring></SOAP-ENV:Fault>" + envelope_end;
  return out;
}

Message read_envelope(std::string_view xml) {
  pugi::xml_document doc;
  pugi::xml_parse_result parsed =
      doc.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_cdata, pugi::encoding_auto);
  if (!parsed)
    throw Exception(std::string("SOAP: resposta que não é XML (") + parsed.description() + ")");
  pugi::xml_node envelope = first_element(doc);
  if (local_name(envelope) != "Envelope")
    throw Exception("SOAP: resposta sem envelope");
  pugi::xml_node body = child_named(envelope, "Body");
  pugi::xml_node op = first_element(body);
  if (!op)
    throw Exception("SOAP: envelope sem corpo");
  if (local_name(op) == "Fault") {
    std::string text = part_text(child_named(op, "faultstring"));
    if (text.empty())
      text = part_text(child_named(op, "faultcode"));
    throw Fault(text.empty() ? std::string("SOAP Fault") : text);
  }
  Message message;
  message.envelope_ns = namespace_of(envelope);
  message.ns = namespace_of(op);
  message.operation = std::string(local_name(op));
  for (pugi::xml_node part : op.children()) {
    if (part.type() != pugi::node_element)
      continue;
    message.parts.emplace_back(std::string(local_name(part)), part_text(resolve_reference(body, part)));
  }
  return message;
}

std::string bytes_to_latin1_text(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes)
    text::append_utf8(out, b);
  return out;
}

std::string latin1_text_to_bytes(std::string_view utf8) {
  std::u16string units = text::utf8_to_utf16(utf8);
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    char16_t u = units[i];
    if (u <= 0xFF) {
      out += static_cast<char>(u);
      continue;
    }
    std::string one;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size())
      ++i, one = "?";
    else
      one = text::utf8_to_cp1252(text::utf16_to_utf8(std::u16string_view(&units[i], 1)));
    out += one;
  }
  return out;
}

} // namespace soap
