// Downloads of archives from the download host.
#include "Unit1.h"

#include "download_file.h"
#include "folders.h"
#include "text.h"
#include "unzip.h"

bool TForm1::baixar_arquivo(const std::string &link, const std::string &nome_arquivo, const std::string &,
                            const std::string &, const std::string &) {
  try {
    if (!create_folder(L"c:\\Velacorte\\tmp"))
      return false;
    download_file(IdHTTP1, link, "c:\\Velacorte\\tmp\\" + nome_arquivo + ".zip");
    return true;
  } catch (...) {
    return false;
  }
}

bool TForm1::baixar_arquivo_destino(const std::string &link, const std::string &nome_arquivo,
                                    const std::string &destino) {
  try {
    if (!create_folder(text::widen(destino)))
      return false;
    std::wstring name = text::widen(nome_arquivo);
    name.resize(name.size() > 4 ? name.size() - 4 : 0);
    std::string archive = destino + "\\" + text::narrow(name) + ".zip";
    download_file(IdHTTP1, link, archive);
    extract_zip(archive, destino);
    if (!DeleteFileW(text::widen(archive).c_str()))
      return false;
    IdHTTP1.Disconnect();
    return true;
  } catch (...) {
    return false;
  }
}
