#include "THTTPRIO.h"
#include "base64.h"
#include "profile_reader.h"
#include "uAutentica.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

void write_file(const std::string &path, const std::string &content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

TEST(TokenID, HexadecimalAfterCapitalUBecomesFourteenDecimalDigits) {
  struct Case {
    const char *stored;
    const char *id;
  } cases[] = {
      {"U5A1C0E97B4D", "06192284400461"},            // the installer's default token
      {"U1", "00000000000001"},                      // padded on the left
      {"Uff", "00000000000255"},                     // lower-case hexadecimal digits
      {"U5AF3107A4000", "100000000000000"},          // 15 decimal digits: no padding, nothing cut
      {"UFFFFFFFFFFFFFFFF", "18446744073709551615"}, // 16 digits, the whole 64 bits
      {"U0000000000000000001", "00000000000001"},    // leading zeros do not overflow
      {"U10000000000000000", "U10000000000000000"},  // 17 significant digits: kept as stored
      {"u5A1C0E97B4D", "u5A1C0E97B4D"},              // lower-case u does not count
      {"UXYZ", "UXYZ"},                              // not hexadecimal
      {"U12G4", "U12G4"},
      {"U", "U"},
      {"U-1", "U-1"},
      {"12345", "12345"},
      {"", ""},
  };
  for (const Case &c : cases)
    EXPECT_EQ(TokenIDFromStored(c.stored), c.id) << c.stored;
}

TEST(ProfileReader, FollowsTheWindowsProfileRules) {
  std::string path = ::testing::TempDir() + "profile_reader_test.ini";
  write_file(path, "\xEF\xBB\xBF[Outra]\r\nID=errado\r\n"
                   "  [ token ]  \r\n"
                   "; ID=comentario\r\n"
                   "  id  =  U1A  \r\n"
                   "Senha=\"com aspas\"\r\n"
                   "Aspas='simples'\r\n"
                   "Meia=\"sem fim\r\n"
                   "Vazio=\r\n"
                   "ID=segundo\r\n"
                   "[Outra2]\nSENHA=nao\n");
  ProfileReader profile(path);
  struct Case {
    const char *section, *key, *value;
  } cases[] = {
      {"TOKEN", "ID", "U1A"},         {"TOKEN", "SENHA", "com aspas"}, {"Token", "aspas", "simples"},
      {"TOKEN", "Meia", "\"sem fim"}, {"TOKEN", "Vazio", ""},          {"TOKEN", "Falta", ""},
      {"Outra", "ID", "errado"},      {"Ausente", "ID", ""},
  };
  for (const Case &c : cases)
    EXPECT_EQ(profile.value(c.section, c.key), c.value) << c.section << "/" << c.key;
  EXPECT_EQ(ProfileReader(path + ".missing").value("TOKEN", "ID"), "");
  std::remove(path.c_str());
}

// The hook's header for the token file as it is at the moment of each request.
std::string header_for(const std::string &ini) {
  write_file(TokenFile, ini);
  NativeRequest request;
  THeader::OnBeforePost(nullptr, &request);
  EXPECT_EQ(request.header_lines.size(), 1u);
  return request.header_lines.empty() ? "" : request.header_lines[0];
}

TEST(THeader, AddsBasicCredentialsReadAfreshForEveryRequest) {
  EXPECT_EQ(header_for("[TOKEN]\nID=U5A1C0E97B4D\nSENHA=1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A\n"),
            "Authorization: Basic " + base64::encode("06192284400461:1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A"));
  EXPECT_EQ(header_for("[TOKEN]\nID=loja7\nSENHA=outra\n"),
            "Authorization: Basic " + base64::encode("loja7:outra"));
  // Longer than 57 bytes: still one line, no line breaks inside the base64.
  std::string long_senha(120, 'S');
  std::string header = header_for("[TOKEN]\nID=x\nSENHA=" + long_senha + "\n");
  EXPECT_EQ(header, "Authorization: Basic " + base64::encode("x:" + long_senha));
  EXPECT_EQ(header.find_first_of("\r\n"), std::string::npos);

  std::remove(TokenFile.c_str());
  NativeRequest request;
  THeader::OnBeforePost(nullptr, &request);
  ASSERT_EQ(request.header_lines.size(), 1u);
  EXPECT_EQ(request.header_lines[0], "Authorization: Basic " + base64::encode(":"));
}

TEST(TLeitura, ReadsIdAndSenhaOfTheTokenFile) {
  write_file(TokenFile, "[token]\nid=Uff\nsenha=abc\n");
  TLeitura leitura;
  leitura.LeIni();
  EXPECT_EQ(leitura.ID(), "00000000000255");
  EXPECT_EQ(leitura.SENHA(), "abc");
  std::remove(TokenFile.c_str());
  TLeitura empty;
  empty.LeIni();
  EXPECT_EQ(empty.ID(), "");
  EXPECT_EQ(empty.SENHA(), "");
}

} // namespace
