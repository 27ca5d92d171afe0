// Inflating compressed replies.

#include "reply_text.h"

#include "Exception.h"
#include "uwsselectxml.h"

#include <zlib.h>

#include <climits>
#include <list>
#include <memory>

namespace reply_text {
namespace {

// No reply larger than LargestReply can be loaded beside its document in a 32-bit process; a stream
// that inflates beyond it is refused before it exhausts memory.
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
  struct Chunk {
    std::unique_ptr<char[]> bytes;
    size_t size;
  };
  std::list<Chunk> chunks;
  size_t total = 0;
  size_t remaining_in = compressed.size();
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (total >= LargestReply)
      throw Exception("Resposta descompactada grande demais");
    Chunk &chunk = chunks.emplace_back(Chunk{std::unique_ptr<char[]>(new char[chunk_size]), 0});
    z.stream.next_out = reinterpret_cast<Bytef *>(chunk.bytes.get());
    z.stream.avail_out = static_cast<uInt>(chunk_size);
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
    chunk.size = chunk_size - z.stream.avail_out;
    total += chunk.size;
  }
  // Appended into reserved room rather than over a cleared copy: each page is written once.
  std::string reply;
  reply.reserve(total);
  for (; !chunks.empty(); chunks.pop_front())
    reply.append(chunks.front().bytes.get(), chunks.front().size);
  return reply;
}

} // namespace reply_text
