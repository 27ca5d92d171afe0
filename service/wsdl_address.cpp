#include "wsdl_address.h"

#include "Exception.h"

#include <pugixml.hpp>

namespace {

std::string_view local_name(const pugi::xml_node &node) {
  std::string_view name = node.name();
  size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node child_element(const pugi::xml_node &parent, std::string_view name,
                             std::string_view name_attr) {
  for (pugi::xml_node child : parent.children())
    if (child.type() == pugi::node_element && local_name(child) == name &&
        (name_attr.empty() || child.attribute("name").value() == name_attr))
      return child;
  return {};
}

} // namespace

std::string wsdl_service_address(std::string_view wsdl, std::string_view service, std::string_view port) {
  pugi::xml_document doc;
  if (!doc.load_buffer(wsdl.data(), wsdl.size()))
    throw Exception("WSDL inválido");
  pugi::xml_node definitions = doc.document_element();
  pugi::xml_node address = child_element(
      child_element(child_element(definitions, "service", service), "port", port), "address", {});
  if (!address || !address.attribute("location"))
    throw Exception("WSDL sem o endereço da porta \"" + std::string(port) + "\" do serviço \"" +
                    std::string(service) + "\"");
  return address.attribute("location").value();
}
