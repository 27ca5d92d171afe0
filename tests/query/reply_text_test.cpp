#include "reply_text.h"
#include "uMySql.h"

#include "Exception.h"
#include "base64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <zlib.h>

using namespace reply_text;
using namespace std::string_literals;

namespace {

std::string compress(std::string_view bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(bytes.data()),
            static_cast<uLong>(bytes.size()), 6);
  out.resize(size);
  return out;
}

} // namespace

TEST(DecodificaBase64, ChoosesTheEncodingByByteOrderMark) {
  struct Case {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"plain ascii", "plain ascii"},
      {"\xEF\xBB\xBF"
       "A\xC3\xA7\xC3\xA3o",
       "Ação"},                      // UTF-8 after its mark
      {"A\xE7\xE3o \x80", "Ação €"}, // Windows-1252 without a mark
      {"\xFF\xFE"
       "A\x00\xE7\x00\xAC\x20"s,
       "Aç€"}, // UTF-16 little-endian
      {"\xFE\xFF"
       "\x00"
       "A\x00\xE7\x20\xAC"s,
       "Aç€"}, // UTF-16 big-endian
      {"\xFF\xFE"
       "A\x00"
       "B"s,
       "A"}, // odd final byte dropped
      {"\xEF\xBB\xBF"
       "\xC3",
       ""}, // UTF-8 by its mark, and broken: cannot be decoded
      {"\xEF\xBB\xBF"
       "ok\xED\xA0\x80",
       ""}, // a UTF-16 surrogate written in UTF-8
      {"", ""},
  };
  for (const Case &c : cases)
    EXPECT_EQ(DecodificaBase64(base64::encode(c.bytes)), c.text) << base64::encode(c.bytes);
}

TEST(DecodificaBase64, SkipsCharactersOutsideTheAlphabet) {
  EXPECT_EQ(DecodificaBase64("dm\r\nVs YQ=="), "vela");
  EXPECT_EQ(DecodificaBase64("dmVsYQ"), "vela");
  EXPECT_EQ(DecodificaBase64("d"), "");
  EXPECT_EQ(DecodificaBase64("!!!"), "");
  // Breaks in the middle of groups, as in wrapped text, and whole groups around them.
  std::string text(300, 'x');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char>('0' + i % 70);
  std::string wrapped = base64::encode(text);
  for (size_t at = wrapped.size() - 7; at > 0; at -= std::min<size_t>(at, 13))
    wrapped.insert(at, "\r\n");
  EXPECT_EQ(DecodificaBase64(wrapped), text);
}

TEST(Base64, StrictDecodingRefusesWhatNoEncoderWrites) {
  struct Case {
    const char *text;
    bool valid;
    std::string bytes;
  } cases[] = {
      {"dmVsYQ==", true, "vela"},
      {"dmVsYQ", true, "vela"},          // without its padding
      {"dm\r\nVs YQ==\n", true, "vela"}, // wrapped
      {"", true, ""},
      {"dmVsYW5h", true, "velana"},
      {"dmVsYQ=", false, ""}, // half a padding
      {"dmVsYQ===", false, ""},
      {"dmVs=YQ==", false, ""}, // padding inside
      {"dmVsY", false, ""},     // a lone final character
      {"dmVs!YQ==", false, ""}, // outside the alphabet
      {"=", false, ""},
      {"dmVsYQ==dmVs", false, ""}, // text after the padding
      {"d\x80VsYQ==", false, ""},
  };
  for (const Case &c : cases) {
    std::string bytes = "left over";
    EXPECT_EQ(decode_base64_strict(c.text, bytes), c.valid) << c.text;
    EXPECT_EQ(bytes, c.bytes) << c.text;
  }
  std::string long_text(1000, '\xFE');
  std::string bytes;
  EXPECT_TRUE(decode_base64_strict(base64::encode(long_text), bytes));
  EXPECT_EQ(bytes, long_text);
}

TEST(Base64, DecodedTextFailsOnlyWhereItsMarkLies) {
  EXPECT_EQ(decoded_text("\xEF\xBB\xBF"
                         "A\xC3\xA7"),
            "Aç");
  EXPECT_EQ(decoded_text("\xEF\xBB\xBF"), "");
  EXPECT_EQ(decoded_text("A\xE7"), "Aç");
  EXPECT_EQ(decoded_text("\xEF\xBB\xBF"
                         "\xC3"),
            std::nullopt);
}

TEST(Base64, InPlaceDecodingMatchesTheCopyingOne) {
  for (std::string bytes :
       {std::string(""), std::string("a"), std::string("ab"), std::string(1000, '\xFE')}) {
    std::string encoded = base64::encode(bytes);
    EXPECT_EQ(decode_base64(encoded), bytes);
    decode_base64_in_place(encoded);
    EXPECT_EQ(encoded, bytes);
  }
}

TEST(Inflate, InflatesAStreamAndRefusesBrokenOnes) {
  std::string reply(3'000'000, 'x');
  for (size_t i = 0; i < reply.size(); i += 7)
    reply[i] = static_cast<char>('a' + i % 26);
  std::string z = compress(reply);
  EXPECT_EQ(inflate_zlib(z), reply);
  EXPECT_EQ(inflate_zlib(z + "trailing"), reply);

  std::string corrupt = z;
  corrupt[corrupt.size() / 2] ^= 0x55;
  std::string wrong_checksum = z;
  wrong_checksum.back() ^= 1;
  for (const std::string &bad : {z.substr(0, z.size() / 2), z.substr(0, z.size() - 1), corrupt,
                                 wrong_checksum, std::string(), std::string("not zlib at all")})
    EXPECT_THROW(inflate_zlib(bad), Exception) << bad.size();
}

TEST(DecimalText, ReadsOnlyDecimalNumbersInRange) {
  EXPECT_EQ(to_int32("0"), 0);
  EXPECT_EQ(to_int32("-12"), -12);
  EXPECT_EQ(to_int32("+7"), 7);
  EXPECT_EQ(to_int32("2147483647"), 2147483647);
  EXPECT_EQ(to_int32("-2147483648"), INT32_MIN);
  EXPECT_EQ(to_int64("09223372036854775807"), INT64_MAX);
  for (const char *bad : {"", "-", "2147483648", "-2147483649", "12a", " 1", "1 ", "0x10", "1.5"})
    EXPECT_THROW(to_int32(bad), Exception) << bad;
  for (const char *bad : {"9223372036854775808", "0-5", ""})
    EXPECT_THROW(to_int64(bad), Exception) << bad;
}

TEST(ReplyScan, StatusCode) {
  struct Case {
    const char *reply;
    const char *code;
  } cases[] = {
      {"<retorno><status><codigo>000</codigo></status></retorno>", "000"},
      {"<RETORNO><STATUS><CODIGO>003</CODIGO></STATUS></RETORNO>", "003"},
      {"<codigo>003</codigo><codigo>000</codigo>", "000"},
      {"<codigo>042</codigo><mensagem>x</mensagem>", "042"},
      {"<codigo>abc</codigo>", "abc"},
      {"<codigo>12", ""},
      {"</codigo>x<codigo>5", ""},
  };
  for (const Case &c : cases)
    EXPECT_EQ(status_code(c.reply), c.code) << c.reply;
  EXPECT_THROW(status_code("<retorno><status/></retorno>"), Exception);
  EXPECT_THROW(status_code("<codigo attr='1'>000</codigo>"), Exception);
}

TEST(ReplyScan, ElementText) {
  struct Case {
    const char *reply;
    const char *name;
    std::optional<std::string> text;
  } cases[] = {
      {"<mensagem>Tabela \"X\" não existe</mensagem>", "mensagem", "tabela x não existe"},
      {"<MENSAGEM a='1'>Erro</MENSAGEM>", "mensagem", "erro"},
      {"<last_id></last_id>", "last_id", ""},
      {"<last_id>12", "last_id", "12"},
      {"<codigoX>7</codigoX>", "codigo", "7"},
      {"<mensagem", "mensagem", std::nullopt},
  };
  for (const Case &c : cases)
    EXPECT_EQ(element_text(c.reply, c.name), c.text) << c.reply;
  EXPECT_THROW(element_text("<retorno/>", "last_id"), Exception);
}

TEST(ReplyScan, SelectRows) {
  EXPECT_EQ(select_rows("<SELECT ROWS=\"12\">"), "12");
  EXPECT_EQ(select_rows("<select rows=\"\"/>"), "");
  EXPECT_THROW(select_rows("<select rows='3'>"), Exception);
  EXPECT_THROW(select_rows("<select>"), Exception);
  EXPECT_THROW(select_rows("<select rows=\"3>"), Exception);
}

TEST(Parameters, SubstitutesPlaceholders) {
  struct Case {
    const char *sql;
    std::vector<std::string> entries;
    const char *expected;
  } cases[] = {
      {"where id = :id", {"id=7"}, "where id = '7'"},
      {":ID :Id :id", {"id=7"}, "'7' '7' '7'"},
      {"where a = :a", {"a= "}, "where a = ''"},
      {"where n = :n", {"n=d'Ávila"}, "where n = 'd''Ávila'"},
      {"where n = :n", {"n=  x  "}, "where n = 'x'"},
      // A placeholder is replaced only where its name ends.
      {"id = :id and idade = :idade", {"id=1", "idade=30"}, "id = '1' and idade = '30'"},
      {":id_2 :id2 :idé :id,:id)", {"id=1"}, ":id_2 :id2 :idé '1','1')"},
      // List order: an earlier value is open to the later entries.
      {":a", {"a=:b", "b=2"}, "''2''"},
      {"no placeholders", {"x=1"}, "no placeholders"},
      {"time 10:30", {"=1"}, "time 10:30"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(substitute_parameters(c.sql, c.entries), c.expected) << c.sql;
}

TEST(DailyPassword, IsTheDateAsHexadecimal) {
  struct Case {
    int day, month, year;
    const char *senha;
  } cases[] = {
      {5, 3, 2024, "4CC858"},    // 5032024
      {31, 12, 2025, "1DAE269"}, // 31122025
      {1, 1, 2000, "F7120"},     // 1012000
      {0, 0, 10, "0A"},          // at least two digits
  };
  for (const Case &c : cases)
    EXPECT_EQ(daily_password(c.day, c.month, c.year), c.senha);
}

namespace {

// Sets the process's time zone for its lifetime, as the TZ variable gives it.
class TimeZone {
public:
  explicit TimeZone(const char *zone) {
    if (const char *old = std::getenv("TZ"))
      saved_ = old;
    set(zone);
  }
  ~TimeZone() { set(saved_ ? saved_->c_str() : nullptr); }

private:
  static void set(const char *zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone ? zone : "");
    _tzset();
#else
    if (zone)
      setenv("TZ", zone, 1);
    else
      unsetenv("TZ");
    tzset();
#endif
  }
  std::optional<std::string> saved_;
};

} // namespace

TEST(DailyPassword, FollowsTheLocalDateAcrossMidnight) {
  struct Case {
    const char *zone;
    std::time_t when;
    int day, month; // of 2026, local; the UTC date is another day in every row but the last
  } cases[] = {
      {"BRT3", 1772328600, 28, 2},  // 2026-03-01 01:30:00 UTC, 22:30 local
      {"BRT3", 1772333999, 28, 2},  // 02:59:59 UTC, the last second of the local day
      {"BRT3", 1772334000, 1, 3},   // 03:00:00 UTC, local midnight
      {"JST-9", 1772308800, 1, 3},  // 2026-02-28 20:00 UTC, 05:00 of the next local day
      {"JST-9", 1772290799, 28, 2}, // 14:59:59 UTC, 23:59:59 local: the same day
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.when));
    TimeZone zone(c.zone);
    EXPECT_EQ(password_at(c.when), daily_password(c.day, c.month, 2026));
  }
  EXPECT_NE(daily_password(28, 2, 2026), daily_password(1, 3, 2026));
}

TEST(DateTime, EncodesTheRuntimeValue) {
  EXPECT_DOUBLE_EQ(encode_date_time(1899, 12, 30, 0, 0, 0), 0.0);
  EXPECT_DOUBLE_EQ(encode_date_time(1900, 1, 1, 12, 0, 0), 2.5);
  EXPECT_DOUBLE_EQ(encode_date_time(2024, 2, 29, 6, 0, 0), 45351.25);
  EXPECT_THROW(encode_date_time(2023, 2, 29, 0, 0, 0), Exception);
  EXPECT_THROW(encode_date_time(2024, 13, 1, 0, 0, 0), Exception);
  EXPECT_THROW(encode_date_time(2024, 1, 1, 24, 0, 0), Exception);
}
