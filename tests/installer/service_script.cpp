#include "service_script.h"

#include "uMySql.h"

#include <windows.h>

#include <filesystem>

void run_script(const queryd_test::QuerydServer &service, const std::string &sql) {
  std::filesystem::create_directories(L"c:\\Velacorte");
  WritePrivateProfileStringW(L"TOKEN", L"ID", L"U5A1C0E97B4D", L"c:\\velacorte\\velacorte.ini");
  WritePrivateProfileStringW(L"TOKEN", L"SENHA", L"1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A",
                             L"c:\\velacorte\\velacorte.ini");
  TDataXML q;
  q.ServidorWS(service.host());
  q.SetScript(true);
  q.SetSQL(sql);
  q.Execute();
}
