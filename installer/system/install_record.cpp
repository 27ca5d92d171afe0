#include "install_record.h"

#include "file_digest.h"
#include "folders.h"
#include "install_log.h"
#include "text.h"

void InstallRecord::file(const std::string &path, InstallLog &log) {
  std::optional<FileDigest> digest = file_digest(text::widen(path));
  if (!digest) {
    log.line("manifesto " + path + ": o arquivo não pôde ser lido, fica fora do manifesto");
    return;
  }
  entries_.push_back({manifest::Kind::File, path, digest->size, digest->sha256});
}

bool InstallRecord::placed(const std::string &path) const {
  for (const manifest::Entry &entry : entries_)
    if (entry.kind == manifest::Kind::File && text::lower_ascii(entry.path) == text::lower_ascii(path))
      return true;
  return false;
}

void InstallRecord::shortcut(const std::string &path) {
  entries_.push_back({manifest::Kind::Shortcut, path, 0, {}});
}

void InstallRecord::uninstall_entry(const std::string &key) {
  entries_.push_back({manifest::Kind::UninstallEntry, key, 0, {}});
}

bool InstallRecord::create_folder(const std::wstring &path) {
  std::vector<std::wstring> created;
  bool exists = ::create_folder(path, &created);
  for (const std::wstring &folder : created)
    entries_.push_back({manifest::Kind::Folder, text::narrow(folder), 0, {}});
  return exists;
}

void InstallRecord::save(InstallLog &log) {
  manifest::FileReading earlier = manifest::read_file(path_);
  for (const manifest::SkippedLine &skipped : earlier.contents.skipped)
    log.line("ler " + path_ + ": linha " + std::to_string(skipped.number) + " descartada, " + skipped.reason);
  std::vector<manifest::Entry> all = manifest::merged(earlier.contents.entries, entries_);
  std::string failure = manifest::write_file(path_, all);
  if (!failure.empty()) {
    log.line(failure);
    return;
  }
  log.line("gravar " + path_ + ": " + std::to_string(entries_.size()) + " objetos desta execução, " +
           std::to_string(all.size()) + " ao todo, ok");
  entries_.clear();
}
