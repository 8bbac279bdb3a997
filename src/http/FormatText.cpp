#include "http/FormatText.h"

#include <cstdarg>
#include <cstdio>

std::string FormatText(const char* format, ...) {
    char buffer[16384];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) return std::string();
    if (static_cast<std::size_t>(length) >= sizeof buffer) length = sizeof buffer - 1;
    return std::string(buffer, static_cast<std::size_t>(length));
}
