// Downloads of archives from the download host.
#include "Unit1.h"

#include "Exception.h"
#include "download_file.h"
#include "folders.h"
#include "text.h"
#include "unzip.h"

bool TForm1::baixar_arquivo(const std::string &link, const std::string &nome_arquivo, const std::string &,
                            const std::string &, const std::string &) {
  IdHTTP1.ForgetTransfer();
  try {
    if (!create_folder(L"c:\\Velacorte\\tmp"))
      throw Exception("criar pasta c:\\Velacorte\\tmp: falhou");
    download_file(IdHTTP1, link, "c:\\Velacorte\\tmp\\" + nome_arquivo + ".zip");
    return true;
  } catch (const std::exception &failure) {
    IdHTTP1.NoteFailure(failure.what());
    return false;
  } catch (...) {
    return false;
  }
}

bool TForm1::baixar_arquivo_destino(const std::string &link, const std::string &nome_arquivo,
                                    const std::string &destino) {
  IdHTTP1.ForgetTransfer();
  try {
    if (!create_folder(text::widen(destino)))
      throw Exception("criar pasta " + destino + ": falhou");
    std::wstring name = text::widen(nome_arquivo);
    name.resize(name.size() > 4 ? name.size() - 4 : 0);
    std::string archive = destino + "\\" + text::narrow(name) + ".zip";
    download_file(IdHTTP1, link, archive);
    extract_zip(archive, destino);
    if (!DeleteFileW(text::widen(archive).c_str()))
      throw Exception("apagar " + archive + ": erro " + std::to_string(GetLastError()));
    IdHTTP1.Disconnect();
    return true;
  } catch (const std::exception &failure) {
    IdHTTP1.NoteFailure(failure.what());
    return false;
  } catch (...) {
    return false;
  }
}
