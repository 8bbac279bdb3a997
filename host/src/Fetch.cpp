#include "Fetch.h"

#include <cstdio>

#include "StringObject.h"

namespace {

constexpr DWORD PollIntervalMs = 20;

void ShowProgress(std::uint32_t bytes) {
    std::fprintf(stderr, "received %u bytes\n", static_cast<unsigned>(bytes));
}

}  // namespace

FetchResult Fetch(const QuillbarrowExports& api, const FetchRequest& request, std::string& body) {
    // The library reads both texts before Get/Post returns; the objects
    // only have to live through the call.
    StringObject url(request.Url);
    bool started;
    if (request.PostData) {
        StringObject data(*request.PostData);
        started = api.Post(&url, &data);
    } else {
        started = api.Get(&url);
    }
    if (!started) return FetchResult::NotStarted;

    // IsRun never blocks, and GetReadSize shows how far the worker got.
    // Once IsRun answers false the transfer is finished, and an error the
    // worker met has been shown as a message box on this thread.
    std::uint32_t shown = 0;
    bool anyShown = false;
    while (api.IsRun()) {
        std::uint32_t size = api.GetReadSize();
        if (!request.Quiet && (!anyShown || size != shown)) ShowProgress(size);
        shown = size;
        anyShown = true;
        Sleep(PollIntervalMs);
    }
    if (!request.Quiet) ShowProgress(api.GetReadSize());

    StringObject target;
    bool read = request.Ansi ? api.ReadStringUTF8ToSJIS(&target) : api.ReadString(&target);
    if (!read) return FetchResult::NotRead;
    body = target.Text();
    return FetchResult::Delivered;
}
