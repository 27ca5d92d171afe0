// The installation run: the file list, the download pass and the placement pass, with the optional
// components between and after them.
#include "Unit1.h"

#include "Exception.h"
#include "folders.h"
#include "optional_components.h"
#include "run_steps.h"
#include "text.h"
#include "uMySql.h"
#include "zip_names.h"

#include <commctrl.h>

#include <stdexcept>

namespace {

const wchar_t kTokenFile[] = L"c:\\velacorte\\velacorte.ini";

std::wstring profile_text(const wchar_t *key) {
  wchar_t value[256] = {};
  GetPrivateProfileStringW(L"TOKEN", key, L"", value, 256, kTokenFile);
  return value;
}

// Gives the token file the default credentials unless it holds both keys.
void seed_token_file() {
  try {
    if (!profile_text(L"ID").empty() && !profile_text(L"SENHA").empty())
      return;
    WritePrivateProfileStringW(L"TOKEN", L"ID", L"U5A1C0E97B4D", kTokenFile);
    WritePrivateProfileStringW(L"TOKEN", L"SENHA", L"1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A", kTokenFile);
  } catch (...) {
  }
}

std::string file_list_query(const std::wstring &type, bool only_libraries) {
  std::string condition;
  if (type.find(L"Servidor") != std::wstring::npos)
    condition = " and servidor_terminal in('*','S') ";
  if (type.find(L"Estação") != std::wstring::npos)
    condition = " and servidor_terminal in('*','T') ";
  return "select * from sistema.check_files where instalacao = 'S' " + condition +
         (only_libraries ? " and arquivo LIKE '%.dll' " : "");
}

// Whether a name from the file list, joined to the temporary or the target folder, stays below it: a
// relative path that neither climbs out nor names a drive, the rule for the names inside an archive.
bool stays_below(const std::string &name) {
  try {
    EntryPath path = entry_path(name, true);
    return !path.path.empty() && !path.is_folder;
  } catch (const Exception &) {
    return false;
  }
}

void download_pass(TForm1 &form, TDataXML &files) {
  while (!files.EOF()) {
    std::string arquivo = files.FieldByName("arquivo");
    form.status("Baixando Arquivo: " + arquivo);
    // The data folder lives on the server only.
    if (files.FieldByName("local") == "c:\\velacorte\\dados" && run::installation_type(form) == L"Estação") {
      files.Next();
      continue;
    }
    // An archive whose name would land outside the temporary folder is not fetched.
    if (!stays_below(files.FieldByName("check_id") + ".zip")) {
      files.Next();
      continue;
    }
    if (file_exists(text::widen("c:\\Velacorte\\tmp\\" + files.FieldByName("check_id") + ".zip"))) {
      run::advance_total(form);
      files.Next();
      continue;
    }
    if (run::download_with_retries(
            [&] {
              return form.baixar_arquivo(files.FieldByName("link"), files.FieldByName("check_id"),
                                         files.FieldByName("local"), files.FieldByName("atalho"),
                                         files.FieldByName("nome_atalho"));
            },
            L"Falha ao baixar o arquivo, tentar novamente?", MB_ICONQUESTION))
      run::advance_total(form);
    files.Next();
  }
}

// Unpacks one entry's archive and copies its file into the target folder, with its shortcut. Throws
// when the entry cannot be placed.
void place_entry(TForm1 &form, const std::string &folder, const std::string &arquivo,
                 const std::string &atalho, const std::string &nome_atalho, const std::string &archive) {
  // Nothing is unpacked, copied or deleted for names that would reach outside their folders.
  if (!stays_below(arquivo) || !stays_below(archive))
    throw std::runtime_error("file name");
  run::unpack_or_discard("c:\\Velacorte\\tmp\\" + archive, "c:\\velacorte\\tmp");
  DeleteFileW(text::widen("c:\\Velacorte\\tmp\\" + archive).c_str());
  form.status("Copiando Arquivo: " + arquivo);
  if (folder.empty() || !create_folder(text::widen(folder)))
    throw std::runtime_error("target folder");
  std::wstring unpacked = text::widen("c:\\Velacorte\\tmp\\" + arquivo);
  std::string target = folder + (folder.back() == '\\' ? "" : "\\") + arquivo;
  if (CopyFileW(unpacked.c_str(), text::widen(target).c_str(), FALSE) && !atalho.empty())
    form.cria_atalho(atalho, nome_atalho);
  DeleteFileW(unpacked.c_str());
}

void placement_pass(TForm1 &form, TDataXML &files) {
  files.First();
  while (!files.EOF()) {
    std::string folder = form.trata_local(files.FieldByName("local"));
    std::string arquivo = files.FieldByName("arquivo");
    std::string atalho = files.FieldByName("atalho");
    std::string nome_atalho = files.FieldByName("nome_atalho");
    std::string archive = files.FieldByName("check_id") + ".zip";
    try {
      place_entry(form, folder, arquivo, atalho, nome_atalho, archive);
    } catch (...) {
      // An entry that cannot be placed is passed over without a message.
    }
    files.Next();
  }
}

} // namespace

void TForm1::instalacao() {
  create_folder(L"c:\\Velacorte");
  seed_token_file();
  EnableWindow(ComboBox1, FALSE);

  TDataXML files;
  files.ServidorWS(run::kServiceHost);
  files.SetSQL(file_list_query(run::installation_type(*this), run::ticked(checkDll)));
  files.Execute();

  // Every run starts the total bar from 0.
  SendMessageW(pbTotal, PBM_SETRANGE32, 0, files.RecordCount() + 3);
  SendMessageW(pbTotal, PBM_SETPOS, 0, 0);
  criaPastas();

  download_pass(*this, files);
  run::sample_database(*this);
  run::nfe_files(*this);
  placement_pass(*this, files);

  run::firebird(*this);
  run::ultravnc(*this);
  run::ibo_console(*this);
  run::configuration(*this);
  run::completion(*this);
}
