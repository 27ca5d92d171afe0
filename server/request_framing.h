#pragma once

// Whether a request says unambiguously where its body ends: one Content-Length (repeated only with the
// same value), or chunked coding alone. A server and a proxy in front of it that read an ambiguous
// request differently would take part of one request for another.

#include <httplib.h>

// Why the request's framing is refused (a text for the 400 answer); nullptr when it is sound.
const char *framing_refusal(const httplib::Request &request);
