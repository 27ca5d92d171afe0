#include "http_library_errors.h"

std::string http_failure_text(httplib::Error error) {
  switch (error) {
  case httplib::Error::Success:
    return "sem falha";
  case httplib::Error::Connection:
    return "conexão recusada";
  case httplib::Error::BindIPAddress:
    return "não foi possível usar o endereço local da conexão";
  case httplib::Error::Read:
    return "a conexão caiu antes do fim da resposta";
  case httplib::Error::Write:
    return "a conexão caiu durante o envio do pedido";
  case httplib::Error::ExceedRedirectCount:
    return "redirecionamentos demais";
  case httplib::Error::Canceled:
    return "pedido cancelado";
  case httplib::Error::SSLConnection:
    return "falha na conexão segura (TLS): o servidor não a aceitou ou não fala TLS";
  case httplib::Error::SSLLoadingCerts:
    return "não foi possível carregar os certificados das autoridades do sistema";
  case httplib::Error::SSLServerVerification:
    return "certificado do servidor recusado (autoridade ou nome não confere)";
  case httplib::Error::UnsupportedMultipartBoundaryChars:
    return "pedido com separador inválido";
  case httplib::Error::Compression:
    return "falha ao descompactar a resposta";
  case httplib::Error::ConnectionTimeout:
    return "sem resposta ao pedido de conexão";
  case httplib::Error::Unknown:
    return "falha desconhecida da biblioteca HTTP";
  }
  return "falha " + std::to_string(static_cast<int>(error)) + " da biblioteca HTTP";
}
