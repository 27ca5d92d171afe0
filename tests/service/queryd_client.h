#pragma once

// What the tests of velacorte-queryd send it: selectxml calls as the query client makes them, and a
// folder of their own under the build tree for databases and download files.

#include "queryd_server.h"

#include <filesystem>
#include <string>

namespace queryd_test {

inline constexpr const char *default_token = "06192284400461:1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A";

// A selectxml call: the HTTP status, and the reply's bytes when it is 200.
struct Call {
  int status = 0;
  std::string reply;
};

Call call(const QuerydServer &server, const std::string &sql, const std::string &options = "1:1;script=N",
          const std::string &senha = senha_of_today(), const std::string &credentials = default_token);

// The status code and the message of a reply ("" when absent).
std::string codigo(const std::string &reply);
std::string mensagem(const std::string &reply);
// The text of `column` in the first row of a reply's result set ("" when absent).
std::string first_row_value(const std::string &reply, const char *column);

// The resident memory of a process in MB.
long resident_mb(int pid);

// The socket of the throwaway MariaDB of the tests' fixture; fails the test when the test command has
// not named one.
std::string mariadb_socket();

// A new empty folder under the tests' temporary root, removed with everything in it at the end.
class ScratchFolder {
public:
  explicit ScratchFolder(const std::string &name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder &) = delete;
  ScratchFolder &operator=(const ScratchFolder &) = delete;
  const std::filesystem::path &path() const { return path_; }
  std::string operator/(const std::string &name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

} // namespace queryd_test
