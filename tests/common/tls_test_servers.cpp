#include "tls_test_servers.h"

#include <windows.h>

#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace queryd_test {
namespace {

int port_in(const std::string &file) {
  int port = 0;
  std::ifstream in(file);
  if (!(in >> port))
    throw std::runtime_error("no HTTPS velacorte-queryd: the ctest fixture \"queryd_tls\" writes " + file);
  return port;
}

struct CloseStore {
  void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};

std::unique_ptr<void, CloseStore> machine_root_store() {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store)
    throw std::runtime_error("open the local machine's Root store: error " + std::to_string(GetLastError()));
  return std::unique_ptr<void, CloseStore>(store);
}

} // namespace

int trusted_tls_port() {
  return port_in(TLS_STATE_FOLDER "\\trusted\\port");
}

std::string trusted_tls_url() {
  return "https://localhost:" + std::to_string(trusted_tls_port());
}

std::string stranger_tls_url() {
  return "https://localhost:" + std::to_string(port_in(TLS_STATE_FOLDER "\\stranger\\port"));
}

std::string trusted_tls_files() {
  return TLS_STATE_FOLDER "\\trusted\\files";
}

TrustedTestAuthority::TrustedTestAuthority() {
  std::ifstream in(TLS_STATE_FOLDER "\\certs\\ca.der", std::ios::binary);
  certificate_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (certificate_.empty())
    throw std::runtime_error("no test authority: the ctest fixture \"queryd_tls\" writes " TLS_STATE_FOLDER
                             "\\certs\\ca.der");
  if (!CertAddEncodedCertificateToStore(
          machine_root_store().get(), X509_ASN_ENCODING, reinterpret_cast<const BYTE *>(certificate_.data()),
          static_cast<DWORD>(certificate_.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
    throw std::runtime_error("add the test authority to the Root store: error " +
                             std::to_string(GetLastError()));
}

TrustedTestAuthority::~TrustedTestAuthority() {
  auto store = machine_root_store();
  PCCERT_CONTEXT added =
      CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE *>(certificate_.data()),
                                   static_cast<DWORD>(certificate_.size()));
  if (!added)
    return;
  PCCERT_CONTEXT found =
      CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, added, nullptr);
  if (found)
    CertDeleteCertificateFromStore(found); // frees `found`
  CertFreeCertificateContext(added);
}

} // namespace queryd_test
