#include "install_manifest.h"

#include "json_text.h"
#include "text.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <utility>
#include <variant>

#ifdef _WIN32
#include <windows.h>
#endif

namespace manifest {

namespace {

struct KindName {
  Kind kind;
  const char *name;
};
constexpr KindName kKinds[] = {
    {Kind::File, "file"},
    {Kind::Shortcut, "shortcut"},
    {Kind::Folder, "folder"},
    {Kind::UninstallEntry, "uninstall_entry"},
};

// A reader of the one shape the manifest uses: a flat object of texts and non-negative integers.
class LineParser {
public:
  using Value = std::variant<std::string, uint64_t>;

  explicit LineParser(std::string_view line) : line_(line) {}

  // The object's members, or nullopt with `reason()` set.
  std::optional<std::map<std::string, Value>> object() {
    std::map<std::string, Value> members;
    skip_blanks();
    if (!take('{'))
      return fail("não começa com {");
    skip_blanks();
    if (take('}'))
      return finish(std::move(members));
    for (;;) {
      skip_blanks();
      std::optional<std::string> key = quoted();
      if (!key)
        return std::nullopt;
      skip_blanks();
      if (!take(':'))
        return fail("falta : depois de \"" + *key + "\"");
      skip_blanks();
      std::optional<Value> value = member_value();
      if (!value)
        return std::nullopt;
      if (!members.emplace(*key, std::move(*value)).second)
        return fail("campo \"" + *key + "\" repetido");
      skip_blanks();
      if (take('}'))
        return finish(std::move(members));
      if (!take(','))
        return fail("falta , ou } na posição " + std::to_string(at_ + 1));
    }
  }

  const std::string &reason() const { return reason_; }

private:
  std::nullopt_t fail(std::string reason) {
    reason_ = std::move(reason);
    return std::nullopt;
  }

  std::optional<std::map<std::string, Value>> finish(std::map<std::string, Value> members) {
    skip_blanks();
    if (at_ != line_.size())
      return fail("texto depois do objeto");
    return members;
  }

  void skip_blanks() {
    while (at_ < line_.size() && (line_[at_] == ' ' || line_[at_] == '\t' || line_[at_] == '\r'))
      ++at_;
  }

  bool take(char c) {
    if (at_ < line_.size() && line_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  std::optional<Value> member_value() {
    if (at_ < line_.size() && line_[at_] == '"') {
      std::optional<std::string> text = quoted();
      if (!text)
        return std::nullopt;
      return Value(std::move(*text));
    }
    return number();
  }

  std::optional<Value> number() {
    size_t start = at_;
    uint64_t value = 0;
    while (at_ < line_.size() && line_[at_] >= '0' && line_[at_] <= '9') {
      unsigned digit = static_cast<unsigned>(line_[at_] - '0');
      if (value > (UINT64_MAX - digit) / 10)
        return fail("número grande demais na posição " + std::to_string(start + 1));
      value = value * 10 + digit;
      ++at_;
    }
    if (at_ == start)
      return fail("valor que não é texto nem número na posição " + std::to_string(start + 1));
    if (line_[start] == '0' && at_ - start > 1)
      return fail("número com zero à esquerda na posição " + std::to_string(start + 1));
    if (at_ < line_.size() && (line_[at_] == '.' || line_[at_] == 'e' || line_[at_] == 'E'))
      return fail("número que não é inteiro na posição " + std::to_string(start + 1));
    return Value(value);
  }

  std::optional<unsigned> hex4() {
    if (line_.size() - at_ < 4)
      return std::nullopt;
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      char c = line_[at_++];
      value <<= 4;
      if (c >= '0' && c <= '9')
        value |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        value |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        value |= static_cast<unsigned>(c - 'A' + 10);
      else
        return std::nullopt;
    }
    return value;
  }

  std::optional<std::string> quoted() {
    size_t start = at_;
    if (!take('"'))
      return fail("esperado texto na posição " + std::to_string(start + 1));
    std::string out;
    for (;;) {
      if (at_ >= line_.size())
        return fail("texto sem fim desde a posição " + std::to_string(start + 1));
      unsigned char c = static_cast<unsigned char>(line_[at_++]);
      if (c == '"')
        break;
      if (c < 0x20)
        return fail("caractere de controle no texto na posição " + std::to_string(at_));
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (at_ >= line_.size())
        return fail("texto sem fim desde a posição " + std::to_string(start + 1));
      char escape = line_[at_++];
      switch (escape) {
      case '"':
      case '\\':
      case '/':
        out += escape;
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        std::optional<unsigned> unit = hex4();
        if (!unit)
          return fail("\\u sem quatro dígitos hexadecimais na posição " + std::to_string(at_));
        char32_t code_point = *unit;
        if (*unit >= 0xD800 && *unit <= 0xDBFF) {
          std::optional<unsigned> low;
          if (take('\\') && take('u'))
            low = hex4();
          if (!low || *low < 0xDC00 || *low > 0xDFFF)
            return fail("surrogate sem par na posição " + std::to_string(at_));
          code_point = 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00);
        } else if (*unit >= 0xDC00 && *unit <= 0xDFFF) {
          return fail("surrogate sem par na posição " + std::to_string(at_));
        }
        // A NUL would cut the path short where Windows reads it.
        if (code_point == 0)
          return fail("caractere nulo no texto");
        text::append_utf8(out, code_point);
        break;
      }
      default:
        return fail(std::string("escape \\") + escape + " desconhecido na posição " +
                    std::to_string(at_ - 1));
      }
    }
    if (!text::is_valid_utf8(out))
      return fail("texto que não é UTF-8 desde a posição " + std::to_string(start + 1));
    return out;
  }

  std::string_view line_;
  size_t at_ = 0;
  std::string reason_;
};

bool is_digest(const std::string &value) {
  if (value.size() != 64)
    return false;
  for (char c : value)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
      return false;
  return true;
}

const std::string *text_member(const std::map<std::string, LineParser::Value> &members, const char *name) {
  auto found = members.find(name);
  return found == members.end() ? nullptr : std::get_if<std::string>(&found->second);
}

const uint64_t *number_member(const std::map<std::string, LineParser::Value> &members, const char *name) {
  auto found = members.find(name);
  return found == members.end() ? nullptr : std::get_if<uint64_t>(&found->second);
}

LineReading refused(std::string reason) {
  LineReading reading;
  reading.reason = std::move(reason);
  return reading;
}

std::string same_object_key(const Entry &entry) {
  return std::string(kind_name(entry.kind)) + '\n' + text::lower_ascii(entry.path);
}

} // namespace

const char *kind_name(Kind kind) {
  for (const KindName &known : kKinds)
    if (known.kind == kind)
      return known.name;
  return "?";
}

std::string to_line(const Entry &entry) {
  std::string out = "{\"version\":" + std::to_string(kVersion) + ",\"kind\":";
  json::append_string(out, kind_name(entry.kind));
  out += ",\"path\":";
  json::append_string(out, entry.path);
  if (entry.kind == Kind::File) {
    out += ",\"size\":" + std::to_string(entry.size) + ",\"sha256\":";
    json::append_string(out, entry.sha256);
  }
  out += '}';
  return out;
}

LineReading read_line(std::string_view line) {
  if (line.size() > kLineLimit)
    return refused("linha de " + std::to_string(line.size()) + " bytes, mais que " +
                   std::to_string(kLineLimit));
  LineParser parser(line);
  auto members = parser.object();
  if (!members)
    return refused("JSON inválido: " + parser.reason());

  const uint64_t *version = number_member(*members, "version");
  if (!version)
    return refused("sem o campo numérico \"version\"");
  if (*version != kVersion)
    return refused("versão " + std::to_string(*version) + " desconhecida");

  const std::string *kind = text_member(*members, "kind");
  if (!kind)
    return refused("sem o campo de texto \"kind\"");
  LineReading reading;
  bool known = false;
  for (const KindName &candidate : kKinds)
    if (*kind == candidate.name) {
      reading.entry.kind = candidate.kind;
      known = true;
    }
  if (!known)
    return refused("tipo \"" + *kind + "\" desconhecido");

  const std::string *path = text_member(*members, "path");
  if (!path || path->empty())
    return refused("sem o campo de texto \"path\"");
  reading.entry.path = *path;

  if (reading.entry.kind == Kind::File) {
    const uint64_t *size = number_member(*members, "size");
    const std::string *sha256 = text_member(*members, "sha256");
    if (!size)
      return refused("arquivo sem o campo numérico \"size\"");
    if (!sha256 || !is_digest(*sha256))
      return refused("arquivo sem \"sha256\" de 64 dígitos hexadecimais minúsculos");
    reading.entry.size = *size;
    reading.entry.sha256 = *sha256;
  }
  reading.ok = true;
  return reading;
}

Contents parse(std::string_view text) {
  Contents contents;
  size_t number = 0;
  while (!text.empty()) {
    ++number;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos)
      continue;
    LineReading reading = read_line(line);
    if (reading.ok)
      contents.entries.push_back(std::move(reading.entry));
    else
      contents.skipped.push_back({number, std::move(reading.reason)});
  }
  return contents;
}

std::string to_text(const std::vector<Entry> &entries) {
  std::string out;
  for (const Entry &entry : entries)
    out += to_line(entry) + '\n';
  return out;
}

std::vector<Entry> merged(const std::vector<Entry> &earlier, const std::vector<Entry> &now) {
  std::map<std::string, size_t> places;
  std::vector<Entry> result;
  for (const std::vector<Entry> *run : {&earlier, &now})
    for (const Entry &entry : *run) {
      auto [place, fresh] = places.emplace(same_object_key(entry), result.size());
      if (fresh)
        result.push_back(entry);
      else
        result[place->second] = entry;
    }
  return result;
}

namespace {

#ifdef _WIN32
std::filesystem::path file_path(const std::string &path) {
  return std::filesystem::path(text::widen(path));
}
#else
std::filesystem::path file_path(const std::string &path) {
  return std::filesystem::path(path);
}
#endif

// Replaces `to` by `from` in one step.
bool replace_file(const std::string &from, const std::string &to) {
#ifdef _WIN32
  return MoveFileExW(text::widen(from).c_str(), text::widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

} // namespace

FileReading read_file(const std::string &path) {
  FileReading reading;
  std::error_code error;
  if (!std::filesystem::exists(file_path(path), error))
    return reading;
  reading.found = true;
  std::ifstream in(file_path(path), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad() || !in.is_open()) {
    reading.contents.skipped.push_back({0, "ler " + path + ": não foi possível"});
    return reading;
  }
  reading.contents = parse(text);
  return reading;
}

std::string write_file(const std::string &path, const std::vector<Entry> &entries) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(file_path(temporary), std::ios::binary | std::ios::trunc);
    if (!out)
      return "gravar " + temporary + ": não abre";
    out << to_text(entries);
    out.flush();
    if (!out) {
      out.close();
      std::error_code ignored;
      std::filesystem::remove(file_path(temporary), ignored);
      return "gravar " + temporary + ": escrita incompleta";
    }
  }
  if (!replace_file(temporary, path)) {
    std::error_code ignored;
    std::filesystem::remove(file_path(temporary), ignored);
    return "renomear " + temporary + " para " + path + ": não foi possível";
  }
  return {};
}

} // namespace manifest
