// One transfer through the library, the way a host drives it: start,
// poll IsRun while showing GetReadSize, then read the body.
#pragma once

#include <optional>
#include <string>

#include "QuillbarrowApi.h"

struct FetchRequest {
    std::string Url;
    std::optional<std::string> PostData;
    bool Ansi = false;
    bool Quiet = false;
};

enum class FetchResult { Delivered, NotStarted, NotRead };

// On Delivered, body holds what ReadString (or ReadStringUTF8ToSJIS) gave.
FetchResult Fetch(const QuillbarrowExports& api, const FetchRequest& request, std::string& body);
