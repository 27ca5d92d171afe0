#include "Exception.h"
#include "url_parts.h"

#include <gtest/gtest.h>

TEST(UrlParts, HttpAndHttpsAddresses) {
  struct Case {
    std::string url;
    bool secure;
    std::string host;
    int port;
    std::string path;
  };
  const Case cases[] = {
      {"http://velacorte.com.br/servicos/x.php", false, "velacorte.com.br", 80, "/servicos/x.php"},
      {"HTTPS://velacorte.com.br/servicos/x.php?wsdl", true, "velacorte.com.br", 443, "/servicos/x.php?wsdl"},
      {"https://127.0.0.1:18443", true, "127.0.0.1", 18443, "/"},
      {"http://127.0.0.1:8080?a", false, "127.0.0.1", 8080, "/?a"},
  };
  for (const Case &c : cases) {
    UrlParts parts = UrlParts::parse(c.url);
    EXPECT_EQ(parts.secure, c.secure) << c.url;
    EXPECT_EQ(parts.host, c.host) << c.url;
    EXPECT_EQ(parts.port, c.port) << c.url;
    EXPECT_EQ(parts.path_and_query, c.path) << c.url;
  }
  for (const char *refused :
       {"ftp://velacorte.com.br/x", "https://", "https:/velacorte.com.br", "https://h:0/"})
    EXPECT_THROW(UrlParts::parse(refused), Exception) << refused;
}

TEST(UrlParts, ServiceHostSettingKeepsItsScheme) {
  EXPECT_EQ(service_host_address("velacorte.com.br"), "http://velacorte.com.br");
  EXPECT_EQ(service_host_address("127.0.0.1:18080"), "http://127.0.0.1:18080");
  EXPECT_EQ(service_host_address("https://velacorte.com.br"), "https://velacorte.com.br");
  EXPECT_EQ(service_host_address("HTTPS://127.0.0.1:18443"), "HTTPS://127.0.0.1:18443");
  EXPECT_EQ(service_host_address("http://127.0.0.1:8080"), "http://127.0.0.1:8080");
}
