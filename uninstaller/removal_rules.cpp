#include "removal_rules.h"

#include "case_fold.h"
#include "product.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace uninstall {

namespace {

std::vector<std::string> split(const std::string &path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at = 0; at <= path.size(); ++at)
    if (at == path.size() || path[at] == '\\' || path[at] == '/') {
      parts.push_back(path.substr(start, at - start));
      start = at + 1;
    }
  return parts;
}

// "NAME~1", "PROGRA~2.TXT": a short alias can name any long name, the data folder's too.
bool looks_like_short_alias(const std::string &part) {
  size_t tilde = part.find('~');
  return tilde != std::string::npos && tilde + 1 < part.size() &&
         std::isdigit(static_cast<unsigned char>(part[tilde + 1]));
}

bool plain_component(const std::string &part) {
  if (part.empty() || part == "." || part == "..")
    return false;
  if (part.back() == '.' || part.back() == ' ')
    return false;
  if (part.find_first_of(":*?\"<>|") != std::string::npos)
    return false;
  for (unsigned char c : part)
    if (c < 0x20)
      return false;
  return !looks_like_short_alias(part);
}

bool is_drive_c(const std::string &part) {
  return part == "c:" || part == "C:";
}

std::string joined(const std::vector<std::string> &parts, size_t count) {
  std::string path = product::kFolder;
  for (size_t i = 0; i < count; ++i)
    path += "\\" + parts[i];
  return path;
}

} // namespace

const char *reason(Verdict verdict) {
  switch (verdict) {
  case Verdict::Remove:
    return "removido";
  case Verdict::Missing:
    return "já não existia";
  case Verdict::Changed:
    return "alterado depois da instalação";
  case Verdict::Data:
    return "dados da loja";
  case Verdict::Shared:
    return "compartilhado com outros programas";
  case Verdict::Refused:
    return "caminho recusado";
  case Verdict::Own:
    return "registro da instalação";
  }
  return "?";
}

std::optional<std::vector<std::string>> below_product_folder(const std::string &path) {
  if (!text::is_valid_utf8(path))
    return std::nullopt;
  std::vector<std::string> parts = split(path);
  if (parts.size() < 3 || !is_drive_c(parts[0]) || text::fold_case(parts[1]) != "velacorte")
    return std::nullopt;
  std::vector<std::string> below;
  for (size_t i = 1; i < parts.size(); ++i) {
    if (!plain_component(parts[i]))
      return std::nullopt;
    if (i > 1)
      below.push_back(text::fold_case(parts[i]));
  }
  return below;
}

Verdict path_verdict(const std::string &path) {
  std::optional<std::vector<std::string>> below = below_product_folder(path);
  if (!below) {
    // Outside the product folder in a plain spelling is a shared place; anything else is refused.
    std::vector<std::string> parts = split(path);
    bool drive_path = parts.size() >= 2 && parts[0].size() == 2 && parts[0][1] == ':' &&
                      std::isalpha(static_cast<unsigned char>(parts[0][0]));
    bool plain = drive_path && std::all_of(parts.begin() + 1, parts.end(), plain_component);
    bool names_product_folder =
        parts.size() >= 2 && is_drive_c(parts[0]) && text::fold_case(parts[1]) == "velacorte";
    return plain && !names_product_folder ? Verdict::Shared : Verdict::Refused;
  }
  const std::string &first = below->front();
  if (first == "dados" || (below->size() == 1 && first == "velacorte.ini"))
    return Verdict::Data;
  if (below->size() == 1 && (first == "install.log" || first == "install.log.1" ||
                             first == "install.manifest" || first == "install.manifest.tmp"))
    return Verdict::Own;
  return Verdict::Remove;
}

Verdict file_verdict(const manifest::Entry &recorded, const std::string &final_path,
                     const std::optional<FileDigest> &now) {
  Verdict by_name = path_verdict(recorded.path);
  if (by_name != Verdict::Remove)
    return by_name;
  if (!now)
    return Verdict::Missing;
  // A junction or link below the product folder may lead anywhere: where it leads is judged too, and
  // it must be the same file.
  Verdict by_place = path_verdict(final_path);
  if (by_place != Verdict::Remove)
    return by_place;
  if (*below_product_folder(final_path) != *below_product_folder(recorded.path))
    return Verdict::Refused;
  if (now->size != recorded.size || now->sha256 != recorded.sha256)
    return Verdict::Changed;
  return Verdict::Remove;
}

bool is_product_shortcut(const std::string &link, const std::string &target,
                         const std::vector<std::string> &desktops) {
  std::vector<std::string> parts = split(link);
  if (parts.size() < 2 || !std::all_of(parts.begin() + 1, parts.end(), plain_component))
    return false;
  std::string name = text::fold_case(parts.back());
  if (name.size() < 4 || name.compare(name.size() - 4, 4, ".lnk") != 0)
    return false;
  std::string folder = link.substr(0, link.size() - parts.back().size() - 1);
  bool on_desktop = std::any_of(desktops.begin(), desktops.end(), [&](std::string desktop) {
    while (!desktop.empty() && (desktop.back() == '\\' || desktop.back() == '/'))
      desktop.pop_back();
    return !desktop.empty() && text::fold_case(desktop) == text::fold_case(folder);
  });
  return on_desktop && path_verdict(target) == Verdict::Remove;
}

std::vector<std::string> folders_to_try(const std::vector<manifest::Entry> &entries) {
  // By folded components, so that one folder is tried once whatever its spelling.
  std::map<std::vector<std::string>, std::string> folders;
  auto add = [&](const std::string &path, bool is_file) {
    std::optional<std::vector<std::string>> below = below_product_folder(path);
    if (!below)
      return;
    std::vector<std::string> parts = split(path);
    std::vector<std::string> original(parts.begin() + 2, parts.end());
    size_t depth = below->size() - (is_file ? 1 : 0);
    // Every folder on the way, as its parents are emptied too.
    for (size_t count = 1; count <= depth; ++count) {
      std::vector<std::string> key(below->begin(), below->begin() + static_cast<long>(count));
      if (key.front() != "dados")
        folders.emplace(key, joined(original, count));
    }
  };
  for (const char *folder : product::kFolderTree)
    add(folder, false);
  add(std::string(product::kFolder) + "\\tmp", false);
  for (const manifest::Entry &entry : entries)
    if (entry.kind == manifest::Kind::Folder || entry.kind == manifest::Kind::File)
      add(entry.path, entry.kind == manifest::Kind::File);

  std::vector<std::pair<std::vector<std::string>, std::string>> ordered(folders.begin(), folders.end());
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto &a, const auto &b) { return a.first.size() > b.first.size(); });
  std::vector<std::string> result;
  for (const auto &[key, path] : ordered)
    result.push_back(path);
  result.push_back(product::kFolder);
  return result;
}

} // namespace uninstall
