#pragma once

// The HTTPS side of the Windows tests: the two velacorte-queryd that the ctest fixture "queryd_tls"
// starts (scripts/tls-queryd-fixture.sh; give a test PROPERTIES FIXTURES_REQUIRED "queryd;queryd_tls"),
// and the tests' own certificate authority, which a test program adds to its Wine prefix's trusted
// roots while it runs:
//
//     queryd_test::TrustedTestAuthority authority; // before the program's first HTTPS connection
//     std::string url = queryd_test::trusted_tls_url() + "/site/arquivos/instaladores/Velacorte6.zip";

#include <string>

namespace queryd_test {

// "https://localhost:PORT" of the server whose certificate, for localhost, comes from the tests'
// authority; its planned redirects are described in the fixture script.
std::string trusted_tls_url();
// The port of that server, to reach it by another name than the certificate's.
int trusted_tls_port();
// "https://localhost:PORT" of the server whose certificate comes from an authority nobody trusts.
std::string stranger_tls_url();
// The download folder of the trusted server, as a Z: path.
std::string trusted_tls_files();

// The tests' authority in the local machine's "Root" store of this Wine prefix, from construction to
// destruction. Windows' chain engine reads that store when a process first checks a certificate, so
// the authority must be added before then. Throws std::runtime_error when Windows refuses it.
class TrustedTestAuthority {
public:
  TrustedTestAuthority();
  ~TrustedTestAuthority();
  TrustedTestAuthority(const TrustedTestAuthority &) = delete;
  TrustedTestAuthority &operator=(const TrustedTestAuthority &) = delete;

private:
  std::string certificate_;
};

} // namespace queryd_test
