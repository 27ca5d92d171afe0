#include "setup_signature.h"

#include <windows.h>

#include <softpub.h>
#include <wintrust.h>

#include <cstdio>

namespace {

std::string hex_code(long code) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(code));
  return text;
}

} // namespace

SignatureCheck check_signature(const std::wstring &file) {
  WINTRUST_FILE_INFO subject{};
  subject.cbStruct = sizeof(subject);
  subject.pcwszFilePath = file.c_str();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  // The run must not wait on the network for revocation lists: an old setup's certificate is often
  // expired anyway, and that does not stop it.
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &subject;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  HWND no_window = static_cast<HWND>(INVALID_HANDLE_VALUE);
  long code = WinVerifyTrust(no_window, &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(no_window, &action, &data);

  switch (static_cast<HRESULT>(code)) {
  case ERROR_SUCCESS:
    return {SignatureCheck::Valid, code};
  case TRUST_E_NOSIGNATURE:
  case TRUST_E_SUBJECT_FORM_UNKNOWN:
    return {SignatureCheck::Unsigned, code};
  case TRUST_E_BAD_DIGEST:
    return {SignatureCheck::Altered, code};
  default:
    return {SignatureCheck::Doubtful, code};
  }
}

std::string signature_text(const SignatureCheck &check) {
  switch (check.verdict) {
  case SignatureCheck::Valid:
    return "válida";
  case SignatureCheck::Unsigned:
    return "sem assinatura";
  case SignatureCheck::Altered:
    return "conteúdo alterado após a assinatura (" + hex_code(check.code) + ")";
  case SignatureCheck::Doubtful:
    break;
  }
  return "assinatura com problema (" + hex_code(check.code) + ")";
}
