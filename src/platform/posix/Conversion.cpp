// MultiByteToWideChar and WideCharToMultiByte on iconv. Code page 65001 is
// UTF-8; 0 (the ANSI code page) is CP932, Shift-JIS as Windows has it; any
// other number N is iconv's "CP<N>". UTF-16 is in the machine's byte order.
#include <errno.h>
#include <iconv.h>

#include <cstring>
#include <string>

#include "platform/Platform.h"

namespace {

constexpr std::uint32_t CodePageAnsi = 0;
constexpr std::uint32_t CodePageOem = 1;
constexpr std::uint32_t CodePageUtf8 = 65001;
constexpr std::uint32_t FlagErrorOnInvalid = 0x8;  // MB_ERR_INVALID_CHARS
constexpr char16_t Replacement = u'\xFFFD';

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr char Utf16[] = "UTF-16LE";
#else
constexpr char Utf16[] = "UTF-16BE";
#endif

std::string CharsetName(std::uint32_t codePage) {
    if (codePage == CodePageUtf8) return "UTF-8";
    if (codePage == CodePageAnsi || codePage == CodePageOem) return "CP932";
    return "CP" + std::to_string(codePage);
}

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of in into out. At input iconv cannot take (malformed, or
    // not representable in the target) it calls onBad(rest, restLength,
    // out), which appends a stand-in and returns how many bytes to skip, or
    // 0 to give up. False when the conversion gave up or failed.
    template <typename OnBad>
    bool Run(const char* in, std::size_t length, std::string& out, OnBad onBad) {
        char* inPtr = const_cast<char*>(in);
        std::size_t inLeft = length;
        char chunk[1024];
        for (;;) {
            char* outPtr = chunk;
            std::size_t outLeft = sizeof chunk;
            std::size_t result = inLeft > 0 ? iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft)
                                            : iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
            out.append(chunk, static_cast<std::size_t>(outPtr - chunk));
            if (result != static_cast<std::size_t>(-1)) {
                if (inLeft == 0) return true;
                continue;
            }
            if (errno == E2BIG) continue;
            if (errno != EILSEQ && errno != EINVAL) return false;
            std::size_t skip = onBad(inPtr, inLeft, out);
            if (skip == 0 || skip > inLeft) return false;
            inPtr += skip;
            inLeft -= skip;
        }
    }

private:
    iconv_t cd_;
};

void AppendUnit(std::string& bytes, char16_t unit) {
    bytes.append(reinterpret_cast<const char*>(&unit), sizeof unit);
}

// Windows' convention for the lengths: -1 runs to the NUL and counts it.
template <typename Unit>
std::size_t InputLength(const Unit* in, int inLength) {
    if (inLength >= 0) return static_cast<std::size_t>(inLength);
    std::size_t length = 0;
    while (in[length] != 0) ++length;
    return length + 1;
}

// Copies the result out, or tells its size when outLength is 0; 0 when the
// buffer is too small.
template <typename Unit>
int Deliver(const std::string& bytes, Unit* out, int outLength) {
    std::size_t units = bytes.size() / sizeof(Unit);
    if (units > static_cast<std::size_t>(INT32_MAX)) return 0;
    if (outLength == 0) return static_cast<int>(units);
    if (out == nullptr || units > static_cast<std::size_t>(outLength)) return 0;
    std::memcpy(out, bytes.data(), units * sizeof(Unit));
    return static_cast<int>(units);
}

bool IsHighSurrogate(const char* bytes) {
    char16_t unit;
    std::memcpy(&unit, bytes, sizeof unit);
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(const char* bytes) {
    char16_t unit;
    std::memcpy(&unit, bytes, sizeof unit);
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

namespace Platform {

// Malformed input becomes U+FFFD, one per byte iconv refuses, unless the
// caller asked for a failure instead.
int MultiByteToWideChar(std::uint32_t codePage, std::uint32_t flags, const char* in, int inLength,
                        char16_t* out, int outLength) {
    if (in == nullptr || inLength == 0 || inLength < -1 || outLength < 0) return 0;
    try {
        Converter converter(Utf16, CharsetName(codePage).c_str());
        if (!converter.ok()) return 0;
        std::string wide;
        bool strict = (flags & FlagErrorOnInvalid) != 0;
        bool done = converter.Run(in, InputLength(in, inLength), wide,
                                  [strict](const char*, std::size_t, std::string& sink) -> std::size_t {
                                      if (strict) return 0;
                                      AppendUnit(sink, Replacement);
                                      return 1;
                                  });
        return done ? Deliver(wide, out, outLength) : 0;
    } catch (...) {
        return 0;
    }
}

// A character the code page lacks (and an unpaired surrogate) becomes the
// default character, "?" when none is given, and sets *usedDefaultChar.
int WideCharToMultiByte(std::uint32_t codePage, std::uint32_t, const char16_t* in, int inLength,
                        char* out, int outLength, const char* defaultChar, int* usedDefaultChar) {
    if (usedDefaultChar != nullptr) *usedDefaultChar = 0;
    if (in == nullptr || inLength == 0 || inLength < -1 || outLength < 0) return 0;
    try {
        Converter converter(CharsetName(codePage).c_str(), Utf16);
        if (!converter.ok()) return 0;
        std::string standIn = codePage == CodePageUtf8 ? "\xEF\xBF\xBD"
                               : defaultChar != nullptr ? std::string(defaultChar)
                                                        : std::string("?");
        bool usedDefault = false;
        std::string narrow;
        bool done = converter.Run(
            reinterpret_cast<const char*>(in), InputLength(in, inLength) * sizeof(char16_t), narrow,
            [&](const char* rest, std::size_t restLength, std::string& sink) -> std::size_t {
                sink += standIn;
                usedDefault = true;
                if (restLength < 2) return restLength;
                bool pair = restLength >= 4 && IsHighSurrogate(rest) && IsLowSurrogate(rest + 2);
                return pair ? 4 : 2;
            });
        if (!done) return 0;
        if (usedDefaultChar != nullptr && usedDefault) *usedDefaultChar = 1;
        return Deliver(narrow, out, outLength);
    } catch (...) {
        return 0;
    }
}

}  // namespace Platform
