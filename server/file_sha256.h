#pragma once

// The SHA-256 of a file's content, through OpenSSL, for the digests that the file list offers.

#include <filesystem>
#include <string>

// 64 lower-case hexadecimal digits. Throws std::runtime_error when the file cannot be read.
std::string file_sha256(const std::filesystem::path &file);
