#pragma once

// How a selectxml request is read: strictly, as the maker's service takes it (its SOAPAction, a
// text/xml body, the SOAP 1.1 envelope, the operation in its namespace with the parameters senha,
// sql and options, and an options string of known items), or leniently, taking what can be used.

#include <stdexcept>
#include <string>
#include <string_view>

struct SelectxmlCall {
  std::string senha;
  std::string sql;
  std::string options;
};

// What the HTTP layer gives of one request.
struct SelectxmlRequest {
  const std::string *soap_action = nullptr; // nullptr: no SOAPAction header
  std::string content_type;
  std::string_view body;
};

// A request refused; what() names the cause, for the Fault's text.
class RequestRefused : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The call that the request makes; throws RequestRefused (or the envelope reader's failure).
SelectxmlCall read_selectxml_call(const SelectxmlRequest &request, bool strict);

// Why the service does not take `options` ("" when it does): the empty text of the clock query, or
// "1:1" followed by known items, each at most once.
std::string options_refusal(const std::string &options);
