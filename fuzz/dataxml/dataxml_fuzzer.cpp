// libFuzzer target: a reply of the query service loaded into TDataXML, then walked and read by a
// program of cursor and field operations. The input's first line is the program, the rest is the
// reply exactly as the service would send it:
//
//   X execute, Z execute compressed (the reply is deflated and base64-encoded on the way), ! the next
//   call fails as a lost connection; M/m script mode on/off, H/h ShowErrors on/off; Q<text>; is
//   the SQL, G<name>;<value>; sets a parameter; F first, N next, P previous, L last, E end test;
//   c FieldsCount; n<d>, i<d>, S<d> FieldName, FieldByIndex, Script_Index with d a digit, "-" for
//   -1 or anything else for a large index; b<name>;, x<name>;, t<name>;, s<name>; FieldByName,
//   FieldExist, FieldType, FieldSize; C Close, which ends the program.
//
// Failures raised as Exception are the client's way to report; anything else escaping, and the
// sanitizers' findings, are crashes. The SQL and the parameters are the caller's, not the service's:
// they are kept short and the SQL is set afresh before every execution, as the installer does, since a
// caller that feeds a value holding its own placeholder back into the next execution grows its SQL
// without bound by its own doing.

#include "uMySql.h"

#include "Exception.h"
#include "base64.h"
#include "uwsselectxml.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr size_t caller_text = 64;

std::string deflated(std::string_view bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(bytes.data()),
                static_cast<uLong>(bytes.size()), Z_BEST_SPEED) != Z_OK)
    std::abort();
  out.resize(size);
  return out;
}

class Program {
public:
  explicit Program(std::string_view text) : text_(text) {}

  bool done() const { return at_ >= text_.size(); }
  char op() { return text_[at_++]; }

  // An index argument: a digit, "-" for -1, anything else (or nothing) for an index past any list.
  int32_t index() {
    if (done())
      return INT32_MAX;
    char c = text_[at_++];
    if (c >= '0' && c <= '9')
      return c - '0';
    return c == '-' ? -1 : INT32_MAX;
  }

  // A text argument, up to the next ";" or the end; at most `limit` bytes of it are kept.
  std::string text(size_t limit = std::string::npos) {
    size_t end = text_.find(';', at_);
    if (end == std::string_view::npos)
      end = text_.size();
    std::string out(text_.substr(at_, std::min(end - at_, limit)));
    at_ = end == text_.size() ? end : end + 1;
    return out;
  }

private:
  std::string_view text_;
  size_t at_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view input(reinterpret_cast<const char *>(data), size);
  size_t eol = input.find('\n');
  if (eol == std::string_view::npos)
    return 0;
  Program program(input.substr(0, eol));
  const std::string reply(input.substr(eol + 1));

  bool compressed = false;
  bool fail_next = false;
  SetSelectXmlTransport(
      [&](const std::string &, const std::string &, const std::string &, const std::string &) -> std::string {
        if (fail_next) {
          fail_next = false;
          throw Exception("Não foi possível conectar");
        }
        return compressed ? base64::encode(deflated(reply)) : reply;
      });

  TDataXML client;
  std::string sql = "select * from sistema.check_files";
  bool closed = false;
  while (!program.done() && !closed) {
    char op = program.op();
    try {
      switch (op) {
      case 'X':
      case 'Z':
        compressed = op == 'Z';
        client.SetSQL(sql);
        client.Execute();
        break;
      case '!':
        fail_next = true;
        break;
      case 'M':
      case 'm':
        client.SetScript(op == 'M');
        break;
      case 'H':
      case 'h':
        client.SetShowErrors(op == 'H');
        break;
      case 'Q':
        sql = program.text(caller_text);
        break;
      case 'G': {
        std::string name = program.text(caller_text);
        client.GravaParam(name, program.text(caller_text));
        break;
      }
      case 'F':
        client.First();
        break;
      case 'N':
        client.Next();
        break;
      case 'P':
        client.Previous();
        break;
      case 'L':
        client.Last();
        break;
      case 'E':
        client.EOF();
        break;
      case 'c':
        client.FieldsCount();
        break;
      case 'n':
        client.FieldName(program.index());
        break;
      case 'i':
        client.FieldByIndex(program.index());
        break;
      case 'S':
        client.SetScript_Index(program.index());
        break;
      case 'b':
        client.FieldByName(program.text());
        break;
      case 'x':
        client.FieldExist(program.text());
        break;
      case 't':
        client.FieldType(program.text());
        break;
      case 's':
        client.FieldSize(program.text());
        break;
      case 'C':
        client.Close();
        closed = true;
        break;
      default:
        break;
      }
    } catch (const Exception &) {
    }
  }
  SetSelectXmlTransport(nullptr);
  return 0;
}
