#pragma once

// A PHP SOAP service for interoperability tests (native builds): `php -S 127.0.0.1:PORT SCRIPT` on a
// free loopback port, started by the constructor and stopped by the destructor. The script is the
// router of every request; it must answer a GET with the query "?probe" with "validador ready" once
// it can serve (php-soap present). A missing php or php-soap throws, so the test fails.

#include <string>

namespace php_test {

class PhpSoapServer {
public:
  explicit PhpSoapServer(const std::string &script);
  ~PhpSoapServer();
  PhpSoapServer(const PhpSoapServer &) = delete;
  PhpSoapServer &operator=(const PhpSoapServer &) = delete;

  std::string url(const std::string &path = "/") const;

private:
  bool start(const std::string &script);
  void stop();

  int port_ = 0;
  int pid_ = -1;
  std::string probe_reply_;
};

} // namespace php_test
