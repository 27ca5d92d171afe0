#pragma once

// Request authentication: the token reader and the hook that adds HTTP Basic credentials to every
// request of the query service.

#include <string>

class THTTPReqResp;

// Path of the product configuration file that holds the token. The installer keeps the fixed path;
// support tools may point it at another file.
extern std::string TokenFile;

// The token of section "TOKEN" of the product configuration file, read afresh by each LeIni.
class TLeitura {
public:
  const std::string &ID() const { return fID; }
  const std::string &SENHA() const { return fSENHA; }

  // Never fails: a missing file or key reads as empty. An ID of "U" and hexadecimal digits becomes
  // that number in decimal, left-padded with "0" to 14 digits.
  void LeIni();

private:
  std::string fID;
  std::string fSENHA;
};

// The ID rule alone: "U" + hexadecimal -> decimal of at least 14 digits; anything else unchanged.
std::string TokenIDFromStored(const std::string &stored);

class THeader {
public:
  THeader() = delete;

  // Adds "Authorization: Basic base64(ID:SENHA)" to the request `Data` (see THTTPReqResp).
  static void OnBeforePost(THTTPReqResp *HTTPReqResp, void *Data);
};
