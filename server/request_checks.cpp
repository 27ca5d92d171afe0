#include "request_checks.h"

#include "soap_envelope.h"
#include "text.h"
#include "uwsselectxml.h"
#include "xml_shape.h"

#include <set>

namespace {

constexpr const char *soap_envelope_ns = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char *parameter_names[] = {"senha", "sql", "options"};

// A selectxml envelope has about ten elements, multi-reference parts a few more; past these caps a
// request costs the parser, and the resolution of its references, far more than it could need.
constexpr size_t envelope_elements = 256;
constexpr size_t envelope_depth = 16;

std::string quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// SOAP 1.1 writes the action as a quoted string; some clients leave the quotes out.
std::string_view unquoted(std::string_view action) {
  action = text::trim_controls(action);
  if (action.size() >= 2 && action.front() == '"' && action.back() == '"')
    action = action.substr(1, action.size() - 2);
  return action;
}

// The media type of a Content-Type value, lower-cased, without its parameters.
std::string media_type(std::string_view content_type) {
  return text::lower_ascii(text::trim_controls(content_type.substr(0, content_type.find(';'))));
}

void check_headers(const SelectxmlRequest &request) {
  const std::string expected = ValidadorRegistration::SOAPAction;
  if (!request.soap_action)
    throw RequestRefused("selectxml: cabeçalho SOAPAction ausente; esperado " + quoted(expected));
  if (unquoted(*request.soap_action) != expected)
    throw RequestRefused("selectxml: SOAPAction " + quoted(unquoted(*request.soap_action)) +
                         " recusado; esperado " + quoted(expected));
  if (media_type(request.content_type) != "text/xml")
    throw RequestRefused("selectxml: Content-Type " + quoted(request.content_type) +
                         " recusado; esperado text/xml");
}

void check_call(const soap::Message &call) {
  if (call.envelope_ns != soap_envelope_ns)
    throw RequestRefused("selectxml: envelope no namespace " + quoted(call.envelope_ns) +
                         " recusado; esperado " + quoted(soap_envelope_ns) + " (SOAP 1.1)");
  if (call.operation != "selectxml")
    throw RequestRefused("selectxml: operação desconhecida: " + call.operation);
  if (call.ns != ValidadorRegistration::Namespace)
    throw RequestRefused("selectxml: operação no namespace " + quoted(call.ns) + " recusada; esperado " +
                         quoted(ValidadorRegistration::Namespace));
  std::string received;
  for (const auto &[name, value] : call.parts)
    received += (received.empty() ? "" : ", ") + name;
  bool named = call.parts.size() == std::size(parameter_names);
  for (size_t i = 0; named && i < call.parts.size(); ++i)
    named = call.parts[i].first == parameter_names[i];
  if (!named)
    throw RequestRefused("selectxml: parâmetros recusados (" + (received.empty() ? "nenhum" : received) +
                         "); esperados senha, sql e options, nesta ordem");
}

// The lenient reading: a parameter by its name, else by its position.
std::string part(const soap::Message &message, const std::string &name, size_t position) {
  for (const auto &[part_name, value] : message.parts)
    if (part_name == name)
      return value;
  if (position < message.parts.size())
    return message.parts[position].second;
  throw RequestRefused("selectxml: parâmetro \"" + name + "\" ausente");
}

} // namespace

std::string options_refusal(const std::string &options) {
  if (options.empty())
    return "";
  if (options.rfind("1:1", 0) != 0)
    return "selectxml: options " + quoted(options) + " recusado: não começa com \"1:1\"";
  static const std::set<std::string> valued = {"rede_id", "ms", "msu", "msp"};
  static const std::set<std::string> flags = {"script=S", "script=N", "zip=S", "zip=N"};
  std::set<std::string> seen;
  size_t start = 3;
  while (start < options.size()) {
    if (options[start] != ';')
      return "selectxml: options " + quoted(options) + " recusado: \";\" esperado após \"" +
             options.substr(0, start) + "\"";
    size_t end = options.find(';', start + 1);
    std::string item = options.substr(start + 1, end == std::string::npos ? end : end - start - 1);
    std::string key = item.substr(0, item.find('='));
    bool known = flags.count(item) || (valued.count(key) && item.size() > key.size());
    if (!known)
      return "selectxml: options " + quoted(options) + " recusado: item desconhecido " + quoted(item);
    if (!seen.insert(key).second)
      return "selectxml: options " + quoted(options) + " recusado: item repetido " + quoted(key);
    start = end == std::string::npos ? options.size() : end;
  }
  return "";
}

SelectxmlCall read_selectxml_call(const SelectxmlRequest &request, bool strict) {
  if (strict)
    check_headers(request);
  XmlShape shape = xml_shape(request.body, envelope_elements, envelope_depth);
  if (shape.elements > envelope_elements || shape.depth > envelope_depth)
    throw RequestRefused("selectxml: envelope recusado: mais de " + std::to_string(envelope_elements) +
                         " elementos ou de " + std::to_string(envelope_depth) + " níveis");
  soap::Message call = soap::read_envelope(request.body);
  if (!strict) {
    if (call.operation != "selectxml")
      throw RequestRefused("selectxml: operação desconhecida: " + call.operation);
    return {part(call, "senha", 0), part(call, "sql", 1), part(call, "options", 2)};
  }
  check_call(call);
  SelectxmlCall parsed{call.parts[0].second, call.parts[1].second, call.parts[2].second};
  if (std::string refusal = options_refusal(parsed.options); !refusal.empty())
    throw RequestRefused(refusal);
  return parsed;
}
