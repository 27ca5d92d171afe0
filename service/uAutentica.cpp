#include "uAutentica.h"

#include "THTTPRIO.h"
#include "base64.h"
#include "product.h"

#ifdef _WIN32
#include "text.h"
#include <windows.h>
#include <wininet.h>
#else
#include "profile_reader.h"
#endif

#include <cstdint>

#ifdef _WIN32
std::string TokenFile = product::kTokenFile;
#else
std::string TokenFile = VELACORTE_TOKEN_FILE;
#endif

namespace {

#ifdef _WIN32
std::string read_profile(const wchar_t *section, const wchar_t *key, const std::wstring &file) {
  std::wstring buffer(256, L'\0');
  for (;;) {
    DWORD n = GetPrivateProfileStringW(section, key, L"", buffer.data(), static_cast<DWORD>(buffer.size()),
                                       file.c_str());
    if (n + 1 < buffer.size())
      return text::narrow(std::wstring_view(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}
#endif

int hex_value(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

} // namespace

std::string TokenIDFromStored(const std::string &stored) {
  if (stored.size() < 2 || stored[0] != 'U')
    return stored;
  // Up to 64 bits, read unsigned so that every 16-digit value has its own decimal form.
  uint64_t value = 0;
  for (size_t i = 1; i < stored.size(); ++i) {
    int digit = hex_value(stored[i]);
    if (digit < 0 || value > (UINT64_MAX >> 4))
      return stored;
    value = (value << 4) | static_cast<uint64_t>(digit);
  }
  std::string decimal = std::to_string(value);
  if (decimal.size() < 14)
    decimal.insert(0, 14 - decimal.size(), '0');
  return decimal;
}

void TLeitura::LeIni() {
#ifdef _WIN32
  std::wstring file = text::widen(TokenFile);
  fID = read_profile(L"TOKEN", L"ID", file);
  fSENHA = read_profile(L"TOKEN", L"SENHA", file);
#else
  ProfileReader profile(TokenFile);
  fID = profile.value("TOKEN", "ID");
  fSENHA = profile.value("TOKEN", "SENHA");
#endif
  fID = TokenIDFromStored(fID);
}

void THeader::OnBeforePost(THTTPReqResp *, void *Data) {
#ifdef _WIN32
  InternetSetOptionW(nullptr, INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0);
#endif
  TLeitura leitura;
  leitura.LeIni();
  std::string header = "Authorization: Basic " + base64::encode(leitura.ID() + ":" + leitura.SENHA());
#ifdef _WIN32
  std::wstring line = text::widen(header);
  HttpAddRequestHeadersW(static_cast<HINTERNET>(Data), line.c_str(), static_cast<DWORD>(line.size()),
                         HTTP_ADDREQ_FLAG_ADD);
#else
  static_cast<NativeRequest *>(Data)->header_lines.push_back(header);
#endif
}
