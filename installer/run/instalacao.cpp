// The installation run: the file list, the download pass and the placement pass, with the optional
// components between and after them.
#include "Unit1.h"

#include "Exception.h"
#include "controls.h"
#include "entry_download.h"
#include "folders.h"
#include "messages.h"
#include "optional_components.h"
#include "place_entry.h"
#include "product.h"
#include "run_outcome.h"
#include "run_steps.h"
#include "text.h"
#include "uMySql.h"

#include <commctrl.h>

#include <vector>

namespace {

const std::wstring kTokenFile = text::widen(product::kTokenFile);
const std::wstring kTokenSection = text::widen(product::kTokenSection);

std::wstring profile_text(const wchar_t *key) {
  wchar_t value[256] = {};
  GetPrivateProfileStringW(kTokenSection.c_str(), key, L"", value, 256, kTokenFile.c_str());
  return value;
}

// Gives the token file the default credentials unless it holds both keys.
void seed_token_file() {
  try {
    if (!profile_text(L"ID").empty() && !profile_text(L"SENHA").empty())
      return;
    WritePrivateProfileStringW(kTokenSection.c_str(), L"ID", text::widen(product::kDefaultTokenId).c_str(),
                               kTokenFile.c_str());
    WritePrivateProfileStringW(kTokenSection.c_str(), L"SENHA",
                               text::widen(product::kDefaultTokenSenha).c_str(), kTokenFile.c_str());
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

// What the download pass did with each entry, in the list's order, for the placement pass.
struct Fetch {
  enum State { Ready, GivenUp, Skipped };
  State state = Ready;
  Failure failure; // why a given-up entry is not there
};

std::vector<Fetch> download_pass(TForm1 &form, TDataXML &files) {
  std::vector<Fetch> fetched;
  for (; !files.EOF(); files.Next()) {
    std::string arquivo = files.FieldByName("arquivo");
    form.status(message::kDownloadingFile + arquivo);
    // The data folder lives on the server only.
    if (files.FieldByName("local") == product::kDataFolder && run::installation_type(form) == L"Estação") {
      form.Log.line("baixar " + arquivo + ": pulado, pasta de dados numa estação");
      fetched.push_back({Fetch::Skipped, {}});
      continue;
    }
    // An archive whose name would land outside the temporary folder is not fetched; the placement pass
    // counts it.
    if (!stays_below(files.FieldByName("check_id") + ".zip")) {
      fetched.push_back({Fetch::Ready, {}});
      continue;
    }
    std::optional<Failure> failure = run::fetch_entry_archive(form, files);
    fetched.push_back(failure ? Fetch{Fetch::GivenUp, *failure} : Fetch{Fetch::Ready, {}});
  }
  return fetched;
}

void placement_pass(TForm1 &form, TDataXML &files, const std::vector<Fetch> &fetched, RunOutcome &outcome) {
  files.First();
  std::vector<std::string> kept;
  bool every_entry_placed = true;
  for (size_t row = 0; !files.EOF(); files.Next(), ++row) {
    FileEntry entry{files.FieldByName("arquivo"),     files.FieldByName("local"),
                    files.FieldByName("check_id"),    files.FieldByName("atalho"),
                    files.FieldByName("nome_atalho"), run::offers_digest(files)};
    Fetch fetch = row < fetched.size() ? fetched[row] : Fetch{};
    if (fetch.state == Fetch::Skipped)
      continue;
    std::optional<Failure> failure =
        fetch.state == Fetch::GivenUp ? std::optional<Failure>(fetch.failure) : place_entry(form, entry);
    if (entry.archive_checked && stays_below(entry.check_id + ".zip"))
      kept.push_back(std::string(product::kTemporaryFolder) + "\\" + entry.check_id + ".zip");
    if (failure) {
      run::count_not_placed(form, outcome, entry.arquivo, *failure);
      every_entry_placed = false;
    } else {
      outcome.placed();
    }
  }
  run::settle_kept_archives(form, kept, every_entry_placed);
}

// Runs the file-list query. A failure status ends the run, as an unreachable service does; the answer
// that there are no rows does not.
void query_file_list(TForm1 &form, TDataXML &files) {
  const std::string what = "consultar sistema.check_files";
  form.Log.line(what + ": " + files.SQL());
  ULONGLONG start = GetTickCount64();
  bool answered = files.Execute();
  form.Log.line(what + ": Erro " + std::to_string(files.Erro()) + ", Error \"" + files.Error() + "\"" +
                (files.NotFound() ? ", sem linhas (003)" : "") + ", RecordCount " +
                std::to_string(files.RecordCount()) + ", " + run::seconds_since(start));
  if (files.Erro() != 0 || (!answered && !files.NotFound()))
    throw Exception(what + ": " + (files.Error().empty() ? "resposta sem resultado" : files.Error()) +
                    " (código " + std::to_string(files.Erro()) + ")");
}

} // namespace

void TForm1::instalacao() {
  Log.hide(product::kDefaultTokenSenha);
  Log.line(run::run_header(*this));
  Record.create_folder(text::widen(product::kFolder));
  seed_token_file();
  Log.hide(text::narrow(profile_text(L"SENHA")));
  EnableWindow(ComboBox1, FALSE);

  TDataXML files;
  files.ServidorWS(run::kServiceHost);
  files.SetSQL(file_list_query(run::installation_type(*this), ticked(checkDll)));
  query_file_list(*this, files);

  // Every run starts the total bar from 0.
  SendMessageW(pbTotal, PBM_SETRANGE32, 0, files.RecordCount() + 3);
  SendMessageW(pbTotal, PBM_SETPOS, 0, 0);
  criaPastas();

  RunOutcome outcome;
  std::vector<Fetch> fetched = download_pass(*this, files);
  run::note_unchecked_fixed_archives(*this);
  run::sample_database(*this, outcome);
  run::nfe_files(*this, outcome);
  placement_pass(*this, files, fetched, outcome);

  run::firebird(*this, outcome);
  run::ultravnc(*this);
  run::ibo_console(*this);
  run::configuration(*this);
  run::completion(*this, outcome);
}
