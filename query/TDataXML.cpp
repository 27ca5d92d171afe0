// Creation, closing, parameters and the service and database server addresses of TDataXML.

#include "uMySql.h"

#include "Exception.h"
#include "TextList.h"
#include "text.h"
#include "url_parts.h"
#include "uwsselectxml.h"

#include <algorithm>

namespace {

std::string_view entry_name(const std::string &entry) {
  return std::string_view(entry).substr(0, entry.find('='));
}

// Entries are ordered by their length in characters, as UTF-16 counts them.
size_t text_length(const std::string &entry) {
  size_t units = 0;
  for (char c : entry) {
    auto b = static_cast<unsigned char>(c);
    units += (b & 0xC0) != 0x80;
    units += b >= 0xF0;
  }
  return units;
}

} // namespace

TDataXML::TDataXML() {
  WSDLPadrao.clear();
  URLPadrao.clear();
}

TDataXML::~TDataXML() {
  Close();
}

void TDataXML::Close() {
  FScript_Count = 0;
  FScript_Index = 0;
  FParametro.clear();
  FLastID = 0;
  FScript = false;
  FSQL.clear();
  FREDE.clear();
  FXML.clear();
  FXML.shrink_to_fit();
  FDoc.reset();
  FScriptLoaded = false;
  FResultSet = ResultSet{};
  FRecordCount = -1;
  FErro = 0;
  FError.clear();
  FPosition = 0;
  FNotFound = false;
}

void TDataXML::Report(int32_t Code, const char *Stored, const char *Raised) {
  FErro = Code;
  FError = Stored;
  if (FShowErrors)
    throw Exception(Raised);
}

void TDataXML::GravaParam(const std::string &NomeParametro, const std::string &Value) {
  std::string entry = NomeParametro + "=" + (Value.empty() ? std::string(" ") : Value);
  auto same = std::find_if(FParametro.begin(), FParametro.end(), [&](const std::string &e) {
    return compare_ignoring_case(entry_name(e), NomeParametro) == 0;
  });
  if (same != FParametro.end())
    *same = std::move(entry);
  else
    FParametro.push_back(std::move(entry));
  FParamCount = static_cast<int32_t>(FParametro.size());
  std::stable_sort(FParametro.begin(), FParametro.end(), [](const std::string &a, const std::string &b) {
    return text_length(a) < text_length(b);
  });
}

std::string TDataXML::LeParam(const std::string &NomeParametro) const {
  for (const std::string &e : FParametro)
    if (compare_ignoring_case(entry_name(e), NomeParametro) == 0)
      return e.find('=') == std::string::npos ? std::string() : e.substr(e.find('=') + 1);
  return "";
}

std::string TDataXML::LeIndex(int32_t Index) const {
  if (Index < 0 || static_cast<size_t>(Index) >= FParametro.size())
    throw Exception("Índice da lista fora dos limites (" + std::to_string(Index) + ")");
  return std::string(entry_name(FParametro[static_cast<size_t>(Index)]));
}

bool TDataXML::ServidorWS(const std::string &Nome) {
  WSDLPadrao = service_host_address(Nome) + "/servicos/wsdl/selectxml/selectxml.php?wsdl";
  URLPadrao = service_host_address(Nome) + "/servicos/wsdl/selectxml/selectxml.php";
  return true;
}

void TDataXML::UsaEnderecosPadrao() {
  if (URLPadrao.empty()) {
    WSDLPadrao = service_host_address(VELACORTE_SERVICE_HOST) + "/servicos/wsdl/selectxml/selectxml.php?wsdl";
    URLPadrao = service_host_address(VELACORTE_SERVICE_HOST) + "/servicos/wsdl/selectxml/selectxml.php";
  }
}

bool TDataXML::ServidorMS(const std::string &Nome, const std::string &Usuario, const std::string &Password) {
  FMS = Nome;
  if (!text::trim_controls(Usuario).empty())
    FMSU = Usuario;
  if (!text::trim_controls(Password).empty())
    FMSP = Password;
  return false;
}
