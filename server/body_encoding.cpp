#include "body_encoding.h"

#include "text.h"

#include <zlib.h>

#include <memory>

BodyDecoding decode_body(std::string_view encoding, std::string_view body, std::size_t limit,
                         std::string &out) {
  std::string name = text::lower_ascii(text::trim_controls(encoding));
  if (name.empty() || name == "identity") {
    if (body.size() > limit)
      return BodyDecoding::over_limit;
    out = body;
    return BodyDecoding::decoded;
  }
  if (name != "gzip" && name != "x-gzip" && name != "deflate")
    return BodyDecoding::unsupported;
  z_stream stream{};
  // 15 + 32: a zlib or a gzip stream, told apart by its header.
  if (inflateInit2(&stream, 15 + 32) != Z_OK)
    return BodyDecoding::damaged;
  std::unique_ptr<z_stream, decltype(&inflateEnd)> ending(&stream, inflateEnd);
  stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.data()));
  stream.avail_in = static_cast<uInt>(body.size());
  out.clear();
  char piece[65536];
  for (;;) {
    stream.next_out = reinterpret_cast<Bytef *>(piece);
    stream.avail_out = sizeof piece;
    int result = inflate(&stream, Z_NO_FLUSH);
    size_t made = sizeof piece - stream.avail_out;
    if (out.size() + made > limit)
      return BodyDecoding::over_limit;
    out.append(piece, made);
    if (result == Z_STREAM_END)
      return stream.avail_in == 0 ? BodyDecoding::decoded : BodyDecoding::damaged;
    if (result != Z_OK || (made == 0 && stream.avail_in == 0))
      return BodyDecoding::damaged;
  }
}
