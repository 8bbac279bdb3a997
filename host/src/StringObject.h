// The host's string object as the library sees it: the library calls
// GetText and SetText through the table of HostString, so they follow the
// platform's member-function ABI (thiscall on i686) just by overriding.
#pragma once

#include <string>
#include <utility>

#include "exports/HostString.h"

class StringObject final : public HostString {
public:
    StringObject() = default;
    explicit StringObject(std::string text) : text_(std::move(text)) {}

    // The pointer stays valid until the next SetText; the library copies it.
    const char* GetText() override { return text_.c_str(); }
    void SetText(const char* text) override { text_ = text != nullptr ? text : ""; }

    const std::string& Text() const { return text_; }

private:
    std::string text_;
};
