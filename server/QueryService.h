#pragma once

// The query service's operation: checks the per-day password, runs the SQL and writes the reply.

#include "Database.h"
#include "reply_document.h"

#include <ctime>
#include <string>
#include <vector>

class QueryService {
public:
  explicit QueryService(Database &database,
                        reply::TextEncoding encoding = reply::TextEncoding::utf8_with_mark)
      : database_(database), encoding_(encoding) {}

  // The reply bytes for one selectxml call, compressed and in base64 when the options ask for it.
  std::string selectxml(const std::string &senha, const std::string &sql, const std::string &options);

private:
  std::string run(const std::string &sql, bool script_mode);

  Database &database_;
  reply::TextEncoding encoding_;
};

// The per-day password for the local date of `when`: "ddmmyyyy" read as a decimal number, in
// upper-case hexadecimal.
std::string senha_for_day(std::time_t when);

// Whether `senha` is the password of the local date or of the day before or after it.
bool senha_accepted(const std::string &senha, std::time_t now);
