#include "place_entry.h"

#include "Exception.h"
#include "Unit1.h"
#include "folders.h"
#include "messages.h"
#include "product.h"
#include "run_steps.h"
#include "text.h"
#include "windows_error.h"
#include "zip_names.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

const std::string kTemporary = std::string(product::kTemporaryFolder) + "\\";

// A folder that names its place by itself: a drive's path ("c:\...") or a share ("\\server\..."). Anything
// else (the empty text, "\Velacorte" from an unresolved "pfiles") would land on the current drive.
bool is_full_path(const std::string &folder) {
  if (folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':' &&
      (folder[2] == '\\' || folder[2] == '/'))
    return true;
  return folder.size() > 2 && folder.rfind("\\\\", 0) == 0;
}

// The shop's data folder, in any spelling.
bool is_data_folder(std::string folder) {
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
    folder.pop_back();
  return text::lower_ascii(folder) == product::kDataFolder;
}

std::string contents(const std::wstring &path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Before a file of the data folder is replaced by different bytes, the old one is kept as NAME.bak (one
// generation). The reason when it could not be kept: then the file is not replaced.
std::optional<Failure> keep_previous(TForm1 &form, const std::string &target, const std::wstring &unpacked) {
  std::wstring existing = text::widen(target);
  if (!file_exists(existing) || contents(existing) == contents(unpacked))
    return std::nullopt;
  std::string backup = target + ".bak";
  if (!CopyFileW(existing.c_str(), text::widen(backup).c_str(), FALSE))
    return Failure{"guardar", backup, windows_error_text(GetLastError())};
  form.Log.line("guardar " + backup + ": ok");
  return std::nullopt;
}

void make_shortcut(TForm1 &form, const std::string &atalho, const std::string &nome_atalho) {
  std::string result;
  try {
    result = form.cria_atalho(atalho, nome_atalho) ? "ok" : "falhou";
  } catch (const std::exception &failure) {
    result = failure.what();
  }
  form.Log.line("atalho \"" + nome_atalho + "\" para " + atalho + ": " + result);
}

// Deletes the unpacked file on every way out of the placement.
struct UnpackedFile {
  std::wstring path;
  ~UnpackedFile() { DeleteFileW(path.c_str()); }
};

} // namespace

bool stays_below(const std::string &name) {
  try {
    EntryPath path = entry_path(name, true);
    return !path.path.empty() && !path.is_folder;
  } catch (const Exception &) {
    return false;
  }
}

std::optional<Failure> place_entry(TForm1 &form, const FileEntry &entry) {
  std::string folder = form.trata_local(entry.local);
  std::string archive = entry.check_id + ".zip";
  // Nothing is unpacked, copied or deleted for names that would reach outside their folders.
  for (const std::string &name : {entry.arquivo, archive})
    if (!stays_below(name))
      return Failure{"nome fora da pasta", "", name};
  try {
    run::unpack_or_discard(form, kTemporary + archive, text::lower_ascii(product::kTemporaryFolder));
  } catch (const FailureError &failure) {
    return failure.failure();
  }
  if (!entry.archive_checked)
    DeleteFileW(text::widen(kTemporary + archive).c_str());
  form.status(message::kCopyingFile + entry.arquivo);

  UnpackedFile unpacked{text::widen(kTemporary + entry.arquivo)};
  if (!is_full_path(folder))
    return Failure{"local", "\"" + entry.local + "\"", "pasta não encontrada"};
  if (!form.Record.create_folder(text::widen(folder)))
    return Failure{"criar pasta", folder, "não foi possível"};
  std::string target = folder + (folder.back() == '\\' ? "" : "\\") + entry.arquivo;
  if (is_data_folder(folder))
    if (std::optional<Failure> failure = keep_previous(form, target, unpacked.path))
      return failure;
  if (!CopyFileW(unpacked.path.c_str(), text::widen(target).c_str(), FALSE))
    return Failure{"copiar", target, windows_error_text(GetLastError())};
  form.Log.line("copiar " + target + ": ok");
  form.Record.file(target, form.Log);
  if (!entry.atalho.empty())
    make_shortcut(form, entry.atalho, entry.nome_atalho);
  return std::nullopt;
}
