// The execution routine of Execute and ExecuteZ.

#include "reply_text.h"
#include "uMySql.h"

#include "Exception.h"
#include "text.h"
#include "uwsselectxml.h"

#include <filesystem>

namespace {

std::filesystem::path file_path(const std::string &utf8) {
#ifdef _WIN32
  return std::filesystem::path(text::widen(utf8));
#else
  return std::filesystem::path(utf8);
#endif
}

} // namespace

bool TDataXML::Executa(bool Compactado) {
  bool Result = false;
  FLastID = 0;
  try {
    ExecutaPassos(Compactado, Result);
  } catch (const std::exception &failure) {
    FErro = 1;
    FError = "Erro na execução do comando";
    if (FShowErrors)
      throw Exception("Erro na execução do comando\r\n" + std::string(failure.what()));
    return false;
  }
  return Result;
}

void TDataXML::ExecutaPassos(bool Compactado, bool &Result) {
  UsaEnderecosPadrao();
  FSQL = reply_text::substitute_parameters(std::move(FSQL), FParametro);

  std::string options = "1:1";
  if (!FREDE.empty())
    options += ";rede_id=" + FREDE;
  if (!FMS.empty())
    options += ";ms=" + FMS;
  if (!FMSU.empty())
    options += ";msu=" + FMSU;
  if (!FMSP.empty())
    options += ";msp=" + FMSP;
  options += FScript ? ";script=S" : ";script=N";
  if (Compactado)
    options += ";zip=S";

  {
    std::shared_ptr<server_ValidadorPortType> service = GetValidadorPortType(false, "", nullptr);
    // The old reply goes first: a large one is never held twice.
    FXML.clear();
    FXML.shrink_to_fit();
    FXML = service->selectxml(reply_text::todays_password(), FSQL, options);
    if (Compactado) {
      reply_text::decode_base64_in_place(FXML);
      std::string inflated = reply_text::inflate_zlib(FXML);
      FXML = std::move(inflated);
    }
  }

  const std::string status = reply_text::status_code(FXML);

  FDoc.reset();
  FResultSet = ResultSet{};
  FScriptLoaded = false;
  // The reply is UTF-8; the parser takes any bytes as such, so their validity is checked first.
  if (!text::is_valid_utf8(FXML))
    throw Exception("Resposta XML inválida: o texto não é UTF-8 válido");
  auto doc = std::make_unique<pugi::xml_document>();
  pugi::xml_parse_result parsed = doc->load_buffer(
      FXML.data(), FXML.size(), pugi::parse_default | pugi::parse_embed_pcdata, pugi::encoding_utf8);
  if (!parsed)
    throw Exception(std::string("Resposta XML inválida: ") + parsed.description() + " (posição " +
                    std::to_string(parsed.offset) + ")");
  FDoc = std::move(doc);

  SalvaDocumento();
  FNotFound = false;

  if (status == "003") {
    FRecordCount = -1;
    FPosition = 0;
    FNotFound = true;
    Result = true;
    return;
  }
  if (status != "000") {
    FRecordCount = -1;
    std::optional<std::string> codigo = reply_text::element_text(FXML, "codigo");
    if (!codigo)
      return;
    FErro = reply_text::to_int32(*codigo);
    std::optional<std::string> mensagem = reply_text::element_text(FXML, "mensagem");
    if (mensagem)
      FError = std::move(*mensagem);
    return;
  }
  if (FScript) {
    FScript_Count = static_cast<int32_t>(FDoc->select_nodes("/retorno/script").size());
    if (FScript_Count > 0) {
      FScriptLoaded = true;
      EscolheScript(1);
      FPosition = 1;
      Result = true;
    }
    return;
  }
  std::string_view statement = text::trim_controls(FSQL);
  if (text::upper_ascii(statement.substr(0, 3)) == "INS") {
    std::optional<std::string> last_id = reply_text::element_text(FXML, "last_id");
    if (!last_id)
      return;
    FLastID = reply_text::to_int64("0" + *last_id);
  }
  FRecordCount = reply_text::to_row_count(reply_text::select_rows(FXML));
  FPosition = 1;
  Result = true;
}

void TDataXML::SalvaDocumento() {
  if (!FSalvarXML)
    return;
  size_t last = FPathXML.find_last_of(
#ifdef _WIN32
      "\\/:"
#else
      "\\/"
#endif
  );
  if (last == std::string::npos)
    return;
  if (last + 1 == FPathXML.size()) {
    if (FPathXML.back() == ':')
      FPathXML += '\\';
    FPathXML += "DataXML.xml";
  }
  std::filesystem::path target = file_path(FPathXML);
  std::error_code error;
  std::filesystem::create_directories(target.parent_path(), error);
  if (!FDoc->save_file(target.c_str(), "\t", pugi::format_raw, pugi::encoding_utf8))
    throw Exception("Não foi possível gravar " + FPathXML);
}
