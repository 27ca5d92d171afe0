#pragma once

// The failures of the native HTTP library in the words of the query client's messages.

#include <httplib.h>

#include <string>

// "conexão recusada", "a conexão caiu antes do fim da resposta", ...; one that a later version of the
// library adds is named by its number. A failed connection is told apart further by the caller,
// which can ask whether the host resolves.
std::string http_failure_text(httplib::Error error);
