// Any byte string read back through the conversion: it never fails loudly,
// stops at the first zero byte and yields a NUL-free text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exports/Utf8ToAnsi.h"
#include "platform/fake/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    Fake::Reset();
    std::string ansi = Utf8ToAnsi(text.c_str());
    if (ansi.find('\0') != std::string::npos) std::abort();
    if (ansi.size() > std::strlen(text.c_str())) std::abort();
    if (text.c_str()[0] == '\0' && !ansi.empty()) std::abort();
    return 0;
}
