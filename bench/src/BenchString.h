// The bench host's string object. SetText runs an optional hook first, with
// the library's text, before the host copies it: the memory bench reads the
// process's private bytes there, at the moment the library hands over.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "exports/HostString.h"

class BenchString final : public HostString {
public:
    BenchString() = default;
    explicit BenchString(std::string text) : text_(std::move(text)) {}

    const char* GetText() override { return text_.c_str(); }
    void SetText(const char* text) override {
        if (text == nullptr) text = "";
        if (beforeCopy) beforeCopy(text);
        text_ = text;
        ++sets;
    }

    const std::string& text() const { return text_; }
    void Release() { std::string().swap(text_); }

    std::function<void(const char*)> beforeCopy;
    int sets = 0;

private:
    std::string text_;
};
