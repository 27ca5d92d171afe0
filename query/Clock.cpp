// Liveness of the service and its clock.

#include "reply_text.h"
#include "uMySql.h"

#include "Exception.h"
#include "uwsselectxml.h"

bool TDataXML::IsOnLine() {
  UsaEnderecosPadrao();
  std::string reply;
  bool answered = false;
  for (int attempt = 0; attempt < 2 && !answered; ++attempt) {
    try {
      reply = GetValidadorPortType(false, "", nullptr)
                  ->selectxml(reply_text::todays_password(), "select NOW() 'AGORA'", "");
      answered = true;
    } catch (const std::exception &) {
    }
  }
  if (!answered)
    return false;
  size_t open = reply.find("<AGORA>");
  size_t close = reply.find("</AGORA>");
  if (open == std::string::npos || close == std::string::npos || close < open + 7 || close - open - 7 != 19)
    return false;
  std::string_view t = std::string_view(reply).substr(open + 7, 19);
  if (t[13] != ':' || t[16] != ':')
    throw Exception("'" + std::string(t.substr(11)) + "' não é uma hora válida");
  using reply_text::to_int32;
  FDatetime = reply_text::encode_date_time(to_int32(t.substr(0, 4)), to_int32(t.substr(5, 2)),
                                           to_int32(t.substr(8, 2)), to_int32(t.substr(11, 2)),
                                           to_int32(t.substr(14, 2)), to_int32(t.substr(17, 2)));
  return true;
}

TDateTime TDataXML::SYSDate() {
  if (IsOnLine())
    return FDatetime;
  Report(9, "Erro de conexão com o servidor", "Erro de conexão com o servidor");
  return 0;
}
