#pragma once

#include "HttpClient.h"

#include <string>

// Downloads `url` into the file `target` (UTF-8 path). The body goes into a temporary file beside the
// target, which replaces the target in one step once the last byte has arrived: a failed download leaves
// an older file of that name as it was and never a partial file under its name. Throws Exception.
void download_file(HttpClient &client, const std::string &url, const std::string &target);
