#pragma once

// What a saved reply holds, told by its structure: the elements of its first two levels, read
// without parsing the whole document, so that a column's name never decides it.

#include <optional>
#include <string>
#include <string_view>

struct ReplyShape {
  // The document element holds <script> result sets after the status.
  bool script_results = false;
  // The status names the statement at which a script failed (<instrucao>).
  bool failed_statement = false;
};

ReplyShape reply_shape(std::string_view reply);

// The text of the status's <mensagem> as the service sent it (quotes, letter case and entities
// decoded); nullopt when the reply has none or does not parse.
std::optional<std::string> service_message(std::string_view reply);
