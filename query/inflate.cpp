// Inflating compressed replies.

#include "reply_text.h"

#include "Exception.h"

#include <zlib.h>

#include <climits>
#include <list>

namespace reply_text {
namespace {

// No reply larger than this can be loaded beside its document in a 32-bit process; a stream that
// inflates beyond it is refused before it exhausts memory.
constexpr size_t largest_reply = size_t{1} << 30;
constexpr size_t chunk_size = size_t{1} << 20;

struct Inflater {
  z_stream stream{};
  Inflater() {
    if (inflateInit(&stream) != Z_OK)
      throw Exception("Não foi possível descompactar a resposta");
  }
  ~Inflater() { inflateEnd(&stream); }
};

} // namespace

std::string inflate_zlib(std::string_view compressed) {
  Inflater z;
  z.stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.data()));
  // Chunks, joined once at the end, so that growing the output never holds two copies of it.
  std::list<std::string> chunks;
  size_t total = 0;
  size_t remaining_in = compressed.size();
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (total >= largest_reply)
      throw Exception("Resposta descompactada grande demais");
    std::string &chunk = chunks.emplace_back(chunk_size, '\0');
    z.stream.next_out = reinterpret_cast<Bytef *>(chunk.data());
    z.stream.avail_out = static_cast<uInt>(chunk.size());
    while (z.stream.avail_out > 0 && status != Z_STREAM_END) {
      if (z.stream.avail_in == 0) {
        if (remaining_in == 0)
          throw Exception("Resposta compactada incompleta");
        uInt step = remaining_in > UINT_MAX ? UINT_MAX : static_cast<uInt>(remaining_in);
        z.stream.avail_in = step;
        remaining_in -= step;
      }
      status = inflate(&z.stream, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END)
        throw Exception("Resposta compactada inválida");
    }
    chunk.resize(chunk.size() - z.stream.avail_out);
    total += chunk.size();
  }
  std::string reply;
  reply.reserve(total);
  while (!chunks.empty()) {
    reply += chunks.front();
    chunks.pop_front();
  }
  return reply;
}

} // namespace reply_text
