// The checks of what the download host sends: an archive against the digest of its list row, and the
// Authenticode signature of a program against its content, on files that openssl, osslsigncode, Info-ZIP
// and sha256sum made (standins/sign_standins.sh).
#include "archive_checksum.h"
#include "setup_signature.h"
#include "test_files.h"
#include "text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

const std::wstring kSeed = SEED_FOLDER;

std::string upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

TEST(ExpectedDigest, SixtyFourHexadecimalDigitsOfAnyCaseOrNothing) {
  const std::string digest = "3e307b15712b934d3e47870f7f77be3afa29301f583f8b48562bf7875d6fb043";
  struct Case {
    std::string value;
    ExpectedDigest::Kind kind;
  } cases[] = {
      {"", ExpectedDigest::None},
      {digest, ExpectedDigest::Sha256},
      {upper(digest), ExpectedDigest::Sha256},
      {upper(digest.substr(0, 32)) + digest.substr(32), ExpectedDigest::Sha256},
      {digest.substr(1), ExpectedDigest::Invalid},
      {digest + "0", ExpectedDigest::Invalid},
      {"g" + digest.substr(1), ExpectedDigest::Invalid},
      {" " + digest.substr(1), ExpectedDigest::Invalid},
      {digest.substr(0, 63) + '\0', ExpectedDigest::Invalid},
      {"sha256:" + digest.substr(7), ExpectedDigest::Invalid},
      {" ", ExpectedDigest::Invalid},
      {"não", ExpectedDigest::Invalid},
  };
  for (const Case &c : cases) {
    ExpectedDigest read = read_expected_digest(c.value);
    EXPECT_EQ(read.kind, c.kind) << c.value;
    EXPECT_EQ(read.sha256, c.kind == ExpectedDigest::Sha256 ? digest : "") << c.value;
  }
}

TEST(ArchiveDigest, MatchesWhatSha256sumComputedAndNamesBothOtherwise) {
  std::string archive = text::narrow(kSeed + L"\\sha256\\caso.zip");
  std::string sha256sum = contents(kSeed + L"\\sha256\\caso.zip.sha256").substr(0, 64);
  ASSERT_EQ(sha256sum.size(), 64u);
  EXPECT_EQ(digest_mismatch(archive, sha256sum), std::nullopt);

  std::string other = std::string(63, '0') + "1";
  std::optional<std::string> mismatch = digest_mismatch(archive, other);
  ASSERT_TRUE(mismatch);
  EXPECT_EQ(*mismatch, "sha256 " + archive + ": esperado " + other + ", obtido " + sha256sum);

  std::optional<std::string> missing = digest_mismatch(archive + ".nada", sha256sum);
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->rfind("sha256 " + archive + ".nada: ", 0), 0u) << *missing;
}

TEST(Signature, UnsignedSignedAndAlteredProgramsAreToldApart) {
  const std::wstring text_file = kSeed + L"\\sha256\\caso.zip.sha256";
  struct Case {
    std::wstring file;
    SignatureCheck::Verdict verdict;
  } cases[] = {
      {STANDIN_EXE, SignatureCheck::Unsigned},
      {text_file, SignatureCheck::Unsigned},
      {kSeed + L"\\assinatura\\altered.exe", SignatureCheck::Altered},
  };
  for (const Case &c : cases) {
    SignatureCheck check = check_signature(c.file);
    EXPECT_EQ(check.verdict, c.verdict) << text::narrow(c.file) << ": " << signature_text(check);
  }
  EXPECT_EQ(signature_text(check_signature(kSeed + L"\\assinatura\\altered.exe")),
            "conteúdo alterado após a assinatura (0x80096010)");
  EXPECT_EQ(signature_text(check_signature(STANDIN_EXE)), "sem assinatura");

  // Signed with a certificate that no store trusts: Windows reports the untrusted root, which does not
  // stop the program; Wine accepts it. Either way it is not taken for altered or unsigned.
  SignatureCheck signed_check = check_signature(kSeed + L"\\assinatura\\signed.exe");
  EXPECT_TRUE(signed_check.verdict == SignatureCheck::Valid ||
              signed_check.verdict == SignatureCheck::Doubtful)
      << signature_text(signed_check);
  std::cout << "signed with an untrusted certificate: " << signature_text(signed_check) << "\n";
}

} // namespace
