// Loading and walking large replies with TDataXML, against pugixml's parse of the same reply measured
// in the same run. Prints times, ratios and the peak memory that the client held.

#include "uMySql.h"

#include "base64.h"
#include "uwsselectxml.h"

#include <pugixml.hpp>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <vector>

namespace {

// Live and peak bytes of every allocation of the program, pugixml's included.
size_t live_bytes = 0;
size_t peak_bytes = 0;

void *counted_alloc(size_t size) {
  auto *block = static_cast<size_t *>(std::malloc(size + 16));
  if (block == nullptr)
    return nullptr;
  *block = size;
  live_bytes += size;
  peak_bytes = std::max(peak_bytes, live_bytes);
  return reinterpret_cast<char *>(block) + 16;
}

void counted_free(void *p) {
  if (p == nullptr)
    return;
  char *block = static_cast<char *>(p) - 16;
  live_bytes -= *reinterpret_cast<size_t *>(block);
  std::free(block);
}

} // namespace

void *operator new(size_t size) {
  if (void *p = counted_alloc(size))
    return p;
  throw std::bad_alloc();
}
void *operator new[](size_t size) {
  return operator new(size);
}
void operator delete(void *p) noexcept {
  counted_free(p);
}
void operator delete[](void *p) noexcept {
  counted_free(p);
}
void operator delete(void *p, size_t) noexcept {
  counted_free(p);
}
void operator delete[](void *p, size_t) noexcept {
  counted_free(p);
}

namespace {

const char *const text_columns[] = {"ARQUIVO", "LOCAL", "CHECK_ID", "ATALHO", "NOME_ATALHO", "LINK"};

std::string make_reply(int rows) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<retorno><status><codigo>000</codigo>"
                    "<mensagem></mensagem></status><select rows=\"" +
                    std::to_string(rows) + "\">";
  for (int r = 0; r < rows; ++r) {
    const std::string n = std::to_string(r);
    const std::string values[] = {"Velacorte" + n + ".dll",
                                  "c:\\Velacorte\\modulos\\" + n,
                                  n,
                                  "c:\\Velacorte\\Velacorte" + n + ".exe",
                                  "\xEF\xBB\xBFM\xC3\xB3"
                                  "dulo " +
                                      n,
                                  "http://velacorte.com.br/site/arquivos/produto/" + n + ".zip"};
    xml += "<row>";
    for (int c = 0; c < 6; ++c)
      xml +=
          std::string("<") + text_columns[c] + ">" + base64::encode(values[c]) + "</" + text_columns[c] + ">";
    xml += "<ID>" + n + "</ID><TAMANHO>" + std::to_string(r * 37 % 100000) + "</TAMANHO></row>";
  }
  xml += "</select><fields>";
  for (const char *c : text_columns)
    xml += std::string("<") + c + " tipo=\"253\" tamanho=\"255\"/>";
  return xml + "<ID tipo=\"3\" tamanho=\"11\"/><TAMANHO tipo=\"8\" tamanho=\"20\"/></fields></retorno>";
}

std::string compress_reply(const std::string &reply) {
  uLongf size = compressBound(static_cast<uLong>(reply.size()));
  std::string z(size, '\0');
  compress2(reinterpret_cast<Bytef *>(z.data()), &size, reinterpret_cast<const Bytef *>(reply.data()),
            static_cast<uLong>(reply.size()), Z_DEFAULT_COMPRESSION);
  z.resize(size);
  return base64::encode(z);
}

double seconds(const std::function<void()> &work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Figures {
  double parse, execute, walk, execute_z, walk_z;
  double peak_ratio;
};

Figures measure(int rows) {
  const std::string reply = make_reply(rows);
  const std::string zipped = compress_reply(reply);
  const std::string *answer = &reply;
  SetSelectXmlTransport([&](const std::string &, const std::string &, const std::string &,
                            const std::string &) { return *answer; });
  size_t checksum = 0;
  auto walk = [&](TDataXML &q) {
    for (q.First(); !q.EOF(); q.Next()) {
      for (const char *c : text_columns)
        checksum += q.FieldByName(c).size();
      checksum += q.FieldByName("ID").size() + q.FieldByName("TAMANHO").size();
    }
  };

  // The peer and the client take turns, so that a change of load on the machine touches both alike.
  const double none = 1e300;
  Figures f{none, none, none, none, none, 0};
  const int repeats = rows >= 400000 ? 3 : 5;
  for (int i = 0; i < repeats; ++i) {
    f.parse = std::min(f.parse, seconds([&] {
                         pugi::xml_document doc;
                         if (!doc.load_buffer(reply.data(), reply.size()))
                           std::abort();
                       }));
    for (bool compressed : {false, true}) {
      answer = compressed ? &zipped : &reply;
      TDataXML q;
      q.SetSQL("select * from sistema.check_files");
      const size_t before = live_bytes;
      peak_bytes = live_bytes;
      double &load = compressed ? f.execute_z : f.execute;
      double &walking = compressed ? f.walk_z : f.walk;
      load = std::min(load, seconds([&] {
                        if (!(compressed ? q.ExecuteZ() : q.Execute()) || q.RecordCount() != rows)
                          std::abort();
                      }));
      walking = std::min(walking, seconds([&] { walk(q); }));
      // The transport's copy of the answer stands for what the network hands over.
      if (!compressed)
        f.peak_ratio = std::max(f.peak_ratio,
                                static_cast<double>(peak_bytes - before) / static_cast<double>(reply.size()));
    }
  }
  SetSelectXmlTransport(nullptr);
  std::printf(
      "%8d rows  %7.1f MB  parse %7.3f s  Execute %7.3f s  walk %7.3f s  ExecuteZ %7.3f s  walk %7.3f s"
      "  load+walk/parse %.2f  peak memory %.2f x reply%s\n",
      rows, static_cast<double>(reply.size()) / 1e6, f.parse, f.execute, f.walk, f.execute_z, f.walk_z,
      (f.execute + f.walk) / f.parse, f.peak_ratio, checksum == 0 ? " (empty walk)" : "");
  return f;
}

// A reply of very wide rows: `columns` integer columns, walked by name. Its peer is pugixml's parse of
// the same reply; field access by name must stay linear in the row's width.
struct WideFigures {
  double parse, load_walk;
  double ns_per_field;
};

WideFigures measure_wide(int columns, int rows) {
  std::vector<std::string> names;
  for (int c = 0; c < columns; ++c)
    names.push_back("C" + std::to_string(c));
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<retorno><status><codigo>000</codigo>"
                    "<mensagem></mensagem></status><select rows=\"" +
                    std::to_string(rows) + "\">";
  for (int r = 0; r < rows; ++r) {
    xml += "<row>";
    for (int c = 0; c < columns; ++c)
      xml += "<" + names[c] + ">" + std::to_string(r + c) + "</" + names[c] + ">";
    xml += "</row>";
  }
  xml += "</select><fields>";
  for (const std::string &name : names)
    xml += "<" + name + " tipo=\"3\" tamanho=\"11\"/>";
  xml += "</fields></retorno>";
  SetSelectXmlTransport([&](const std::string &, const std::string &, const std::string &,
                            const std::string &) { return xml; });
  WideFigures f{1e300, 1e300, 0};
  size_t checksum = 0;
  for (int i = 0; i < 3; ++i) {
    f.parse = std::min(f.parse, seconds([&] {
                         pugi::xml_document doc;
                         if (!doc.load_buffer(xml.data(), xml.size()))
                           std::abort();
                       }));
    f.load_walk = std::min(f.load_walk, seconds([&] {
                             TDataXML q;
                             if (!q.Execute() || q.RecordCount() != rows)
                               std::abort();
                             for (; !q.EOF(); q.Next())
                               for (const std::string &name : names)
                                 checksum += q.FieldByName(name).size();
                           }));
  }
  SetSelectXmlTransport(nullptr);
  f.ns_per_field = f.load_walk / (static_cast<double>(columns) * rows) * 1e9;
  std::printf("%8d columns x %d rows  %6.1f MB  parse %7.3f s  Execute + walk by name %7.3f s  = %.2f x parse"
              "  %.0f ns per FieldByName%s\n",
              columns, rows, static_cast<double>(xml.size()) / 1e6, f.parse, f.load_walk,
              f.load_walk / f.parse, f.ns_per_field, checksum == 0 ? " (empty walk)" : "");
  return f;
}

const char *verdict(double ratio, double target) {
  return ratio <= target ? "met" : "MISSED";
}

} // namespace

int main() {
  pugi::set_memory_management_functions(counted_alloc, counted_free);
  std::printf("TDataXML against pugixml's parse alone of the same reply (best of the runs)\n");
  measure(10000);
  Figures hundred = measure(100000);
  Figures four_hundred = measure(400000);
  const double load_walk_ratio = (hundred.execute + hundred.walk) / hundred.parse;
  const double linear = (four_hundred.execute + four_hundred.walk) / (hundred.execute + hundred.walk);
  const double linear_z =
      (four_hundred.execute_z + four_hundred.walk_z) / (hundred.execute_z + hundred.walk_z);
  std::printf("\n100,000 rows: Execute + walk = %.2f x pugixml parse (target <= 1.5: %s)\n", load_walk_ratio,
              verdict(load_walk_ratio, 1.5));
  std::printf(
      "400,000 / 100,000 rows: Execute + walk %.2f x (%s), ExecuteZ + walk %.2f x (%s) (target <= 4.4)\n",
      linear, verdict(linear, 4.4), linear_z, verdict(linear_z, 4.4));
  std::printf("peak memory of Execute + walk: %.2f x the reply at 400,000 rows (target <= 4.0: %s)\n",
              four_hundred.peak_ratio, verdict(four_hundred.peak_ratio, 4.0));
  const double fields = 100000.0 * (std::size(text_columns) + 2);
  std::printf("100,000 rows: walk = %.2f x pugixml parse, %.0f ns per FieldByName\n",
              hundred.walk / hundred.parse, hundred.walk / fields * 1e9);

  std::printf("\nWide rows, the same number of fields walked by name\n");
  WideFigures narrow = measure_wide(8, 25000);
  WideFigures hashed = measure_wide(4000, 50);
  WideFigures wide = measure_wide(40000, 5);
  std::printf("cost per field of 40,000 columns: %.2f x that of 4,000 (linear: about 1; quadratic: 10),"
              " %.2f x that of 8\n",
              wide.ns_per_field / hashed.ns_per_field, wide.ns_per_field / narrow.ns_per_field);
  return 0;
}
