#include "exports/Utf8ToAnsi.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/Platform.h"

namespace {
constexpr std::uint32_t CodePageUtf8 = 65001;
constexpr std::uint32_t CodePageAnsi = 0;
constexpr char DefaultChar[] = " ";
}  // namespace

std::string Utf8ToAnsi(const char* utf8) {
    int wideLength = Platform::MultiByteToWideChar(CodePageUtf8, 0, utf8, -1, nullptr, 0);
    if (wideLength <= 0) return std::string();
    std::unique_ptr<char16_t[]> wide(new char16_t[wideLength]);
    if (Platform::MultiByteToWideChar(CodePageUtf8, 0, utf8, -1, wide.get(), wideLength) < 1) {
        return std::string();
    }

    int ansiLength = Platform::WideCharToMultiByte(CodePageAnsi, 0, wide.get(), -1, nullptr, 0,
                                                   DefaultChar, nullptr);
    if (ansiLength == 0) return std::string();
    std::unique_ptr<char[]> ansi(new char[ansiLength]);
    if (Platform::WideCharToMultiByte(CodePageAnsi, 0, wide.get(), -1, ansi.get(), ansiLength,
                                      DefaultChar, nullptr) <= 0) {
        return std::string();
    }
    wide.reset();  // released before the result is copied out, to lower the peak
    return std::string(ansi.get(), strnlen(ansi.get(), static_cast<std::size_t>(ansiLength)));
}
