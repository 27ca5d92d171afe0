#include "entry_download.h"

#include "Unit1.h"
#include "archive_checksum.h"
#include "folders.h"
#include "messages.h"
#include "product.h"
#include "run_steps.h"
#include "text.h"
#include "uMySql.h"

namespace run {

namespace {

// A longer value is cut in the log and the summary: it is the service's text, not ours.
constexpr size_t kDigestTextShown = 80;

ExpectedDigest expected_digest(TDataXML &files) {
  return files.FieldExist("sha256") ? read_expected_digest(files.FieldByName("sha256")) : ExpectedDigest{};
}

// Nothing when `archive` is the one the row describes; otherwise what differs, the archive deleted.
std::optional<std::string> discard_unless_matching(const std::string &archive,
                                                   const ExpectedDigest &expected) {
  if (expected.kind != ExpectedDigest::Sha256)
    return std::nullopt;
  std::optional<std::string> mismatch = digest_mismatch(archive, expected.sha256);
  if (mismatch)
    DeleteFileW(text::widen(archive).c_str());
  return mismatch;
}

} // namespace

std::optional<Failure> fetch_entry_archive(TForm1 &form, TDataXML &files) {
  std::string check_id = files.FieldByName("check_id");
  std::string link = files.FieldByName("link");
  std::string archive = std::string(product::kTemporaryFolder) + "\\" + check_id + ".zip";
  ExpectedDigest expected = expected_digest(files);
  if (expected.kind == ExpectedDigest::Invalid) {
    Failure invalid{"baixar", link,
                    "checksum inválido \"" + files.FieldByName("sha256").substr(0, kDigestTextShown) + "\""};
    form.Log.line(invalid.text());
    return invalid;
  }
  if (file_exists(text::widen(archive))) {
    // One left by an earlier run is used only when it is the one the row describes.
    std::optional<std::string> mismatch = discard_unless_matching(archive, expected);
    if (!mismatch) {
      form.Log.line("baixar " + files.FieldByName("arquivo") + ": " + archive + " já presente");
      advance_total(form);
      return std::nullopt;
    }
    form.Log.line(*mismatch + "; apagado, baixado de novo");
  }
  bool fetched = download_with_retries(
      form, link,
      [&] {
        if (!form.baixar_arquivo(link, check_id, files.FieldByName("local"), files.FieldByName("atalho"),
                                 files.FieldByName("nome_atalho")))
          return false;
        std::optional<std::string> mismatch = discard_unless_matching(archive, expected);
        if (mismatch)
          form.IdHTTP1.NoteFailure(*mismatch + "; apagado");
        return !mismatch;
      },
      message::kRetryDownload, MB_ICONQUESTION);
  if (!fetched)
    return given_up(link);
  advance_total(form);
  return std::nullopt;
}

bool offers_digest(TDataXML &files) {
  return expected_digest(files).kind == ExpectedDigest::Sha256;
}

void settle_kept_archives(TForm1 &form, const std::vector<std::string> &archives, bool every_entry_placed) {
  for (const std::string &archive : archives) {
    if (!file_exists(text::widen(archive)))
      continue;
    if (!every_entry_placed)
      form.Log.line("manter " + archive + ": verificado por sha256, para a próxima execução");
    else if (DeleteFileW(text::widen(archive).c_str()))
      form.Log.line("apagar " + archive + ": todas as entradas colocadas");
    else
      form.Log.line("apagar " + archive + ": erro " + std::to_string(GetLastError()));
  }
}

void note_unchecked_fixed_archives(TForm1 &form) {
  form.Log.line(
      "verificar Velacorte6.zip, nfe2.zip, Firebird-2.5.2_Win32.zip, Firebird-2.5.2_x64.zip: o serviço "
      "não oferece sha256, não verificados");
}

} // namespace run
