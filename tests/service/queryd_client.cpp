#include "queryd_client.h"

#include "base64.h"
#include "soap_envelope.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <fstream>

#include <unistd.h>

namespace queryd_test {
namespace {

std::string status_element(const std::string &reply, const char *name) {
  pugi::xml_document doc;
  if (!doc.load_string(reply.c_str()))
    return "";
  return doc.child("retorno").child("status").child(name).text().as_string();
}

} // namespace

Call call(const QuerydServer &server, const std::string &sql, const std::string &options,
          const std::string &senha, const std::string &credentials) {
  soap::Message message{
      "uri:server.Validador", "selectxml", {{"senha", senha}, {"sql", sql}, {"options", options}}};
  HttpReply http =
      server.request("POST", "/servicos/wsdl/selectxml/selectxml.php", soap::write_envelope(message),
                     {"Authorization: Basic " + base64::encode(credentials), "Content-Type: text/xml",
                      "SOAPAction: \"uri:server.Validador/Validador\""});
  Call result{http.status, {}};
  if (http.status == 200)
    result.reply = soap::latin1_text_to_bytes(soap::read_envelope(http.body).parts.at(0).second);
  return result;
}

std::string codigo(const std::string &reply) {
  return status_element(reply, "codigo");
}

std::string mensagem(const std::string &reply) {
  return status_element(reply, "mensagem");
}

std::string first_row_value(const std::string &reply, const char *column) {
  pugi::xml_document doc;
  doc.load_string(reply.c_str());
  return doc.select_node(("/retorno/select/row/" + std::string(column)).c_str()).node().text().as_string();
}

long resident_mb(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0)
      return std::stol(line.substr(6)) / 1024;
  return -1;
}

std::string mariadb_socket() {
  const char *socket = std::getenv("VELACORTE_MARIADB_SOCKET");
  EXPECT_TRUE(socket && *socket) << "VELACORTE_MARIADB_SOCKET: the test command names the fixture's socket";
  return socket ? socket : "";
}

ScratchFolder::ScratchFolder(const std::string &name)
    : path_(std::filesystem::path(temporary_root()) / (name + "-" + std::to_string(getpid()))) {
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

} // namespace queryd_test
