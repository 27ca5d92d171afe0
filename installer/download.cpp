// Downloads of archives from the download host.
#include "Unit1.h"

#include "download_file.h"
#include "folders.h"
#include "text.h"

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
