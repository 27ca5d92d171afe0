#pragma once

// Files and SQL texts as the installer's tests make and read them.

#include <filesystem>
#include <string>

// The whole file as bytes; empty when it cannot be read.
std::string contents(const std::filesystem::path &file);
// Writes the bytes, making the folders on the way.
void write_file(const std::filesystem::path &file, const std::string &bytes);
// `size` bytes that repeat nothing, the same for the same seed.
std::string random_bytes(size_t size, unsigned seed);
// The text as an SQL string literal.
std::string literal(const std::string &text);
