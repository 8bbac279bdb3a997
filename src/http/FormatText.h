// printf-style formatting into a byte string.
#pragma once

#include <string>

// Formats into a 16384-byte buffer; a longer result is cut at 16383 bytes.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
