// Downloads of archives from the download host.
#include "Unit1.h"

#include "Exception.h"
#include "download_file.h"
#include "folders.h"
#include "product.h"
#include "text.h"
#include "unzip.h"
#include "windows_error.h"

#include <functional>

namespace {

// Runs one download's steps; false when one fails, its failure noted as the transfer's for the log.
bool attempt(HttpClient &client, const std::function<void()> &steps) {
  client.ForgetTransfer();
  try {
    steps();
    return true;
  } catch (const std::exception &failure) {
    client.NoteFailure(failure.what());
  } catch (...) {
  }
  return false;
}

void create_folder_or_throw(const std::string &folder) {
  if (!create_folder(text::widen(folder)))
    throw Exception("criar pasta " + folder + ": falhou");
}

} // namespace

bool TForm1::baixar_arquivo(const std::string &link, const std::string &nome_arquivo, const std::string &,
                            const std::string &, const std::string &) {
  return attempt(IdHTTP1, [&] {
    const std::string temporary = product::kTemporaryFolder;
    create_folder_or_throw(temporary);
    download_file(IdHTTP1, link, temporary + "\\" + nome_arquivo + ".zip");
  });
}

bool TForm1::baixar_arquivo_destino(const std::string &link, const std::string &nome_arquivo,
                                    const std::string &destino) {
  return attempt(IdHTTP1, [&] {
    create_folder_or_throw(destino);
    std::wstring name = text::widen(nome_arquivo);
    name.resize(name.size() > 4 ? name.size() - 4 : 0);
    std::string archive = destino + "\\" + text::narrow(name) + ".zip";
    download_file(IdHTTP1, link, archive);
    extract_zip(archive, destino);
    if (!DeleteFileW(text::widen(archive).c_str()))
      throw Exception("apagar " + archive + ": " + windows_error_text(GetLastError()));
    IdHTTP1.Disconnect();
  });
}
