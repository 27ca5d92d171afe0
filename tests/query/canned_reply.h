#pragma once

// Replies of the query service laid out as the service writes them, and an in-process transport that
// answers with them and records every call.

#include "uwsselectxml.h"

#include "Exception.h"
#include "base64.h"

#include <string>
#include <vector>

struct Column {
  std::string name;
  std::string tipo;
  std::string tamanho = "60";
};

inline bool carries_base64(const std::string &tipo) {
  return tipo == "252" || tipo == "253" || tipo == "254";
}

// Text as the service encodes it: UTF-8 with a byte-order mark when it is not plain ASCII.
inline std::string encoded_text(const std::string &value) {
  for (char c : value)
    if (static_cast<unsigned char>(c) >= 0x80)
      return base64::encode("\xEF\xBB\xBF" + value);
  return base64::encode(value);
}

// The <select> and <fields> elements of one result set; values of base64 columns are encoded here.
inline std::string result_set(const std::vector<Column> &columns,
                              const std::vector<std::vector<std::string>> &rows) {
  std::string xml = "<select rows=\"" + std::to_string(rows.size()) + "\">";
  for (const auto &row : rows) {
    xml += "<row>";
    for (size_t i = 0; i < columns.size(); ++i) {
      const std::string &value = carries_base64(columns[i].tipo) ? encoded_text(row[i]) : row[i];
      xml += "<" + columns[i].name + ">" + value + "</" + columns[i].name + ">";
    }
    xml += "</row>";
  }
  xml += "</select><fields>";
  for (const Column &c : columns)
    xml += "<" + c.name + " tipo=\"" + c.tipo + "\" tamanho=\"" + c.tamanho + "\"/>";
  return xml + "</fields>";
}

inline std::string reply(const std::string &body,
                         const std::string &status = "<codigo>000</codigo><mensagem></mensagem>") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<retorno><status>" + status + "</status>" + body +
         "</retorno>";
}

struct SelectXmlCall {
  std::string url, senha, sql, options;
};

// Installs itself as the transport for its lifetime.
class CannedService {
public:
  std::string answer;
  int failures = 0; // the next calls that fail as a lost connection would
  std::vector<SelectXmlCall> calls;

  CannedService() {
    SetSelectXmlTransport([this](const std::string &url, const std::string &senha, const std::string &sql,
                                 const std::string &options) {
      calls.push_back({url, senha, sql, options});
      if (failures > 0) {
        --failures;
        throw Exception("Não foi possível conectar");
      }
      return answer;
    });
  }
  ~CannedService() { SetSelectXmlTransport(nullptr); }
};
