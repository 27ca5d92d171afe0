// The table keeps its rows in a few large blocks: loading many rows costs a handful of allocations,
// not one per cell. This program counts every allocation, so it holds only this test.

#include "TClientDataSet.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

namespace {
std::atomic<long> allocations{0};
}

void *operator new(std::size_t size) {
  ++allocations;
  if (void *p = std::malloc(size ? size : 1))
    return p;
  throw std::bad_alloc();
}
void operator delete(void *p) noexcept {
  std::free(p);
}
void operator delete(void *p, std::size_t) noexcept {
  std::free(p);
}

namespace {

TEST(TClientDataSetStorage, NoAllocationPerCell) {
  TClientDataSet table;
  TFieldDefs &defs = table.FieldDefs();
  defs.Add("TEXTO", ftString).SetSize(40);
  defs.Add("INTEIRO", ftInteger);
  defs.Add("GRANDE", ftLargeint);
  defs.Add("VALOR", ftBCD);
  defs.Add("DIA", ftDate);
  defs.Add("MOMENTO", ftDateTime);
  defs.Add("HORA", ftTime);
  defs.Add("DADOS", ftBlob);
  table.CreateDataSet();
  table.LogChanges(false);

  constexpr int rows = 100000;
  const std::string text = "um texto longo demais para caber num buffer curto";
  TField *fields[8];
  for (size_t i = 0; i < 8; ++i)
    fields[i] = &table.Fields(i);
  long before = allocations;
  for (int r = 0; r < rows; ++r) {
    table.Append();
    fields[0]->AsVariant(std::string_view(text).substr(0, 20 + r % 20));
    fields[1]->AsVariant("123456");
    fields[2]->AsVariant("9876543210");
    fields[3]->AsVariant("1234,5678");
    fields[4]->AsVariant("2024-05-17");
    fields[5]->AsVariant("2024-05-17 10:11:12");
    fields[6]->AsVariant("10:11:12");
    fields[7]->AsVariant(text);
    table.Post();
  }
  long used = allocations - before;
  // Each of the 24 growing vectors and buffers doubles about 17 times for 100,000 rows.
  EXPECT_LT(used, 1000) << "allocations for " << rows * 8 << " cells";

  table.First();
  for (int r = 0; r < rows - 1; ++r)
    table.Next();
  EXPECT_EQ(table.FieldByName("TEXTO").AsString(), text.substr(0, 20 + (rows - 1) % 20));
  EXPECT_EQ(table.FieldByName("VALOR").AsString(), "1234,5678");
  EXPECT_EQ(table.FieldByName("DADOS").AsString(), text);
}

} // namespace
