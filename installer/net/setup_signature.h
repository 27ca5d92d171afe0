#pragma once

// The Authenticode signature of a program or library from the download host, checked with Windows'
// WinVerifyTrust before the run starts it or has it registered.

#include <string>

struct SignatureCheck {
  enum Verdict {
    Valid,
    Unsigned, // no signature, or a file that cannot carry one
    Altered,  // signed, but the content changed after signing
    Doubtful, // any other problem: an expired or untrusted certificate, a broken signature
  };
  Verdict verdict = Unsigned;
  long code = 0; // WinVerifyTrust's result
};

SignatureCheck check_signature(const std::wstring &file);

// For the log: "válida", "sem assinatura", "conteúdo alterado após a assinatura (0x80096010)", …
std::string signature_text(const SignatureCheck &check);
