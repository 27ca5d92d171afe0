#pragma once

#include <string>

// Makes every request of the process carry the Basic credentials of the TOKEN section of `path`
// instead of the product configuration file's.
void UseTokenFile(const std::string &path);
