#include "text.h"

#include <gtest/gtest.h>

using namespace text;

TEST(Text, Utf8AndUtf16RoundTrip) {
  const std::string samples[] = {"", "abc", "Estação", "Concluído", "€ and 𝄞", "Instalação"};
  for (const std::string &s : samples)
    EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(s)), s) << s;
  EXPECT_EQ(utf8_to_utf16("ç𝄞"), (std::u16string{u'ç', 0xD834, 0xDD1E}));
}

TEST(Text, MalformedInputBecomesReplacementCharacter) {
  struct Case {
    std::string in;
    std::u16string out;
  };
  const Case cases[] = {
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
      {"\xC3", u"\uFFFD"},                               // truncated sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                     // overlong slash
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},           // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
      {"\xFD\x8D\xBD", u"\uFFFD\uFFFD\uFFFD"},           // F5-FF never lead
  };
  for (const Case &c : cases)
    EXPECT_EQ(utf8_to_utf16(c.in), c.out);
  EXPECT_EQ(utf16_to_utf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
}

TEST(Text, ValidUtf8IsWhatTheRoundTripKeeps) {
  for (std::string s : {"", "ascii", "A\xC3\xA7\xE2\x82\xAC\xF0\x9D\x84\x9E", "\xEF\xBF\xBD", "a\xFF", "\xC3",
                        "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
    const bool kept = utf16_to_utf8(utf8_to_utf16(s)) == s;
    EXPECT_EQ(is_valid_utf8(s), kept) << s;
  }
  EXPECT_TRUE(is_valid_utf8("\xEF\xBF\xBD"));
  EXPECT_FALSE(is_valid_utf8("ok\xE2\x82"));
  // Long ASCII runs are read eight bytes at a time: a fault at every offset of such a run is found,
  // and so is a sequence that straddles two words.
  for (size_t at = 0; at < 24; ++at) {
    std::string s(24, 'a');
    s.insert(at, "\xC3");
    EXPECT_FALSE(is_valid_utf8(s)) << at;
    EXPECT_FALSE(is_ascii(s)) << at;
    s.insert(at + 1, "\xA7");
    EXPECT_TRUE(is_valid_utf8(s)) << at;
  }
  EXPECT_TRUE(is_ascii(std::string(17, '\x7F')));
  EXPECT_TRUE(is_ascii(""));
}

TEST(Text, Windows1252) {
  EXPECT_EQ(cp1252_to_utf8("Esta\xE7\xE3o \x80\x96"), "Estação €–");
  EXPECT_EQ(utf8_to_cp1252("Estação €–"), "Esta\xE7\xE3o \x80\x96");
  EXPECT_EQ(utf8_to_cp1252("日本"), "??");
  for (int b = 0; b < 256; ++b) {
    std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(utf8_to_cp1252(cp1252_to_utf8(byte)), byte) << b;
  }
}

TEST(Text, CodePage437) {
  EXPECT_EQ(cp437_to_utf8("\x80\x87\xA4\xE1"), "Ççñß");
}

TEST(Text, CaseAndTrim) {
  EXPECT_EQ(upper_ascii("check_id ação"), "CHECK_ID AçãO");
  EXPECT_EQ(lower_ascii("<CODIGO>Ação"), "<codigo>ação");
  EXPECT_EQ(trim_controls("\t\r\n  Velacorte \x01"), "Velacorte");
  EXPECT_EQ(trim_controls(" \x1F "), "");
}
