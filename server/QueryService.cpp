#include "QueryService.h"

#include "base64.h"
#include "reply_document.h"
#include "script_statements.h"
#include "text.h"

#include <zlib.h>

#include <cstdio>
#include <stdexcept>

namespace {

// Status codes of failure replies, well away from the client's own error numbers.
constexpr const char *senha_refused = "101";
constexpr const char *sql_failed = "102";

struct Options {
  bool script = false;
  bool zip = false;
};

// "1:1;rede_id=...;ms=...;script=S;zip=S": only script and zip change the answer here (what the
// service accepts is checked with the request).
Options parse_options(const std::string &options) {
  Options parsed;
  size_t start = 0;
  while (start <= options.size()) {
    size_t end = options.find(';', start);
    std::string item = text::lower_ascii(options.substr(start, end == std::string::npos ? end : end - start));
    if (item == "script=s")
      parsed.script = true;
    else if (item == "zip=s")
      parsed.zip = true;
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  return parsed;
}

bool begins_with_insert(const std::string &sql) {
  std::string_view trimmed = text::trim_controls(sql);
  return text::upper_ascii(trimmed.substr(0, 3)) == "INS";
}

std::string deflate_zlib(const std::string &bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(bytes.data()),
                static_cast<uLong>(bytes.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

} // namespace

std::string senha_for_day(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  unsigned long number = static_cast<unsigned long>(local.tm_mday) * 1000000UL +
                         static_cast<unsigned long>(local.tm_mon + 1) * 10000UL +
                         static_cast<unsigned long>(local.tm_year + 1900);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02lX", number);
  return buffer;
}

bool senha_accepted(const std::string &senha, std::time_t now) {
  std::string given = text::upper_ascii(senha);
  for (int day = -1; day <= 1; ++day)
    if (given == senha_for_day(now + day * 86400))
      return true;
  return false;
}

std::string QueryService::run(const std::string &sql, bool script_mode) {
  try {
    Database::Lease connection = database_.lease();
    std::string answer;
    if (script_mode) {
      std::vector<StatementResult> results;
      for (const std::string &statement : script_statements(sql)) {
        try {
          results.push_back(connection->run(statement));
        } catch (const SqlError &e) {
          // The lease undoes what the script left uncommitted; the failure names the statement.
          return reply::failure(sql_failed, e.what(), results.size() + 1);
        }
      }
      answer = reply::script(results, encoding_);
    } else {
      StatementResult result = connection->run(sql);
      std::optional<long long> last_id;
      if (begins_with_insert(sql))
        last_id = result.last_id;
      answer = reply::single(result, last_id, encoding_);
    }
    // A success is answered only for what is committed; a failure leaves the held writes to the
    // lease, which undoes them.
    if (connection->client_transaction_open())
      return reply::failure(sql_failed,
                            "transação aberta ao fim do pedido foi desfeita; termine-a com COMMIT "
                            "no mesmo pedido");
    if (answer.size() > database_.limits().reply_bytes)
      return reply::failure(sql_failed, reply_too_large(database_.limits().reply_bytes));
    connection->commit_held_writes();
    return answer;
  } catch (const SqlError &e) {
    // The lease has rolled back whatever the request left open.
    return reply::failure(sql_failed, e.what());
  }
}

std::string QueryService::selectxml(const std::string &senha, const std::string &sql,
                                    const std::string &options) {
  Options parsed = parse_options(options);
  std::string answer = senha_accepted(senha, std::time(nullptr))
                           ? run(sql, parsed.script)
                           : reply::failure(senha_refused, "Senha inválida");
  return parsed.zip ? base64::encode(deflate_zlib(answer)) : answer;
}
