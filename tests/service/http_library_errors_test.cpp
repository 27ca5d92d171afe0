#include "http_library_errors.h"

#include <gtest/gtest.h>

#include <set>

// Every failure of the library reads in Portuguese, each differently, and never as the library's own
// name for it ("SSLConnection", "Read").
TEST(HttpLibraryErrors, EachFailureHasItsOwnPortugueseText) {
  std::set<std::string> texts;
  for (int e = static_cast<int>(httplib::Error::Success);
       e <= static_cast<int>(httplib::Error::ConnectionTimeout); ++e) {
    const auto error = static_cast<httplib::Error>(e);
    const std::string text = http_failure_text(error);
    SCOPED_TRACE(httplib::to_string(error));
    EXPECT_EQ(text.find(httplib::to_string(error)), std::string::npos) << text;
    EXPECT_TRUE(texts.insert(text).second) << text;
  }
  EXPECT_EQ(http_failure_text(httplib::Error::Read), "a conexão caiu antes do fim da resposta");
  // A failure that a later version of the library adds still names itself.
  EXPECT_EQ(http_failure_text(static_cast<httplib::Error>(99)), "falha 99 da biblioteca HTTP");
}
