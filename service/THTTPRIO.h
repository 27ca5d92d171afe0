#pragma once

// The SOAP proxy of the query service and its HTTP layer.

#include "uwsselectxml.h"

#include <string>
#include <vector>

#ifndef _WIN32
// What the OnBeforePost event receives as Data on platforms without WinINet, in place of the request
// handle: the extra header lines ("Name: value") that the request will carry.
struct NativeRequest {
  std::vector<std::string> header_lines;
};
#endif

// The HTTP layer of a proxy: one connection and one request per call.
class THTTPReqResp {
public:
  // Runs after a request is opened and its SOAPAction and Content-Type headers are added, before it
  // is sent. Data is the WinINet request handle (HINTERNET) on Windows, a NativeRequest elsewhere.
  using TBeforePostEvent = void (*)(THTTPReqResp *HTTPReqResp, void *Data);

  struct Response {
    int status = 0;
    std::string body;
  };

  TBeforePostEvent OnBeforePost = nullptr;
  // The whole reply's time limit in seconds and its largest body, from the process's settings.
  int TimeLimit = ReplyTimeLimit;
  size_t BodyLimit = LargestReply;

  // POST with the given SOAP action; GET when body is absent (fetching a WSDL). Transport failures
  // throw Exception; an HTTP error status is returned, not thrown.
  Response Post(const std::string &url, const std::string &soap_action, const std::string &body);
  Response Get(const std::string &url);

private:
  Response Send(const std::string &method, const std::string &url, const std::string &soap_action,
                const std::string &body);
};

// A proxy for server_ValidadorPortType. URL mode posts to URL; WSDL mode (WSDLLocation set) reads
// the service address from the WSDL, port Port of service Service, on the first call.
class THTTPRIO : public server_ValidadorPortType {
public:
  THTTPReqResp HTTPWebNode;
  std::string URL;
  std::string WSDLLocation;
  std::string Service;
  std::string Port;

  std::string selectxml(const std::string &senha, const std::string &sql,
                        const std::string &options) override;

private:
  std::string target_address();
};
