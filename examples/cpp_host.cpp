// cpp_host.cpp - a C++ host linked with Quillbarrow's import library. It
// fetches one URL (a POST when data is given, else a GET), shows progress on
// stderr and writes the body, converted from UTF-8 to the ANSI code page, to
// stdout.
//
//   cpp_host URL [DATA]
//
// Exit status: 0 body written, 1 transfer not started or not read, 2 usage.
#define QUILLBARROW_USE_IMPORT_LIBRARY
#include "quillbarrow.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

namespace {

// The host's string object. Overriding the two functions of HostString
// gives them the library's calling convention (thiscall on 32-bit x86).
class TextObject final : public HostString {
public:
    explicit TextObject(std::string text = std::string()) : text_(std::move(text)) {}

    const char* GetText() override { return text_.c_str(); }

    // No exception may leave a HostString function into the library.
    void SetText(const char* text) override {
        try {
            text_ = text;
        } catch (...) {
            // out of memory: the old text stays
        }
    }

    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// Polls as a host's timer would: IsRun() never blocks while the worker
// runs, GetReadSize() tells how much of the body has arrived so far.
void WaitForTransfer(DWORD limitMs) {
    std::uint32_t shown = 0;
    for (DWORD waited = 0; IsRun(); waited += 50) {
        if (waited >= limitMs) {
            Stop();  // waits until the worker has ended
            return;
        }
        std::uint32_t size = GetReadSize();
        if (size != shown) {
            std::fprintf(stderr, "cpp_host: %lu bytes so far\n", static_cast<unsigned long>(size));
            shown = size;
        }
        Sleep(50);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: cpp_host URL [DATA]\n");
        return 2;
    }
    TextObject url(argv[1]);
    TextObject body;

    bool started = false;
    if (argc == 3) {
        TextObject data(argv[2]);
        started = Post(&url, &data);  // both texts are copied before Post returns
    } else {
        started = Get(&url);
    }
    if (!started) return 1;

    WaitForTransfer(120000);
    std::uint32_t size = GetReadSize();
    if (!ReadStringUTF8ToSJIS(&body)) return 1;

    std::fprintf(stderr, "cpp_host: %lu bytes received\n", static_cast<unsigned long>(size));
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(body.Text().data(), 1, body.Text().size(), stdout);
    return 0;
}
