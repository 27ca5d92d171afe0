#include "SeparaTexto.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char *text;
  char32_t separator;
  bool keep_order;
  bool result;
  std::vector<std::string> pieces;
};

const Case cases[] = {
    {"a;b;c", ';', true, true, {"a", "b", "c"}},
    {";a;b", ';', true, true, {"a", "b"}},
    {";;a", ';', true, true, {"", "a"}},
    {"a;;b", ';', true, true, {"a", "", "b"}},
    {"a;b;", ';', true, true, {"a", "b"}},
    {";", ';', true, true, {}},
    {"", ';', true, false, {}},
    {"  \t ", ';', true, false, {}},
    {" a;b ", ';', true, true, {" a", "b "}},
    {"b;A;a;c", ';', false, true, {"A", "b", "c"}},
    {"C:\\Program Files\\Firebird\\bin\\fbserver.exe",
     '\\',
     true,
     true,
     {"C:", "Program Files", "Firebird", "bin", "fbserver.exe"}},
    {"\\\\servidor\\C\\x", '\\', true, true, {"", "servidor", "C", "x"}},
    {"ação§é§ç", U'§', true, true, {"ação", "é", "ç"}},
    {"Ção;ção;Ba", ';', false, true, {"Ba", "Ção"}},
};

TEST(SeparaTexto, Examples) {
  for (const Case &c : cases) {
    TextList list;
    EXPECT_EQ(SeparaTexto(c.text, c.separator, list, c.keep_order), c.result) << c.text;
    EXPECT_EQ(list.items(), c.pieces) << c.text;
    EXPECT_EQ(list.order(), c.keep_order ? TextList::Order::Insertion : TextList::Order::Sorted);
  }
}

TEST(SeparaTexto, AlwaysReplacesTheList) {
  TextList list;
  ASSERT_TRUE(SeparaTexto("x;y", ';', list, true));
  EXPECT_FALSE(SeparaTexto(" ", ';', list, false));
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.order(), TextList::Order::Sorted);
}

} // namespace
