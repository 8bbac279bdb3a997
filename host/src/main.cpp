// quillbarrow-host: a console host that loads Quillbarrow.dll, fetches one
// URL through it and writes the body. Without a URL it runs a loopback
// demo server and fetches from that.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "DemoServer.h"
#include "Fetch.h"
#include "MessageDismisser.h"
#include "Options.h"
#include "QuillbarrowApi.h"

namespace {

enum ExitCode {
    Delivered = 0,
    TransferFailed = 1,  // not started, not read, or the library showed an error
    UsageError = 2,
    LibraryMissing = 3,  // Quillbarrow.dll or one of its exports
    LocalFailure = 4,    // the demo server or the output file
};

void Complain(const std::string& text) {
    std::fprintf(stderr, "quillbarrow-host: %s\n", text.c_str());
}

bool WriteBody(const std::string& body, const std::string& outFile) {
    if (outFile.empty()) {
        // Binary, so the body's bytes arrive unchanged ("\n" stays "\n").
        _setmode(_fileno(stdout), _O_BINARY);
        return std::fwrite(body.data(), 1, body.size(), stdout) == body.size() &&
               std::fflush(stdout) == 0;
    }
    std::ofstream out(outFile, std::ios::binary | std::ios::trunc);
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.close();
    return static_cast<bool>(out);
}

int Run(const Options& options) {
    // The hook comes first and goes last: the library may show a box while
    // it loads, and FreeLibrary shows an error still pending.
    std::optional<MessageDismisser> dismisser;
    if (options.DismissMessages) dismisser.emplace();

    std::optional<QuillbarrowLibrary> library;
    try {
        library.emplace(DllPathNextToProgram());
    } catch (const std::exception& error) {
        Complain(error.what());
        return LibraryMissing;
    }

    FetchRequest request{options.Url, options.PostData, options.Ansi, options.Quiet};
    std::optional<DemoServer> demo;
    if (request.Url.empty()) {
        try {
            demo.emplace(!options.Quiet);
        } catch (const std::exception& error) {
            Complain(error.what());
            return LocalFailure;
        }
        request.Url = demo->Url();
        if (!options.Quiet) std::fprintf(stderr, "[demo] serving %s\n", request.Url.c_str());
    }

    std::string body;
    FetchResult result = Fetch(library->Api(), request, body);
    demo.reset();  // it has answered by now, or gives up waiting
    if (result == FetchResult::NotStarted) {
        Complain("the library did not start the transfer");
        return TransferFailed;
    }
    if (result == FetchResult::NotRead) {
        Complain("the library did not hand over the body");
        return TransferFailed;
    }
    if (dismisser && dismisser->Dismissed() > 0) {
        Complain("the transfer failed: see the library's message above");
        return TransferFailed;
    }
    if (!WriteBody(body, options.OutFile)) {
        Complain("cannot write the body to " + (options.OutFile.empty() ? "stdout" : options.OutFile));
        return LocalFailure;
    }
    return Delivered;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& error) {
        Complain(error.what());
        std::fputs(UsageText, stderr);
        return UsageError;
    }
    if (options.Help) {
        std::fputs(UsageText, stdout);
        return Delivered;
    }
    try {
        return Run(options);
    } catch (const std::exception& error) {
        Complain(error.what());
        return LocalFailure;
    }
}
