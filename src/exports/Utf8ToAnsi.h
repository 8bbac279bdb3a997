// Conversion of a UTF-8 text to the system's ANSI code page.
#pragma once

#include <string>

// Converts up to the first NUL. Unrepresentable characters become one space;
// any failed step yields the empty string.
std::string Utf8ToAnsi(const char* utf8);
