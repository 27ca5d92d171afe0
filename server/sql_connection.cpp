#include "sql_connection.h"

#include "text.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <set>

void SqlConnection::count_reply_bytes(std::size_t bytes, const StatementLimits &limits) {
  reply_bytes_ += bytes;
  if (reply_bytes_ > limits.reply_bytes)
    throw SqlError(reply_too_large(limits.reply_bytes));
}

void SqlConnection::hold_writes_of(const std::string &sql, bool writes) {
  static const std::set<std::string> plain = {"SELECT", "WITH",   "VALUES", "INSERT",
                                              "UPDATE", "DELETE", "REPLACE"};
  if (!plain.count(first_keyword(sql))) {
    commit_held_writes();
    return;
  }
  if (!holding_ && writes && !in_transaction()) {
    begin_transaction();
    holding_ = true;
  }
}

void SqlConnection::commit_held_writes() {
  if (!holding_)
    return;
  holding_ = false;
  if (in_transaction())
    commit_transaction();
}

std::string local_now_text() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return buffer;
}

std::string first_keyword(const std::string &sql) {
  size_t i = 0;
  while (i < sql.size()) {
    if (static_cast<unsigned char>(sql[i]) <= ' ') {
      ++i;
    } else if (sql.compare(i, 2, "--") == 0) {
      i = sql.find('\n', i);
    } else if (sql.compare(i, 2, "/*") == 0) {
      i = sql.find("*/", i + 2);
      if (i != std::string::npos)
        i += 2;
    } else {
      break;
    }
  }
  if (i >= sql.size())
    return "";
  size_t start = i;
  while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
    ++i;
  return text::upper_ascii(sql.substr(start, i - start));
}

std::string reply_too_large(std::size_t limit) {
  return "resposta maior que o limite de " + std::to_string(limit) + " bytes (--max-reply)";
}

std::string statement_too_long(std::chrono::milliseconds limit, const std::string &statement) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(limit.count()) / 1000.0);
  return std::string("comando cancelado: passou do limite de ") + seconds +
         " s (--statement-timeout): " + statement.substr(0, 80);
}
