#pragma once

#include "HttpClient.h"

#include <string>

// Downloads `url` into the file `target` (UTF-8 path). The body goes into target + ".parcial" beside
// it, which replaces the target in one step once the last byte has arrived: a failed download leaves an
// older file of that name as it was and never a partial file under its name. What a failed download
// received stays there, with what its reply said of the whole in target + ".parcial.info", and the next
// download of the same URL into the same target asks only for the rest. Throws Exception.
void download_file(HttpClient &client, const std::string &url, const std::string &target);
